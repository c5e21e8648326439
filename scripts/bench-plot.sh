#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Turns the table that bench_link prints into docs/images/bench.png: for every measure with
# a goal, its ratio as a share of the goal (at or below 1 the goal is met), and the idle
# CPU of the open port in the title.
#
#   scripts/bench-plot.sh [TABLE]     TABLE: a saved bench_link output; without it the
#                                     benchmark is run (build/default/bench/bench_link)
set -euo pipefail
case "${1:-}" in
  -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  --version) echo "bench-plot 1"; exit 0 ;;
esac
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/docs/images/bench.png"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

if [[ $# -ge 1 ]]; then
  [[ -r "$1" ]] || { echo "bench-plot: cannot read '$1'" >&2; exit 2; }
  cp "$1" "$work/table.txt"
else
  bench="$root/build/default/bench/bench_link"
  [[ -x "$bench" ]] || { echo "bench-plot: build bench_link first (cmake --build build/default --target bench_link)" >&2; exit 2; }
  "$bench" > "$work/table.txt"
fi

# Rows: measure (up to 40 columns), figure, baseline, ratio, goal, met.
awk 'NR > 1 && substr($0, 1, 2) != "  " {
       name = substr($0, 1, 40); sub(/ +$/, "", name)
       n = split(substr($0, 41), f, " ")
       if (n < 5) next
       if (f[4] == "0.000") { idle = f[1]; next }
       if (f[4] == "-") next
       printf "\"%s\" %.4f %s\n", name, f[3] / f[4], f[5] > "'"$work"'/data.txt"
     }
     END { printf "%s\n", (idle == "" ? "?" : idle) > "'"$work"'/idle.txt" }' "$work/table.txt"
[[ -s "$work/data.txt" ]] || { echo "bench-plot: no rows with a goal in the table" >&2; exit 1; }
idle="$(cat "$work/idle.txt")"

gnuplot <<GNUPLOT
set terminal pngcairo size 900,480 font "sans,10"
set output "$out"
set title "CorvexLink link figures: ratio as a share of its goal (at or below 1 = met)\nidle CPU with the port open: $idle s"
set style data histograms
set style fill solid 0.8 border -1
set boxwidth 0.7
set yrange [0:*]
set xtics rotate by -25 scale 0
set key off
set grid ytics
set arrow from graph 0, first 1 to graph 1, first 1 nohead lw 2 lc rgb "#c00000"
plot "$work/data.txt" using 2:xtic(1) lc rgb "#3070b0"
GNUPLOT
echo "bench-plot: wrote $out"
