#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails when a tracked source, script or build file lacks its SPDX licence line within its
# first five lines.
set -euo pipefail
cd "$(dirname "$0")/../.."

missing=0
while read -r f; do
    [ -f "$f" ] || continue
    if ! head -5 "$f" | grep -q 'SPDX-License-Identifier'; then
        echo "licences: $f has no SPDX-License-Identifier line" >&2
        missing=1
    fi
done < <(git ls-files '*.c' '*.cpp' '*.h' '*.in' '*.py' '*.sh' 'CMakeLists.txt' '*/CMakeLists.txt' '*.cmake')
[ "$missing" -eq 0 ] || exit 1
echo "licences: every file carries its licence line"
