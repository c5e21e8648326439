#!/usr/bin/env bash
# Takes the README's screenshot: starts a virtual X display, the simulator with stations
# 0 to 3 and DemoCorvexLink, opens the port through the menu and the port dialog (which
# scans the line), and writes the screen to docs/images/main-window.png.
# Needs Xvfb, xdotool and ImageMagick's import (Debian: xvfb xdotool imagemagick).
#   CORVEXLINK_BUILD_DIR=build/x scripts/screenshot.sh   use another build folder
set -euo pipefail
cd "$(dirname "$0")/.."
build="${CORVEXLINK_BUILD_DIR:-build/default}"
out="${1:-docs/images/main-window.png}"

for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
for program in "$build/demo/DemoCorvexLink" "$build/sim/kx4417-sim"; do
  [ -x "$program" ] || { echo "screenshot.sh: $program is not built" >&2; exit 1; }
done

tmp=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; wait "${pids[i]}" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

# A free display number.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x800x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

"$build/sim/kx4417-sim" --stations 0-3 --link "$tmp/com1" >"$tmp/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "$tmp/com1" ] && break; sleep 0.1; done

demo="$(cd "$build/demo" && pwd)/DemoCorvexLink"
(cd "$tmp" && exec env CORVEXLINK_COM1="$tmp/com1" "$demo") >"$tmp/demo.log" 2>&1 &
pids+=($!)

window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name "CorvexLink  SERIES" 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "screenshot.sh: the main window did not show" >&2; cat "$tmp/demo.log" >&2; exit 1; }

# Serial Communication > Open Serial Port, then "&Open Port" in the library's dialog. Keys
# go to the focused window (there is no window manager on the virtual display).
xdotool windowfocus --sync "$window"
xdotool key alt+s
sleep 0.5
xdotool key o
dialog=""
for _ in $(seq 50); do
  dialog=$(xdotool search --onlyvisible --name "Serial Port Configuration" 2>/dev/null | head -1) && [ -n "$dialog" ] && break
  sleep 0.1
done
[ -n "$dialog" ] || { echo "screenshot.sh: the port dialog did not show" >&2; exit 1; }
xdotool windowfocus --sync "$dialog"
xdotool key Return

# The scan probes sixteen addresses; twelve silent ones cost 200 ms each.
for _ in $(seq 100); do
  xdotool search --onlyvisible --name "Serial Port Configuration" >/dev/null 2>&1 || break
  sleep 0.1
done
sleep 4

# The screen, cut to the main window.
eval "$(xdotool getwindowgeometry --shell "$window")"
mkdir -p "$(dirname "$out")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "Wrote $out"
