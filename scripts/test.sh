#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, and runs the whole test suite.
#   scripts/test.sh            the default build (library, simulator, demo, all tests)
#   scripts/test.sh tsan       the library tests under ThreadSanitizer
#   scripts/test.sh asan       the library tests under AddressSanitizer + UBSan
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j2
label=()
[ "$preset" != default ] && label=(-L library)
QT_QPA_PLATFORM=offscreen ctest --preset "$preset" -j2 "${label[@]}"
