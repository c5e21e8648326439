#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails when a tracked C or C++ file is named in no CMakeLists.txt of its folder or of a
# folder above. Source lists are explicit: an unlisted file is never compiled, and a test
# in it would silently never run.
set -euo pipefail
cd "$(dirname "$0")/../.."

unlisted=0
while read -r f; do
    stem=$(basename "${f%.*}")
    dir=$(dirname "$f")
    found=0
    while :; do
        if [ -f "$dir/CMakeLists.txt" ] && grep -qw -- "$stem" "$dir/CMakeLists.txt"; then
            found=1
            break
        fi
        [ "$dir" = . ] && break
        dir=$(dirname "$dir")
    done
    if [ "$found" -eq 0 ]; then
        echo "source lists: $f is named in no CMakeLists.txt (sources are listed explicitly)" >&2
        unlisted=1
    fi
done < <(git ls-files '*.c' '*.cpp')
[ "$unlisted" -eq 0 ] || exit 1
echo "source lists: every C and C++ source is listed in a CMakeLists.txt"
