#!/usr/bin/env bash
# Installs what is missing, builds the two programs (yosta, the fit, and yosta-tools, which
# prepares data and reads results) and runs the bundled example fit in a folder of its own,
# run/example/ (git ignores run/), so that nothing is written beside the sources.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/tools/install_deps.sh"
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=Release -DYOSTA_TESTS=OFF -DYOSTA_BENCH=OFF >/dev/null
cmake --build "$top/build" -j "$(nproc)" --target yosta yosta-tools
echo
echo "Built: $top/build/yosta (the fit) and $top/build/yosta-tools (data preparation, results)."
echo

work=$top/run/example
mkdir -p "$work"
cp "$top"/examples/binary.dat "$top"/examples/binary_F?.dat "$top"/examples/binary_true_gr.txt "$work"
cd "$work"
status=0
"$top/build/yosta" --seed 12345 --plot-device /png binary.dat || status=$?
if [ "$status" != 0 ] && [ "$status" != 10 ]; then
  echo "The example fit failed (exit status $status); its messages are above." >&2
  exit "$status"
fi
"$top/build/yosta-tools" plot binary.out -o binary_fit.png
echo
echo "Exit status $status (0: every requested solution saved; 10: run ended at its time limit)."
echo "Results in $work:"
echo "  binary.g (the fitted g(r)s), binary.out (curves for plotting),"
echo "  binary_gr.png and binary_sq.png (the live pictures), binary_fit.png (every data set, its fit"
echo "  and residual, and the fitted g(r)s: yosta-tools plot)."
echo "See examples/README.md to compare them with the truth (binary_true_gr.txt is copied beside them)."
