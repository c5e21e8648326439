#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Starts the station simulator with stations 0 to 3 on a pseudo-terminal, points COM1 at
# it and starts DemoCorvexLink, so the program finds four motors with no hardware attached.
#   scripts/run-demo.sh              build (preset "default") if needed, then run
#   CORVEXLINK_BUILD_DIR=build/x scripts/run-demo.sh   use another build folder
set -euo pipefail
cd "$(dirname "$0")/.."
build="${CORVEXLINK_BUILD_DIR:-build/default}"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
run-demo.sh: no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set).
DemoCorvexLink is a desktop program and needs one. Without a screen you can run it on a
virtual X display and look at it through a screenshot:
    xvfb-run -a scripts/run-demo.sh          (Debian package xvfb)
    scripts/screenshot.sh                    writes docs/images/main-window.png
MSG
  exit 2
fi

if [ ! -x "$build/demo/DemoCorvexLink" ] || [ ! -x "$build/sim/kx4417-sim" ]; then
  scripts/install-deps.sh
  if [ "$build" = build/default ]; then
    cmake --preset default >/dev/null
  else
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$build" -j2 --target kx4417-sim DemoCorvexLink
fi

tmp=$(mktemp -d)
"$build/sim/kx4417-sim" --stations 0-3 --link "$tmp/com1" >"$tmp/sim.log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$tmp"' EXIT
for _ in $(seq 50); do [ -e "$tmp/com1" ] && break; sleep 0.1; done
if [ ! -e "$tmp/com1" ]; then
  echo "run-demo.sh: the simulator did not start:" >&2
  cat "$tmp/sim.log" >&2
  exit 1
fi

echo "Simulated stations 0 to 3 on $(readlink "$tmp/com1"); COM1 points there."
echo "Open the port with the first tool button (or Serial Communication > Open Serial Port)."
CORVEXLINK_COM1="$tmp/com1" "$build/demo/DemoCorvexLink" "$@"
