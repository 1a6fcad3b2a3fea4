#!/usr/bin/env bash
# Runs clang-tidy (Debian's clang-tidy 14, the checks in .clang-tidy) over the production
# sources: common, platform, image, device, catalogue, app (with record), window, cli, sim and
# tools.
# The tests are left out: GoogleTest's macros expand to code these checks were not made for.
# Every finding is an error: the exit status is 1 when there is any, 2 when the build tree is
# not configured.
#
#   scripts/run-clang-tidy.sh [BUILD_DIR] [FILE...]   (BUILD_DIR default: build)
#
# It reads BUILD_DIR/compile_commands.json (the top CMakeLists.txt exports it), so the tree
# must have been configured; generated files need not be built. Two files at a time (JOBS).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build}
[ $# -gt 0 ] && shift
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
JOBS=${JOBS:-2}
DIRS=(common platform image device catalogue app window cli sim tools)

TIDY=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ -z "$TIDY" ]; then
  echo "run-clang-tidy: clang-tidy is not installed (scripts/install-deps.sh installs it)" >&2
  exit 2
fi
if [ ! -f "$BUILD/compile_commands.json" ]; then
  echo "run-clang-tidy: no $BUILD/compile_commands.json: configure with cmake first" >&2
  exit 2
fi

cd "$ROOT"
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files "${DIRS[@]/%//*.cpp}")
fi
# Only what this tree compiles (the window is left out of a tree without Qt Widgets).
todo=()
for f in "${files[@]}"; do
  if grep -qF "\"file\": \"$ROOT/$f\"" "$BUILD/compile_commands.json"; then todo+=("$f"); fi
done
[ ${#todo[@]} -gt 0 ] || { echo "run-clang-tidy: no sources to check" >&2; exit 2; }

dirs=$(IFS='|'; echo "${DIRS[*]}")
log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$(date +%s)
rc=0
# The compile commands are g++'s: clang does not know some of its warning options.
printf '%s\n' "${todo[@]}" |
  xargs -P "$JOBS" -n 3 "$TIDY" -p "$BUILD" --quiet --header-filter="^$ROOT/($dirs)/" \
    --extra-arg=-Wno-unknown-warning-option >"$log" 2>&1 || rc=$?

# A header's finding is reported once for every file that includes it: show each once.
findings=$(grep -E '^/.*:[0-9]+:[0-9]+: (warning|error): ' "$log" | sort -u | sed "s|^$ROOT/||" || true)
count=$(printf '%s' "$findings" | grep -c . || true)
echo "run-clang-tidy: ${#todo[@]} files, $count findings, $(($(date +%s) - start)) s"
if [ "$count" -gt 0 ]; then
  printf '%s\n' "$findings"
  exit 1
fi
if [ "$rc" -ne 0 ]; then
  grep -vE 'warnings? generated|^Suppressed|^Use -header-filter|^$' "$log" >&2 || true
  exit 1
fi
