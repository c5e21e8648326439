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
