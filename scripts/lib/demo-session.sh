# SPDX-License-Identifier: MIT
# Shared by the screenshot scripts (source it; set $name first): a virtual X display, the
# simulator with stations 0 to 3 on COM1 and DemoCorvexLink in a folder of its own, plus
# the small xdotool helpers that drive it. Needs Xvfb, xdotool and ImageMagick's import
# (Debian: xvfb xdotool imagemagick).
#   CORVEXLINK_BUILD_DIR=build/x scripts/<script>.sh   use another build folder

build="${CORVEXLINK_BUILD_DIR:-build/default}"
root=$(pwd)

for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "$name: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
for program in "$build/demo/DemoCorvexLink" "$build/sim/kx4417-sim"; do
  [ -x "$program" ] || { echo "$name: $program is not built" >&2; exit 1; }
done

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

# Clicks window $1 at x $2, y $3 (pixels from its top left corner; no window manager runs,
# so window and client coordinates are the same).
click_at() {
  xdotool mousemove --window "$1" "$2" "$3"
  sleep 0.3
  xdotool click 1
  sleep 0.3
}

# Starts the display, the simulator and the program; sets $main to the main window.
start_demo() {
  local display=99
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 "${SCREEN_SIZE:-1024x800}x24" -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=":$display"
  for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

  # With SIM_CONTROL=1 the simulator takes its --control commands from sim_control.
  if [ "${SIM_CONTROL:-0}" = 1 ]; then
    mkfifo "$tmp/control"
    "$build/sim/kx4417-sim" --stations 0-3 --control ${SIM_TRANSCRIPT:+--transcript} --link "$tmp/com1" \
      <"$tmp/control" >"$tmp/sim.log" 2>&1 &
    pids+=($!)
    exec {control_fd}>"$tmp/control"
  else
    "$build/sim/kx4417-sim" --stations 0-3 ${SIM_TRANSCRIPT:+--transcript} --link "$tmp/com1" >"$tmp/sim.log" 2>&1 &
    pids+=($!)
  fi
  for _ in $(seq 50); do [ -e "$tmp/com1" ] && break; sleep 0.1; done

  # The program's cache (the profile editor's grid picture) and its settings stay in the
  # session's folder: every session starts from the default settings.
  (cd "$tmp" && XDG_CACHE_HOME="$tmp/cache" XDG_CONFIG_HOME="$tmp/config" CORVEXLINK_COM1="$tmp/com1" \
    exec "$root/$build/demo/DemoCorvexLink" >"$tmp/demo.log" 2>&1) &
  pids+=($!)
  main=$(wait_window "CorvexLink  SERIES") || fail "the main window did not show"
}

# Serial Communication > Open Serial Port, then "&Open Port" in the library's dialog, and
# the scan that follows (twelve silent addresses cost 200 ms each). Keys go to the focused
# window.
open_port() {
  local dialog
  xdotool windowfocus --sync "$main"
  xdotool key alt+s
  sleep 0.5
  xdotool key o
  dialog=$(wait_window "Serial Port Configuration") || fail "the port dialog did not show"
  xdotool windowfocus --sync "$dialog"
  xdotool key Return 2>/dev/null || true  # the dialog goes before the key is released
  wait_gone "Serial Port Configuration"
  sleep 4
}

# Opens the window of motor $1 with its main-window button ("Motor &1"); sets $motor.
open_motor_window() {
  xdotool windowfocus --sync "$main"
  xdotool key --window "$main" "alt+$1"
  motor=$(wait_window "\"$1\"  Desktop Motor Controller") || fail "the motor window did not show"
  xdotool windowfocus --sync "$motor"
  sleep 0.5
}

# Sends one --control command to the simulator (SIM_CONTROL=1), such as "limit 0 1 0".
sim_control() {
  echo "$1" >&"$control_fd"
  sleep 0.2
}
