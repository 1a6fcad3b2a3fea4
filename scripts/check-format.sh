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
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=0
for f in "${files[@]}"; do
  if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
    echo "format: $f differs from .clang-format (scripts/check-format.sh --fix)"
    bad=1
  fi
done
exit $bad
