#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Shows that an error box does not block STOP: opens the windows of motors 1 and 2 side by
# side, gives motor 2 a slew rate the library refuses and presses CW, and while the error
# box is open presses STOP in motor 1 and in motor 2. Writes the screen to
# docs/images/box-and-stop.png and prints the frames the simulator received meanwhile
# (the STOPs are _0H and _1H).
set -euo pipefail
cd "$(dirname "$0")/.."
name=screenshot-box.sh
out="${1:-docs/images/box-and-stop.png}"
SCREEN_SIZE=1600x1000
SIM_TRANSCRIPT=1
# shellcheck source=lib/demo-session.sh
source scripts/lib/demo-session.sh

# Where CW and STOP lie in the fixed-size motor window (measured on this layout).
cw_button="${CW_BUTTON:-630 27}"
stop_button="${STOP_BUTTON:-545 69}"

start_demo
open_port
open_motor_window 1
motor1=$motor
open_motor_window 2
motor2=$motor
xdotool windowmove "$motor1" 0 0
xdotool windowmove "$motor2" 800 0
sleep 0.5

# Motor 2: the cursor starts in "Steps to Go"; the next field is the slew rate.
xdotool windowfocus --sync "$motor2"
xdotool key --window "$motor2" Tab ctrl+a 1 0
sleep 0.3
# shellcheck disable=SC2086
click_at "$motor2" $cw_button
box=$(wait_window "Error Message Motor 2") || fail "no error box for motor 2"
xdotool windowmove "$box" 500 650
sleep 0.5
lines=$(wc -l <"$tmp/sim.log")

# shellcheck disable=SC2086
click_at "$motor1" $stop_button
# shellcheck disable=SC2086
click_at "$motor2" $stop_button
sleep 0.5
xdotool search --onlyvisible --name "Error Message Motor 2" >/dev/null || fail "the box went away"

mkdir -p "$(dirname "$out")"
import -window root "$out"
echo "Wrote $out"
echo "Frames received while the box was open:"
tail -n +"$((lines + 1))" "$tmp/sim.log"
