#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy: the bugprone, performance and readability
# groups) over the program's sources, with the compile commands of a build.
# Compiler warnings are the compiler's business (-Werror in the build): the
# checks run with them off (-w).
#   tools/run_tidy.sh [BUILD_DIR]     (default: build, configured by cmake)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
[ -f "$build/compile_commands.json" ] || cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cd "$top"
mapfile -t files < <(git ls-files -- 'src/*.cpp')
jobs=$(nproc)
printf '%s\n' "${files[@]}" | xargs -P "$jobs" -n 4 clang-tidy -p "$build" --quiet --extra-arg=-w 2>&1 |
  grep -v -E '^[0-9]+ warnings? generated|^Suppressed|^Use -header-filter' > /tmp/yosta_tidy.$$ || true
if grep -q -E '(warning|error):' /tmp/yosta_tidy.$$; then
  cat /tmp/yosta_tidy.$$
  rm -f /tmp/yosta_tidy.$$
  echo "clang-tidy: findings above"
  exit 1
fi
rm -f /tmp/yosta_tidy.$$
echo "clang-tidy: ${#files[@]} files clean"
