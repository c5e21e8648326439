#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the README's pictures of the profile editor and the status window: starts a virtual
# X display, the simulator with stations 0 to 3 and DemoCorvexLink, opens the port, then
#  - opens the window of motor 1 and its profile editor, draws a profile of five segments
#    with the mouse, lists it with Calc. Profile and writes docs/images/profile-editor.png;
#  - returns to the main window, starts all motors clockwise, switches motor 4's CW limit
#    switch on (which stops it), opens the status window, reads the status registers while
#    the other motors run and writes docs/images/status-window.png.
set -euo pipefail
cd "$(dirname "$0")/.."
name=screenshot-devices.sh
profile_out="${1:-docs/images/profile-editor.png}"
status_out="${2:-docs/images/status-window.png}"
SIM_CONTROL=1
# shellcheck source=lib/demo-session.sh
source scripts/lib/demo-session.sh

# Drags in window $1 from ($2, $3) to ($4, $5) with the left button held.
drag() {
  xdotool mousemove --window "$1" "$2" "$3" mousedown 1
  sleep 0.15
  xdotool mousemove --window "$1" "$4" "$5"
  sleep 0.15
  xdotool mouseup 1
  sleep 0.2
}

# Where controls lie in the fixed-size windows (measured on this layout).
cw_all="${CW_ALL:-243 535}"             # main window, "C&W  -ALL-"
status_button="${STATUS_REG:-543 501}"  # main window, "View &Status Registers"
area_left=84                            # profile editor, the drawing area's top left corner
area_top=34

start_demo
open_port

# Motor 1's window, then its "&Open Profile Window".
open_motor_window 1
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
sleep 0.2  # the start of four moves
sim_control "limit 3 0 1"  # motor 4 runs into its CW limit switch and stops
# shellcheck disable=SC2086
click_at "$main" $status_button
status=$(wait_window " MOTOR FLAGS STATUS") || fail "the status window did not show"
xdotool windowfocus --sync "$status"
xdotool key --window "$status" alt+g  # "&Get Status Register"
sleep 0.8
import -window "$status" "$status_out"
echo "Wrote $status_out"
