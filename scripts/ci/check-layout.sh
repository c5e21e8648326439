#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails when a tracked C or C++ file is not laid out as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/../.."

mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h' | grep -v '\.in$')
echo "layout: checking ${#sources[@]} C and C++ files with $(clang-format --version)"
clang-format --dry-run -Werror "${sources[@]}"
echo "layout: all files laid out"
