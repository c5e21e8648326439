#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a Windows program under Wine, headless, in a private Wine prefix: the emulator that
# ctest and the test discovery use for the Windows build.
#
#   scripts/ci/wine-run.sh --prefix DIR PROGRAM.exe [ARGS...]
#
# The prefix is made on first use (about 12 s). A wineserver is kept running for it (for 5
# minutes after its last client), so that each program starts in a fraction of a second
# instead of seconds; its output goes to /dev/null so that it never holds a pipe open.
set -euo pipefail

case "${1:-}" in
  -h | --help)
    echo "usage: $0 --prefix DIR PROGRAM.exe [ARGS...]   (runs PROGRAM under Wine in prefix DIR)"
    exit 0
    ;;
  --version)
    echo "wine-run.sh (CorvexLink) 1"
    exit 0
    ;;
  --prefix)
    [[ $# -ge 3 ]] || { echo "$0: give the prefix and a program (see --help)" >&2; exit 2; }
    prefix=$(realpath -m "$2")
    shift 2
    ;;
  *)
    echo "$0: give --prefix DIR first (see --help)" >&2
    exit 2
    ;;
esac

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

mkdir -p "$(dirname "$prefix")"
(
  # One process sets the prefix up; parallel tests wait for it.
  flock 9
  if [[ ! -f "$prefix/system.reg" ]]; then
    wineboot -i >/dev/null 2>&1 </dev/null || true
    wineserver -w
  fi
  # A persistent server for this prefix; it answers 0 only when it was not running yet.
  # Then the prefix's services are started here with no terminal, so that they never
  # inherit (and hold open) the output of the program run below.
  if wineserver -p300 </dev/null >/dev/null 2>&1 9>&-; then
    wine wineboot </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$prefix.lock"

# A program that ends at once without a word (not even a test program's banner) did not get
# to start: Wine lost a race with its server (seen about once in a few hundred starts on a
# loaded machine). It is started once more; its output is passed on as it came.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
wine "$@" >"$out" 2>&1 || status=$?
if [[ $status -ne 0 && ! -s "$out" ]]; then
  status=0
  wine "$@" >"$out" 2>&1 || status=$?
fi
cat "$out"
exit "$status"
