#!/usr/bin/env bash
# Installs the Python package with pip into a fresh virtual environment that
# sees the system's packages (numpy, matplotlib), offline: --no-index makes any
# attempt to reach a package index fail. Then imports it away from the source.
#   tools/pip_check.sh [PYTHON]
set -euo pipefail
python=${1:-/usr/bin/python3}
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" -m venv --system-site-packages "$work/venv"
CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)} \
  "$work/venv/bin/pip" install --no-index --no-build-isolation --quiet "$top"
cp "$top"/examples/binary.dat "$top"/examples/binary_F?.dat "$work"
cd "$work"
"$work/venv/bin/python" - <<'PY'
import os, sys, yosta
assert os.path.realpath(yosta.__file__).startswith(os.path.realpath(sys.prefix)), yosta.__file__
fit = yosta.Fit("binary.dat")
fit.run(moves=5000, seed=1)
fit.save("venv_run")
assert yosta.read_g("venv_run.g").g.shape[0] == 3
print("pip check: yosta", yosta.__version__, "installed in a venv from", yosta.__file__)
PY
