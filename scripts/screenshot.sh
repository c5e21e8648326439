#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the README's screenshot: starts a virtual X display, the simulator with stations
# 0 to 3 and DemoCorvexLink, opens the port through the menu and the port dialog (which
# scans the line), and writes the screen to docs/images/main-window.png.
set -euo pipefail
cd "$(dirname "$0")/.."
name=screenshot.sh
out="${1:-docs/images/main-window.png}"
# shellcheck source=lib/demo-session.sh
source scripts/lib/demo-session.sh

start_demo
open_port

# The screen, cut to the main window.
eval "$(xdotool getwindowgeometry --shell "$main")"
mkdir -p "$(dirname "$out")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "Wrote $out"
