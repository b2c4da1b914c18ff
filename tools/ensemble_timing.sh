#!/usr/bin/env bash
# The time of a local ensemble with two members at a time against one at a
# time, on the bundled example: `yosta-tools ensemble -j 2` and `-j 1`
# alternately, ROUNDS times each, so that a change of the machine's speed
# falls on both. Prints every time and the ratio of the -j 2 total to half
# the -j 1 total (1.0: two members at a time take exactly half as long).
#   tools/ensemble_timing.sh [MEMBERS] [MOVES] [ROUNDS]
# Defaults: 8 members of 3 000 000 moves, 3 rounds. The programs come from
# build/ (YOSTA_BUILD to use another folder).
set -euo pipefail
members=${1:-8} moves=${2:-3000000} rounds=${3:-3}
top=$(cd "$(dirname "$0")/.." && pwd)
build=${YOSTA_BUILD:-$top/build}
tools=$build/yosta-tools
[ -x "$tools" ] || { echo "ensemble_timing.sh: $tools not found (build first)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$top"/examples/binary.dat "$top"/examples/binary_F?.dat "$work"
cd "$work"

seconds() {  # seconds JOBS: one ensemble, its wall time in seconds
  rm -rf "ens$1"
  local start end
  start=$(date +%s.%N)
  "$tools" ensemble binary.dat -n "$members" -j "$1" --seed 1000 -d "ens$1" -- --max-moves "$moves" > "ens$1.log" 2>&1 ||
    { echo "ensemble_timing.sh: the ensemble with -j $1 failed:" >&2; cat "ens$1.log" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

echo "$members members of $moves moves, $rounds rounds"
sum1=0 sum2=0
for round in $(seq "$rounds"); do
  t2=$(seconds 2)
  t1=$(seconds 1)
  printf 'round %d: -j 2 %.2f s, -j 1 %.2f s\n' "$round" "$t2" "$t1"
  sum1=$(awk -v a="$sum1" -v b="$t1" 'BEGIN { print a + b }')
  sum2=$(awk -v a="$sum2" -v b="$t2" 'BEGIN { print a + b }')
done
awk -v s1="$sum1" -v s2="$sum2" \
  'BEGIN { printf "in all: -j 2 %.2f s, -j 1 %.2f s, ratio to half of -j 1: %.3f\n", s2, s1, s2 / (s1 / 2) }' 
