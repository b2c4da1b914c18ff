#!/usr/bin/env bash
# Fails when a C++ file of src/, tests/, bench/, tools/, fuzz/ or python/ differs from its
# clang-format layout (.clang-format). `tools/check_format.sh --fix` rewrites them.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' \
                                     'tools/*.cpp' 'tools/*.h' 'fuzz/*.cpp' 'python/*.cpp' 'python/*.h' 2>/dev/null || true)
[ ${#files[@]} -gt 0 ] || { echo "check_format: no files found"; exit 1; }
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if clang-format --dry-run -Werror "${files[@]}" 2> /tmp/yosta_format.$$; then
  rm -f /tmp/yosta_format.$$
  echo "Format: ${#files[@]} files as .clang-format lays them out"
else
  grep -E '^[^ ].*(error|warning):' /tmp/yosta_format.$$ | cut -d: -f1 | sort | uniq -c | sed 's/^/  /'
  rm -f /tmp/yosta_format.$$
  echo "Format: these files differ from .clang-format; run tools/check_format.sh --fix"
  exit 1
fi
