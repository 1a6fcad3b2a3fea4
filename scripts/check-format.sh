#!/usr/bin/env bash
# Fails when a C++ file of the project differs from the house format (.clang-format), naming
# each such file; `scripts/check-format.sh --fix` formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -d .git ] || git rev-parse --git-dir >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t files < <(find . -path ./build -prune -o -path './build-*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
command -v clang-format >/dev/null || { echo "format: clang-format is not installed" >&2; exit 2; }
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
# Twenty files to a clang-format, as many at once as there are processors; each file that
# differs is named once. Any other failure of clang-format fails the check too, with its output.
out=$(printf '%s\0' "${files[@]}" |
  xargs -0 -n 20 -P "$(nproc)" clang-format --dry-run -Werror 2>&1 >/dev/null) && rc=0 || rc=$?
bad=$(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' <<<"$out" | sort -u)
for f in $bad; do
  echo "format: ${f#./} differs from .clang-format (scripts/check-format.sh --fix)"
done
if [ "$rc" -ne 0 ] && [ -z "$bad" ]; then
  echo "format: clang-format failed (exit $rc):" >&2
  printf '%s\n' "$out" >&2
fi
[ "$rc" -eq 0 ]
