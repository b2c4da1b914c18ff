#!/usr/bin/env bash
# Renders the golden report texts of tests/output/golden with gfortran from
# report_cases.txt. Run it after changing the cases; commit its output.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gfortran -O0 -ffree-line-length-none -o "$work/report_oracle" "$top/tools/golden/report_oracle.f90"
"$work/report_oracle" "$top/tests/output/golden/report_cases.txt" "$top/tests/output/golden"
# The free-format Gaussian-move block (the program's own free-format writer,
# whose number forms are checked against gfortran elsewhere) goes in place of
# the oracle's marker line, as checked by hand for the case's three ranges.
for f in "$top"/tests/output/golden/report_*.txt; do
  grep -qx '<gaussian moves>' "$f" || continue
  sed -i -e "/^<gaussian moves>\$/{r $top/tools/golden/gaussian_block.txt" -e 'd}' "$f"
done
ls "$top"/tests/output/golden/report_*.txt | grep -v report_cases.txt
