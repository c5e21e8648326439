#!/usr/bin/env bash
# Installs what is missing, builds, starts the station simulator with stations 0 to 3 on a
# pseudo-terminal, points COM1 at it and runs the scripted session through the library.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target kx4417-sim corvexlink-session

tmp=$(mktemp -d)
build/default/sim/kx4417-sim --stations 0-3 --link "$tmp/com1" > "$tmp/sim.log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$tmp"' EXIT
for _ in $(seq 50); do [ -e "$tmp/com1" ] && break; sleep 0.1; done

CORVEXLINK_COM1="$tmp/com1" build/default/examples/corvexlink-session
