#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Compares the export table of CorvexLink.dll with the dynamic symbols of the Linux
# library: both must offer exactly the same names. Prints both counts; exits 1 and shows
# the difference when they differ.
#
#   scripts/ci/compare-exports.sh CorvexLink.dll libCorvexLink.so.2
set -euo pipefail

case "${1:-}" in
  -h | --help)
    echo "usage: $0 CorvexLink.dll libCorvexLink.so.2   (the two libraries must export the same names)"
    exit 0
    ;;
  --version)
    echo "compare-exports.sh (CorvexLink) 1"
    exit 0
    ;;
esac
if [[ $# -ne 2 || ! -f "$1" || ! -f "$2" ]]; then
  echo "$0: give the DLL and the Linux library, both existing (see --help)" >&2
  exit 2
fi

dll_names=$(mktemp)
so_names=$(mktemp)
trap 'rm -f "$dll_names" "$so_names"' EXIT

# The name pointer table lists every exported name once ("[   0] PortOpen").
x86_64-w64-mingw32-objdump -p "$1" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p' | sort >"$dll_names"
nm -D --defined-only "$2" | awk '{ print $3 }' | sed 's/@.*//' | sort >"$so_names"

dll_count=$(wc -l <"$dll_names")
so_count=$(wc -l <"$so_names")
echo "exports: $(basename "$1") $dll_count names, $(basename "$2") $so_count names"
if [[ "$dll_count" -eq 0 ]] || ! diff -u --label "$(basename "$2")" --label "$(basename "$1")" "$so_names" "$dll_names"; then
  echo "exports: the two libraries differ" >&2
  exit 1
fi
echo "exports: identical lists"
