#!/usr/bin/env bash
# Installs a build into a temporary prefix and runs the bundled example from
# there: the installed programs, their manual pages and documents, and the
# Python package importing its installed module.
#   tools/install_check.sh BUILD_DIR [PYTHON]
set -euo pipefail
build=$1 python=${2:-python3}
top=$(cd "$(dirname "$0")/.." && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > "$prefix/install.log"
fail() { echo "install check: $*"; exit 1; }
for f in bin/yosta bin/yosta-tools share/man/man1/yosta.1 share/man/man1/yosta-tools.1 \
         share/doc/yosta/README.md share/doc/yosta/guide.md share/doc/yosta/examples/binary.dat; do
  [ -s "$prefix/$f" ] || fail "$f is not installed"
done
grep -q -- "max\\\\-moves" "$prefix/share/man/man1/yosta.1" || fail "the manual page of yosta lacks --max-moves"
work="$prefix/run"
mkdir "$work"
cp "$prefix"/share/doc/yosta/examples/binary.dat "$prefix"/share/doc/yosta/examples/binary_F?.dat "$work"
status=0
(cd "$work" && "$prefix/bin/yosta" --seed 777 --max-moves 20000 binary.dat > console.txt) || status=$?
# 10: the run ended at --max-moves, as asked.
[ "$status" = 10 ] || fail "the installed yosta ended with status $status"
[ -s "$work/binary.g" ] || fail "the installed yosta wrote no binary.g"
site=$(find "$prefix" -type d -name yosta -path "*packages*" | head -n 1)
[ -n "$site" ] || fail "the Python package is not installed"
# The installed package, not the one of the build or source tree.
(cd "$work" && env -u PYTHONPATH PYTHONPATH="$(dirname "$site")" "$python" - <<'PY'
import os, yosta
assert os.path.realpath(yosta.__file__).startswith(os.path.realpath(os.environ["PYTHONPATH"])), yosta.__file__
fit = yosta.Fit("binary.dat")
fit.run(moves=20000, seed=777)
fit.save("py")
assert open("py.g", "rb").read() == open("binary.g", "rb").read(), "the installed package's .g differs"
print("installed package:", yosta.__file__)
PY
) || fail "the installed Python package failed"
echo "install check: programs, manual pages, documents and package installed and running"
