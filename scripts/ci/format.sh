#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tree's source checks, one script each: layout (clang-format), licence lines, and
# explicit source lists. Runs all three, so one run reports every kind of fault, and fails
# when any of them fails. Run from anywhere in the tree.
set -uo pipefail
here="$(dirname "$0")"

failed=()
for check in check-layout check-licences check-source-lists; do
    "$here/$check.sh" || failed+=("$check")
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "format: failed: ${failed[*]}" >&2
    exit 1
fi
