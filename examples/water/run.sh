#!/usr/bin/env bash
# Measured water, the worked example of docs/water.md: prepares the inputs from the
# measured files, runs the fit of the three neutron contrasts and the fit of those with
# the X-ray set, each from several seeds, and leaves the mean of the solutions in
# water_3sets.g and water_4sets.g (O-O, O-H, H-H as g(r) - 1, the layout of a root.g file)
# with the curves of the first seed's solution in water_3sets.out and water_4sets.out,
# all in run/water_recipe/ of the repository (git ignores run/).
#
#   examples/water/run.sh [REALDATA_DIR]
#
# REALDATA_DIR holds water/ (default: ../shared/realdata beside the repository). The
# programs come from build/ of the repository (YOSTA_BUILD to use another folder; they
# are built there when missing). WATER_SEEDS (default "1 2 3") and WATER_MOVES (default
# 3000000 per seed) set the walks. Two fits run at a time.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
data=${1:-$top/../shared/realdata}
build=${YOSTA_BUILD:-$top/build}
seeds=${WATER_SEEDS:-1 2 3}
moves=${WATER_MOVES:-3000000}

water=$data/water
for f in neutron/SLS18498-H2O.mint01 neutron/SLS18502-D2O.mint01 neutron/SLS18500-HDO5050.mint01 \
         xray/PCCPfofq.txt reference/soper2013_dist_funcs; do
  if [ ! -f "$water/$f" ]; then
    echo "run.sh: $water/$f not found (give the folder holding water/ as the first argument)" >&2
    exit 1
  fi
done
if [ ! -x "$build/yosta" ] || ! "$build/yosta-tools" import --help >/dev/null 2>&1; then
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j 2 --target yosta yosta-tools >/dev/null
fi

work=$top/run/water_recipe
mkdir -p "$work"
cp "$here/water_3sets.dat" "$here/water_4sets.dat" "$work/"
cd "$work"
# 1. The data files, from the measured files. The neutron sets are measured at bin
#    centres (k + 1/2) * 0.05: import interpolates them onto k * 0.05 (0.20 to 49.90, 995
#    points, per-point errors). weights prints the Faber-Ziman coefficients that the
#    parameter files carry. The X-ray set (0.15 to 10.80, no errors) gets its weights per
#    Q point (form factors, over <f^2> like the data) and is put on the neutron grid
#    (points 1 to 213 hold it, beyond them F and weights are 0 and the fit never uses
#    them), so that the neutron sets keep their whole Q range.
tools=$build/yosta-tools
for pair in H2O:SLS18498-H2O D2O:SLS18502-D2O HDO:SLS18500-HDO5050; do
  "$tools" import "$water/neutron/${pair#*:}.mint01" -o "${pair%%:*}.dat" >/dev/null
done
"$tools" weights neutron --composition "O:1 H:2" \
  --contrast H2O --contrast D2O:H:D=1 --contrast "HDO:H:D=0.5,H=0.5" | grep -E "^ (contrast|H2O|D2O|HDO) "
"$tools" import "$water/xray/PCCPfofq.txt" -o xray_raw.dat >/dev/null
"$tools" weights xray --composition "O:1 H:2" --q-from xray_raw.dat -o xray_w.dat >/dev/null
"$tools" import xray_w.dat --qdep --grid-like H2O.dat -o xray.dat >/dev/null
rm -f xray_raw.dat xray_w.dat

# 2. The fits: every seed in a folder of its own, two at a time.
fit() {  # fit ROOT SEED
  local dir="runs/$1.seed$2"
  rm -rf "$dir" && mkdir -p "$dir"
  cp "$1.dat" "$dir/"
  for f in H2O.dat D2O.dat HDO.dat xray.dat; do ln -s "../../$f" "$dir/$f"; done
  local status=0
  (cd "$dir" && "$build/yosta" --seed "$2" --max-moves "$moves" "$1.dat" > run.log 2>&1) || status=$?
  if [ "$status" != 10 ]; then
    echo "run.sh: $1 seed $2 ended with status $status (see $work/$dir/run.log)" >&2
    touch runs/failed
    return 1
  fi
}
start=$(date +%s)
rm -f runs/failed
for root in water_3sets water_4sets; do
  for seed in $seeds; do
    while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
    fit "$root" "$seed" &
  done
done
wait
[ ! -e runs/failed ] || exit 1

# 3. The mean of the solutions, point by point, in the layout of a root.g file; the
#    curves of the first seed.
first=${seeds%% *}
for root in water_3sets water_4sets; do
  files=()
  for seed in $seeds; do files+=("runs/$root.seed$seed/$root.g"); done
  awk '
    FNR == 1 { if (NR == 1) nr = $1; else if ($1 != nr) { print "run.sh: r grids differ" > "/dev/stderr"; exit 1 }; nf++; next }
    FNR == 2 { gen += $1; acc += $2; next }
    { r[FNR] = $1; for (p = 2; p <= NF; ++p) s[FNR, p] += $p; np = NF }
    END {
      printf "%d\n%d %d\n", nr, gen, acc
      for (j = 3; j <= nr + 2; ++j) {
        line = r[j]
        for (p = 2; p <= np; ++p) line = line " " sprintf("%.7g", s[j, p] / nf)
        print line
      }
    }' "${files[@]}" > "$root.g"
  cp "runs/$root.seed$first/$root.out" "$root.out"
done
echo "Fits done in $(( $(date +%s) - start )) s; seeds: $seeds; $moves moves each."

# 4. The figures against the published partials, and the direct inversion beside them.
if command -v python3 >/dev/null; then
  export YOSTA_REALDATA=$data
  python3 "$top/tools/compare_water.py" --header --label "3 neutron sets, mean of seeds" water_3sets.g
  python3 "$top/tools/compare_water.py" --label "3 neutron sets + X-ray, mean of seeds" water_4sets.g
  python3 "$top/tools/compare_water.py" --direct
fi
