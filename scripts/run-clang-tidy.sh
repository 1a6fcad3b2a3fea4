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
# must have been configured; generated files need not be built. Two at a time (JOBS).
#
# In a tree configured with unity batches (VOR_UNITY), a batch is checked once for all of the
# sources it includes: the headers they share (Qt, the standard library) are then parsed and
# matched once per batch instead of once per file, which is most of clang-tidy's time. The
# checks and the header filter are the same; the filter names our folders, so every finding in
# an included source is reported as it would be in the file alone.
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
# Only what this tree compiles (the window is left out of a tree without Qt Widgets): a source
# with its own compile command is checked alone, the others through the unity batch that
# includes them.
declare -A wanted=() covered=()
for f in "${files[@]}"; do wanted[$f]=1; done
units=()
for f in "${files[@]}"; do
  if grep -qF "\"file\": \"$ROOT/$f\"" "$BUILD/compile_commands.json"; then
    units+=("$f") covered[$f]=1
  fi
done
mapfile -t batches < <(grep -oE '"file": "[^"]*/Unity/unity_[0-9]+_cxx\.cxx"' "$BUILD/compile_commands.json" |
  sed 's/^"file": "//; s/"$//' | sort -u)
for batch in "${batches[@]}"; do
  use=0
  while read -r src; do
    rel=${src#"$ROOT/"}
    if [ -n "${wanted[$rel]:-}" ] && [ -z "${covered[$rel]:-}" ]; then covered[$rel]=1 use=1; fi
  done < <(sed -n 's/^#include "\(.*\)"$/\1/p' "$batch")
  [ "$use" -eq 0 ] || units+=("$batch")
done
# The largest batches first, so that two runs at a time end close together.
mapfile -t units < <(for u in "${units[@]}"; do
  case $u in *.cxx) echo "$(grep -c '^#include' "$u") $u" ;; *) echo "1 $u" ;; esac
done | sort -s -k1,1nr | cut -d' ' -f2-)
todo=()
for f in "${files[@]}"; do [ -z "${covered[$f]:-}" ] || todo+=("$f"); done
[ ${#todo[@]} -gt 0 ] || { echo "run-clang-tidy: no sources to check" >&2; exit 2; }

dirs=$(IFS='|'; echo "${DIRS[*]}")
log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$(date +%s)
rc=0
# The compile commands are g++'s: clang does not know some of its warning options.
# The configuration is named, not looked up beside each file: a batch lies in the build tree,
# which may be outside the repository.
printf '%s\n' "${units[@]}" |
  xargs -P "$JOBS" -n 1 "$TIDY" -p "$BUILD" --quiet --config-file="$ROOT/.clang-tidy" \
    --header-filter="^$ROOT/($dirs)/" --extra-arg=-Wno-unknown-warning-option >"$log" 2>&1 || rc=$?

# A header's finding is reported once for every file that includes it: show each once. A batch
# includes its sources by design (CMake writes it): that is no finding about our code.
findings=$(grep -E '^/.*:[0-9]+:[0-9]+: (warning|error): ' "$log" |
  grep -vE '/Unity/unity_[0-9]+_cxx\.cxx:[0-9]+:[0-9]+: warning: .*\[bugprone-suspicious-include\]$' |
  sort -u | sed "s|^$ROOT/||" || true)
count=$(printf '%s' "$findings" | grep -c . || true)
echo "run-clang-tidy: ${#todo[@]} files in ${#units[@]} runs, $count findings, $(($(date +%s) - start)) s"
if [ "$count" -gt 0 ]; then
  printf '%s\n' "$findings"
  exit 1
fi
if [ "$rc" -ne 0 ]; then
  grep -vE 'warnings? generated|^Suppressed|^Use -header-filter|^$' "$log" >&2 || true
  exit 1
fi
