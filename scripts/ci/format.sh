#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails when a tracked C or C++ file is not laid out as .clang-format says, or when a
# tracked source file lacks its SPDX licence line. Run from anywhere in the tree.
set -euo pipefail
cd "$(dirname "$0")/../.."

mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h' | grep -v '\.in$')
echo "format: checking ${#sources[@]} C and C++ files with $(clang-format --version)"
clang-format --dry-run -Werror "${sources[@]}"

missing=0
while read -r f; do
    [ -f "$f" ] || continue
    if ! head -5 "$f" | grep -q 'SPDX-License-Identifier'; then
        echo "format: $f has no SPDX-License-Identifier line" >&2
        missing=1
    fi
done < <(git ls-files '*.c' '*.cpp' '*.h' '*.in' '*.py' '*.sh' 'CMakeLists.txt' '*/CMakeLists.txt' '*.cmake')
[ "$missing" -eq 0 ] || exit 1
echo "format: all files laid out and licensed"

# Source lists are explicit: a C or C++ file that no CMakeLists.txt of its folder or of a
# folder above names is never compiled, and a test in it would silently never run.
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
        echo "format: $f is named in no CMakeLists.txt (sources are listed explicitly)" >&2
        unlisted=1
    fi
done < <(git ls-files '*.c' '*.cpp')
[ "$unlisted" -eq 0 ] || exit 1
echo "format: every C and C++ source is listed in a CMakeLists.txt"
