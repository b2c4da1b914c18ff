#!/bin/sh
# Regenerates the golden tables of the text layer (tests/text/golden/) from the
# Fortran runtime, the reference for fixed-layout output and free-format input.
# Needs gfortran; the tests themselves only read the committed tables.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out="$here/../../tests/text/golden"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

gfortran -O0 -o "$work/layout_oracle" "$here/layout_oracle.f90"
gfortran -O0 -o "$work/listread_oracle" "$here/listread_oracle.f90"

"$work/layout_oracle" "$here/layout_cases.txt" > "$out/layout.golden"
(cd "$work" && ./listread_oracle "$here/listread_cases.txt") > "$out/listread.golden"

echo "wrote $out/layout.golden ($(grep -c '^@' "$out/layout.golden") cases)"
echo "wrote $out/listread.golden ($(grep -c '^@' "$out/listread.golden") cases)"
