#!/usr/bin/env bash
# Builds the fuzz targets of the file readers with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each on a seed corpus made from
# the examples and the test data.
#
#   tools/fuzz.sh                  a short run of every target (about 30 s in all)
#   tools/fuzz.sh -t SECONDS       SECONDS per target
#   tools/fuzz.sh -r RUNS          RUNS executions per target (a longer campaign)
#   tools/fuzz.sh -j JOBS          JOBS build jobs (default 2)
#
# Ends with status 1 when a target found a crash, a leak or a sanitizer report; the
# input that caused it is kept in build-fuzz/findings/. The corpora grow in
# build-fuzz/corpus/ from run to run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=7
runs=""
jobs=2
while getopts "t:r:j:" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    r) runs=$OPTARG ;;
    j) jobs=$OPTARG ;;
    *) echo "usage: $0 [-t seconds] [-r runs] [-j jobs]" >&2; exit 2 ;;
  esac
done
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found; install it with tools/install_deps.sh" >&2
  exit 2
fi

build="$top/build-fuzz"
# The warnings are g++'s to judge (the other builds stop on them); clang's
# stricter forms of the same flags must not stop a fuzzing build.
CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DYOSTA_FUZZ=ON \
  -DYOSTA_TESTS=OFF -DYOSTA_BENCH=OFF -DYOSTA_WERROR=OFF >/dev/null
targets=(parameters data g gsv import composition)
if ! cmake --build "$build" -j "$jobs" --target "${targets[@]/#/fuzz_}" > "$build/build.log" 2>&1; then
  cat "$build/build.log"
  exit 1
fi

# The seed corpora: every parameter and data file shipped, and small start files.
corpus="$build/corpus"
mkdir -p "$corpus"/{parameters,data,g,gsv,import,composition} "$build/findings"
for f in "$top"/examples/*.dat "$top"/tests/system/realdata/*.dat; do
  head -c 2 "$f" | grep -q '^[0-9 ]' && continue  # data files start with their point count
  cp "$f" "$corpus/parameters/$(basename "$f")"
done
# Data files cut to their first 30 points: small inputs run many times faster.
for f in "$top"/examples/*_F*.dat; do
  for flags in '\x00' '\x01' '\x11' '\x04' '\x06' '\xe3'; do
    { printf "$flags"'\x00\x10'; printf '30\n'; sed -n '2,32p' "$f"; } \
      > "$corpus/data/$(basename "$f").$(printf '%s' "$flags" | tr -dc '0-9a-f')"
  done
done
printf '\x02%s' $'4\n100 50\n0.1 1 2\n0.2 0.5 -1\n0.3, 1e-3 2\n0.4 -1 0\n' > "$corpus/g/two_partials"
printf '\x00%s' $'3\n0 0\n0.125 1\n0.25 2\n0.375 3\n' > "$corpus/g/one_partial"
printf '\x01%s' $'3 2\n2 17\n0.1 1 2 3 4\n0.2 5 6\n 7 8\n0.3 9 10 11 12\n' > "$corpus/gsv/two_partials"
printf '\x00%s' $'2 1\n0 0\n0.1 0 0\n0.2 0 0\n' > "$corpus/gsv/empty_sums"
# Measured files for import: comments, a header, bin centres, an error column,
# a byte-order mark, the program's own layout; each with a few option bytes.
printf '\x00%s' $'# water\nQ F err\n0.1 1.2 0.01\n0.2 1.1 0.01\n0.3 0.9 0.02\n0.4 1.0 0.01\n0 0 0\n' \
  > "$corpus/import/with_errors"
printf '\x01%s' $'0.05 1\n0.15 2\n0.25 3\n0.35 4\n0.45 5\n' > "$corpus/import/bin_centres"
printf '\x1a\xef\xbb\xbf%s' $'0.1,1\n0.2,2\n0.3,3\n0.4,4\n0.5,5\n0.6,6\n' > "$corpus/import/bom_rebin"
printf '\x86%s' $'4  imported\nQ F c1 c2\n0.5 1 0.3 0.2\n1.0 1 0.3 0.2\n1.5 1 0.3 0.2\n2.0 1 0.3 0.2\n' \
  > "$corpus/import/program_layout"
for f in "$top"/examples/binary_F1.dat; do
  { printf '\x40'; head -40 "$f"; } > "$corpus/import/example_head"
done
# Compositions: the first byte is where the --isotope text begins.
printf '\x07%s' 'O:1 H:2H:D=0.5,H=0.5' > "$corpus/composition/water_isotopes"
printf '\x14%s' 'Si:1,O:2;Na:0.1 K:1e3' > "$corpus/composition/glass"
printf '\xff%s' 'C:6 H:6' > "$corpus/composition/benzene"
printf '\x0f%s' 'O:1e308 H:1e308' > "$corpus/composition/huge"

status=0
total=0
for t in "${targets[@]}"; do
  limit=(-max_total_time="$seconds")
  [ -n "$runs" ] && limit=(-runs="$runs")
  log="$build/fuzz_$t.log"
  if (cd "$build/findings" && "$build/fuzz_$t" "${limit[@]}" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$corpus/$t" >"$log" 2>&1); then
    result="ok"
  else
    result="FAILED (see $log and $build/findings)"
    status=1
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  execs=${execs:-0}
  total=$((total + execs))
  echo "fuzz_$t: $execs executions, $result"
done
echo "fuzz: $total executions in all"
exit $status
