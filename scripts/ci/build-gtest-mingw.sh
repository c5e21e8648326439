#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds GoogleTest from Debian's sources (/usr/src/googletest) for 64-bit Windows and
# installs it into a sysroot, where the Windows build finds it. Does nothing when the
# sysroot already holds it, so a build folder keeps it between runs.
#
#   scripts/ci/build-gtest-mingw.sh SYSROOT
set -euo pipefail

case "${1:-}" in
  -h | --help)
    echo "usage: $0 SYSROOT   (cross-builds GoogleTest for Windows into SYSROOT)"
    exit 0
    ;;
  --version)
    echo "build-gtest-mingw.sh (CorvexLink) 1"
    exit 0
    ;;
  "")
    echo "$0: give the sysroot folder (see --help)" >&2
    exit 2
    ;;
esac

sysroot=$(realpath -m "$1")
source_dir=/usr/src/googletest
toolchain=$(cd "$(dirname "$0")/../.." && pwd)/cmake/toolchain-mingw64.cmake

if [[ -f "$sysroot/lib/cmake/GTest/GTestConfig.cmake" ]]; then
  exit 0
fi
if [[ ! -f "$source_dir/CMakeLists.txt" ]]; then
  echo "$0: $source_dir is missing (apt-get install googletest)" >&2
  exit 1
fi

work="$sysroot/.gtest-build"
rm -rf "$work"
mkdir -p "$sysroot"
echo "-- Cross-building GoogleTest for Windows into $sysroot"
cmake -S "$source_dir" -B "$work" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCORVEXLINK_WINDOWS_SYSROOT="$sysroot" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$sysroot" \
  -DBUILD_GMOCK=OFF \
  -Dgtest_disable_pthreads=OFF >"$work.log" 2>&1 ||
  { cat "$work.log" >&2; exit 1; }
cmake --build "$work" -j2 >>"$work.log" 2>&1 && cmake --install "$work" >>"$work.log" 2>&1 ||
  { cat "$work.log" >&2; exit 1; }
rm -rf "$work" "$work.log"
