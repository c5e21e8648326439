#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, starts the station simulator with stations 0 to 3 on a
# pseudo-terminal, points COM1 at it and starts DemoCorvexLink. On a machine without a
# display it says so and runs the scripted library session against the simulator instead.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target kx4417-sim DemoCorvexLink corvexlink-session

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec scripts/run-demo.sh "$@"
fi

cat >&2 <<'MSG'
run.sh: no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set), so
DemoCorvexLink cannot be shown. Run it on a virtual X display with
    xvfb-run -a scripts/run-demo.sh
or take a screenshot with scripts/screenshot.sh. Meanwhile, here is a scripted session
through the library against the same simulated stations:

MSG

tmp=$(mktemp -d)
build/default/sim/kx4417-sim --stations 0-3 --link "$tmp/com1" > "$tmp/sim.log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$tmp"' EXIT
for _ in $(seq 50); do [ -e "$tmp/com1" ] && break; sleep 0.1; done

CORVEXLINK_COM1="$tmp/com1" build/default/examples/corvexlink-session
