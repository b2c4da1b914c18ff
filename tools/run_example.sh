#!/usr/bin/env bash
# Installs what is missing, builds YOSTA and runs the bundled example fit.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/tools/install_deps.sh"
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=Release -DYOSTA_TESTS=OFF -DYOSTA_BENCH=OFF >/dev/null
cmake --build "$top/build" -j "$(nproc)" --target yosta
cd "$top/examples"
status=0
"$top/build/yosta" --seed 12345 binary.dat || status=$?
echo
echo "Exit status $status (0: every requested solution saved; 10: run ended at its time limit)."
echo "Results in $top/examples: binary.g (basis functions), binary.out (curves), binary_gr.png, binary_sq.png"
