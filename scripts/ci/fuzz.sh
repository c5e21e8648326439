#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the fuzz preset and runs every fuzz target from its seed corpus for a bounded
# time (FUZZ_SECONDS each, 45 by default). Any crash, sanitizer report, broken check,
# time-out or leak fails the run. Prints each target's executions and coverage; new
# inputs go to a temporary folder, so the tree stays as it is.
#   scripts/ci/fuzz.sh [TARGET...]     (default: every target)
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${FUZZ_SECONDS:-45}"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/fuzz_*.cpp; do
    name="$(basename "$source" .cpp)"
    targets+=("$name")
  done
fi

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target "${targets[@]}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for target in "${targets[@]}"; do
  seeds="fuzz/corpus/${target#fuzz_}"
  found="$work/$target-corpus"
  log="$work/$target.log"
  mkdir -p "$found"
  if "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/$target-" "$found" "$seeds" >"$log" 2>&1; then
    result=passed
  else
    result=FAILED
    status=1
  fi
  executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  coverage="$(grep -E '^#[0-9]+' "$log" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[^ ]+' || true)"
  echo "fuzz: $target $result: ${executions:-?} executions in ${seconds} s, ${coverage:-no coverage line}"
  if [ "$result" = FAILED ]; then
    grep -vE '^#[0-9]+' "$log" | tail -60
    for artifact in "$work/$target-"*; do
      [ -f "$artifact" ] && { echo "fuzz: $target input that failed (base64):"; base64 "$artifact" | head -20; }
    done
  fi
done
exit $status
