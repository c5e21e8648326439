#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# CI: the library as a Windows DLL. Installs the MinGW-w64 cross compiler and Wine when
# missing, builds the `windows` preset (DLL, examples, tests), compares the DLL's exports
# with the Linux library's, and runs the Windows tests under Wine against the simulator
# running as a Linux process. Prints the export counts and the pass/skip counts, with the
# reason of every skipped test.
#
#   scripts/ci/windows.sh
set -euo pipefail
cd "$(dirname "$0")/../.."

case "${1:-}" in
  -h | --help)
    echo "usage: $0   (builds the Windows DLL and runs its tests under Wine)"
    exit 0
    ;;
  --version)
    echo "windows.sh (CorvexLink) 1"
    exit 0
    ;;
esac

started=$SECONDS
scripts/install-deps.sh windows

# The Linux side: the simulator the Windows tests talk to and the library whose exports
# the DLL must match (already there after scripts/test.sh).
if [[ ! -x build/default/sim/kx4417-sim || ! -f build/default/library/libCorvexLink.so.2 ]]; then
  scripts/install-deps.sh
  cmake --preset default >/dev/null
  cmake --build build/default --target kx4417-sim CorvexLink -j2
fi

cmake --preset windows >/dev/null
cmake --build --preset windows -j2

scripts/ci/compare-exports.sh build/windows/bin/CorvexLink.dll build/default/library/libCorvexLink.so.2

prefix=build/windows/wineprefix
trap 'WINEPREFIX=$PWD/$prefix wineserver -k 2>/dev/null || true' EXIT
status=0
timeout 900 ctest --preset windows -j2 --timeout 300 || status=$?

scripts/ci/windows-test-summary.py build/windows/Testing/Temporary/LastTest.log
echo "windows: done in $((SECONDS - started)) s"
exit "$status"
