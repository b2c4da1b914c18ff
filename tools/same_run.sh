#!/usr/bin/env bash
# Seeded runs of five set-ups with two builds of yosta, compared byte for byte:
# the console transcript, root.g, root.out and (when saving at targets)
# root.gsv of each. For refactorings that must not change a single result.
#   tools/same_run.sh OLD_YOSTA NEW_YOSTA [MOVES]
# Set-ups: the bundled example (Q-dependent coefficients, curvature
# smoothing), the same with resolution broadening, the same with Gaussian
# moves, a fixed-coefficient fit (the example's data with constant weights),
# and the example saving two solutions at a target chi-squared (run for
# TARGET_MOVES moves, 250000 unless set, enough for both to be taken).
set -euo pipefail
old=$(realpath "$1") new=$(realpath "$2") moves=${3:-60000}
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$top"/examples/binary.dat "$top"/examples/binary_F?.dat "$work"
cd "$work"
# Variants of the example's parameter file, each with its own root.
sed -e 's/^F\( *resolution_on\)/T\1/' -e 's/^0\.003\b.*/&\n0.2 0.0 0.0 0.3/' -e '$s/.*/binres/' binary.dat > binres.dat
sed -e 's/^2\( *smoothing_type\).*/3\1/' -e 's/^1.0  2.0  0.0 .*/2\n0.46 7.5\n0.46 16.0/' -e '$s/.*/bingauss/' binary.dat > bingauss.dat
sed -e 's/^F\( *save_targets\)/T\1\n2          nsave/' -e 's/^0\.003\b.*/&\n60.0       target_chi2/' \
  -e '$s/.*/bintarget/' binary.dat > bintarget.dat
# Fixed coefficients: the first two columns of each data file with weights in
# the parameter file.
for d in 1 2 3; do
  awk 'NR <= 2 { print; next } { print $1, $2 }' binary_F$d.dat > fixed_F$d.dat
done
awk '/qdep_coefficients/ { print "F          qdep_coefficients"; next }
     /nsets_fixed, nsets_qdep/ { print "3  0       nsets_fixed, nsets_qdep"; next }
     /^binary_F[123].dat/ { sub("binary_", "fixed_"); print; getline; print; getline; print;
                            print "0.25 0.5 0.25"; next }
     $0 == "binary" { print "fixed"; next } { print }' binary.dat > fixed.dat
status=0
for c in binary binres bingauss fixed bintarget; do
  n=$moves files="$c.console $c.g $c.out"
  [ "$c" = bintarget ] && n=${TARGET_MOVES:-250000} files="$files $c.gsv"
  for side in old new; do
    mkdir -p "$side"
    bin=$old; [ "$side" = new ] && bin=$new
    (cd "$side" && cp ../*.dat . && "$bin" --seed 4242 --max-moves "$n" "$c.dat" > "$c.console" 2>&1 || true)
  done
  for f in $files; do
    if [ ! -e "old/$f" ]; then echo "missing old/$f"; status=1
    elif cmp -s "old/$f" "new/$f"; then echo "same      $f"
    else echo "DIFFERENT $f"; status=1; fi
  done
done
exit $status
