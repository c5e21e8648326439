#!/usr/bin/env bash
# Takes the README's picture of a motor window at work: starts a virtual X display, the
# simulator with stations 0 to 3 and DemoCorvexLink, opens the port, opens the window of
# motor 1, switches on the shaft-encoder polling, starts a clockwise move and, while the
# motor turns, writes the window to docs/images/motor-window.png.
# Needs Xvfb, xdotool and ImageMagick's import (Debian: xvfb xdotool imagemagick).
#   CORVEXLINK_BUILD_DIR=build/x scripts/screenshot-motor.sh   use another build folder
set -euo pipefail
cd "$(dirname "$0")/.."
build="${CORVEXLINK_BUILD_DIR:-build/default}"
out="${1:-docs/images/motor-window.png}"

for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshot-motor.sh: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
for program in "$build/demo/DemoCorvexLink" "$build/sim/kx4417-sim"; do
  [ -x "$program" ] || { echo "screenshot-motor.sh: $program is not built" >&2; exit 1; }
done

tmp=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; wait "${pids[i]}" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
  echo "screenshot-motor.sh: $1" >&2
  cat "$tmp/demo.log" >&2 2>/dev/null || true
  exit 1
}

# Waits until a visible window whose name contains $1 exists and prints its id.
wait_window() {
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Clicks window $1 at x $2, y $3 (pixels from its top left corner).
click_at() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 0.3
}

# Where the two controls lie in the fixed-size motor window (measured on this layout).
encoder_box="${ENCODER_BOX:-30 515}"  # "Enable Shaft Encoder Movements,   Enc. Position :"
cw_button="${CW_BUTTON:-630 27}"      # "&CW"

display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

"$build/sim/kx4417-sim" --stations 0-3 --link "$tmp/com1" >"$tmp/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "$tmp/com1" ] && break; sleep 0.1; done

# The program runs in a folder of its own, so nothing it writes lands in the checkout.
demo="$(cd "$build/demo" && pwd)/DemoCorvexLink"
(cd "$tmp" && exec env CORVEXLINK_COM1="$tmp/com1" "$demo") >"$tmp/demo.log" 2>&1 &
pids+=($!)
main=$(wait_window "CorvexLink  SERIES") || fail "the main window did not show"

# Serial Communication > Open Serial Port, then "&Open Port" in the library's dialog.
xdotool windowfocus --sync "$main"
xdotool key --window "$main" alt+s
sleep 0.5
xdotool key o
dialog=$(wait_window "Serial Port Configuration") || fail "the port dialog did not show"
xdotool windowfocus --sync "$dialog"
xdotool key --window "$dialog" Return 2>/dev/null || true  # the dialog goes before the key is released
for _ in $(seq 100); do
  xdotool search --onlyvisible --name "Serial Port Configuration" >/dev/null 2>&1 || break
  sleep 0.1
done
sleep 4  # the scan: twelve silent addresses cost 200 ms each

# "Motor &1".
xdotool windowfocus --sync "$main"
xdotool key --window "$main" alt+1
motor=$(wait_window "Desktop Motor Controller") || fail "the motor window did not show"
xdotool windowfocus --sync "$motor"
sleep 0.5

if [ "${MOTOR_NO_CLICKS:-0}" != 1 ]; then
  # shellcheck disable=SC2086
  click_at "$motor" $encoder_box  # polling of position and encoder on
  # shellcheck disable=SC2086
  click_at "$motor" $cw_button    # 15000 steps at up to 2000 steps/s
  sleep 2.6                       # a few polling ticks into the move
fi

mkdir -p "$(dirname "$out")"
import -window "$motor" "$out"
echo "Wrote $out"
