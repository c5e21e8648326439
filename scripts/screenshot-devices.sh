#!/usr/bin/env bash
# Takes the README's pictures of the profile editor and the status window: starts a virtual
# X display, the simulator with stations 0 to 3 and DemoCorvexLink, opens the port, then
#  - opens the window of motor 1 and its profile editor, draws a profile of five segments
#    with the mouse, lists it with Calc. Profile and writes docs/images/profile-editor.png;
#  - returns to the main window, starts all motors clockwise, opens the status window,
#    reads the status registers while the motors run and writes docs/images/status-window.png.
# Needs Xvfb, xdotool and ImageMagick's import (Debian: xvfb xdotool imagemagick).
#   CORVEXLINK_BUILD_DIR=build/x scripts/screenshot-devices.sh   use another build folder
set -euo pipefail
cd "$(dirname "$0")/.."
build="${CORVEXLINK_BUILD_DIR:-build/default}"
profile_out="${1:-docs/images/profile-editor.png}"
status_out="${2:-docs/images/status-window.png}"
name=screenshot-devices.sh

for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "$name: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
for program in "$build/demo/DemoCorvexLink" "$build/sim/kx4417-sim"; do
  [ -x "$program" ] || { echo "$name: $program is not built" >&2; exit 1; }
done
root=$(pwd)

tmp=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; wait "${pids[i]}" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
  echo "$name: $1" >&2
  [ -n "${SCREENSHOT_DEBUG:-}" ] && import -window root "$SCREENSHOT_DEBUG" 2>/dev/null
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

# Waits until no visible window whose name contains $1 is left.
wait_gone() {
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
}

# Clicks window $1 at x $2, y $3 (pixels from its top left corner).
click_at() {
  xdotool mousemove --window "$1" "$2" "$3"
  sleep 0.3
  xdotool click 1
  sleep 0.3
}

# Drags in window $1 from ($2, $3) to ($4, $5) with the left button held.
drag() {
  xdotool mousemove --window "$1" "$2" "$3" mousedown 1
  sleep 0.15
  xdotool mousemove --window "$1" "$4" "$5"
  sleep 0.15
  xdotool mouseup 1
  sleep 0.2
}

# Where controls lie in the fixed-size windows (measured on this layout; no window manager
# runs, so window and client coordinates are the same).
cw_all="${CW_ALL:-243 535}"             # main window, "C&W  -ALL-"
status_button="${STATUS_REG:-543 501}"  # main window, "View &Status Registers"
area_left=84                            # profile editor, the drawing area's top left corner
area_top=34

display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x800x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

"$build/sim/kx4417-sim" --stations 0-3 --link "$tmp/com1" >"$tmp/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "$tmp/com1" ] && break; sleep 0.1; done

# The program runs in a fresh folder, where the profile editor writes its grid picture.
(cd "$tmp" && CORVEXLINK_COM1="$tmp/com1" exec "$root/$build/demo/DemoCorvexLink" >"$tmp/demo.log" 2>&1) &
pids+=($!)
main=$(wait_window "CorvexLink  SERIES") || fail "the main window did not show"

# Serial Communication > Open Serial Port, then "&Open Port" in the library's dialog.
xdotool windowfocus --sync "$main"
xdotool key --window "$main" alt+s
sleep 0.5
xdotool key o
dialog=$(wait_window "Serial Port Configuration") || fail "the port dialog did not show"
xdotool windowfocus --sync "$dialog"
xdotool key --window "$dialog" Return 2>/dev/null || true
wait_gone "Serial Port Configuration"
sleep 4  # the scan: twelve silent addresses cost 200 ms each

# "Motor &1", then its "&Open Profile Window".
xdotool windowfocus --sync "$main"
xdotool key --window "$main" alt+1
motor=$(wait_window "Desktop Motor Controller") || fail "the motor window did not show"
xdotool windowfocus --sync "$motor"
sleep 0.3
xdotool key --window "$motor" alt+o
editor=$(wait_window " Motor Profile") || fail "the profile editor did not show"
xdotool windowfocus --sync "$editor"
sleep 0.5

# A profile: up from a slow start, a cruise, up again, a cruise, down to a stop. Each press
# lies where the line before ended (at the height of its final speed).
segments=("12 250 100 130" "100 136 240 136" "240 136 320 70" "320 84 420 84" "420 84 492 262")
for segment in "${segments[@]}"; do
  read -r x1 y1 x2 y2 <<<"$segment"
  drag "$editor" $((area_left + x1)) $((area_top + y1)) $((area_left + x2)) $((area_top + y2))
done
xdotool key --window "$editor" alt+a  # "C&alc. Profile"
sleep 0.3
# The pointer passes over the area (its step and speed stay in the status bar) and rests
# beside it, where no hint covers the picture.
xdotool mousemove --window "$editor" $((area_left + 300)) $((area_top + 100))
sleep 0.2
xdotool mousemove --window "$editor" 20 "$((area_top + 300))"
sleep 0.5
mkdir -p "$(dirname "$profile_out")" "$(dirname "$status_out")"
import -window "$editor" "$profile_out"
echo "Wrote $profile_out"

# Back with "&Return", close the motor window, then all motors clockwise and the status
# window while they run.
xdotool key --window "$editor" alt+r 2>/dev/null || true
wait_gone " Motor Profile"
xdotool windowfocus --sync "$motor"
xdotool key Escape
wait_gone "Desktop Motor Controller"
sleep 0.3
xdotool windowfocus --sync "$main"
# shellcheck disable=SC2086
click_at "$main" $cw_all
sleep 0.5  # the start of four moves
# shellcheck disable=SC2086
click_at "$main" $status_button
status=$(wait_window " MOTOR FLAGS STATUS") || fail "the status window did not show"
xdotool windowfocus --sync "$status"
xdotool key --window "$status" alt+g  # "&Get Status Register"
sleep 0.8
import -window "$status" "$status_out"
echo "Wrote $status_out"
