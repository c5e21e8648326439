#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the README's pictures of a motor window at work: starts a virtual X display, the
# simulator with stations 0 to 3 and DemoCorvexLink, opens the port, opens the window of
# motor 1, switches on the shaft-encoder polling, starts a clockwise move and, while the
# motor turns, writes the window to docs/images/motor-window.png.
# With LIVE=1 it switches on "Live" instead, with motor 1's CCW limit switch on (the
# motor leaves the switch), and writes docs/images/motor-window-live.png: the position,
# the lit Moving lamp and the lit CCW limit lamp.
set -euo pipefail
cd "$(dirname "$0")/.."
name=screenshot-motor.sh
live="${LIVE:-0}"
if [ "$live" = 1 ]; then
  out="${1:-docs/images/motor-window-live.png}"
  SIM_CONTROL=1
else
  out="${1:-docs/images/motor-window.png}"
fi
# shellcheck source=lib/demo-session.sh
source scripts/lib/demo-session.sh

# Where the controls lie in the fixed-size motor window (measured on this layout).
encoder_box="${ENCODER_BOX:-30 515}"  # "Enable Shaft Encoder Movements,   Enc. Position :"
live_box="${LIVE_BOX:-17 589}"        # "Live"
cw_button="${CW_BUTTON:-630 27}"      # "&CW"

start_demo
open_port

open_motor_window 1

if [ "${MOTOR_NO_CLICKS:-0}" != 1 ]; then
  if [ "$live" = 1 ]; then
    sim_control "limit 0 1 0"
    # shellcheck disable=SC2086
    click_at "$motor" $live_box     # status and position read twice a second
  else
    # shellcheck disable=SC2086
    click_at "$motor" $encoder_box  # polling of position and encoder on
  fi
  # shellcheck disable=SC2086
  click_at "$motor" $cw_button    # 15000 steps at up to 2000 steps/s
  sleep 2.6                       # a few polling ticks into the move
fi

mkdir -p "$(dirname "$out")"
import -window "$motor" "$out"
echo "Wrote $out"
