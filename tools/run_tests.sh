#!/usr/bin/env bash
# Installs what is missing, builds YOSTA twice (optimised with the Python package,
# and with AddressSanitizer plus UndefinedBehaviorSanitizer, without the Python
# module) and runs every test tier (unit, integration, system) in both builds
# (the pytest tests of the package and its notebook in the first), installs the
# package with pip into a virtual environment offline; then a short run of every
# fuzz target of the file readers (clang only).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/tools/install_deps.sh"
jobs=$(nproc)
bash "$top/tools/check_format.sh"
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=Release -DYOSTA_TESTS=ON -DYOSTA_BENCH=ON \
      -DYOSTA_PYTHON=ON >/dev/null
cmake --build "$top/build" -j "$jobs"
# Every tier in turn, the fast one first; a test outside the three tiers fails the run.
tiers() {
  local untiered
  untiered=$(ctest -N -LE '^(unit|integration|system)$' | sed -n 's/^Total Tests: //p')
  if [ "$untiered" != "0" ]; then
    echo "$untiered test(s) carry none of the labels unit, integration, system:" >&2
    ctest -N -LE '^(unit|integration|system)$' >&2
    return 1
  fi
  for tier in unit integration system; do
    ctest --output-on-failure -j "$jobs" -L "^${tier}\$"
  done
}
(cd "$top/build" && tiers)
bash "$top/tools/pip_check.sh"
cmake -S "$top" -B "$top/build-asan" -DCMAKE_BUILD_TYPE=Debug -DYOSTA_SANITIZE=ON -DYOSTA_BENCH=OFF -DYOSTA_PYTHON=OFF >/dev/null
cmake --build "$top/build-asan" -j "$jobs"
(cd "$top/build-asan" && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$top/tools/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 tiers)
if command -v clang++ >/dev/null 2>&1; then
  bash "$top/tools/fuzz.sh" -t 7 -j "$jobs"
else
  echo "clang++ not found: the fuzz smoke run is skipped"
fi
