#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a few seconds on its seed corpus,
# as many at once as there are processors (JOBS).
#   scripts/run-fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
SECS=${1:-${FUZZ_SECONDS:-10}}
DIR=build-fuzz
JOBS=${JOBS:-$(nproc)}
# Line tables are all a crash's stack trace needs (-g1).
CC=clang CXX=clang++ cmake -S . -B $DIR -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DVOR_FUZZ=ON -DVOR_TESTS=OFF -DVOR_BENCH=OFF -DVOR_SANITIZE=OFF -DVOR_UNITY=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build $DIR --target fuzz_all -j "$JOBS"
# A failing input is kept in the build tree (not the work tree, where it could be committed).
ARTIFACTS=$DIR/artifacts
mkdir -p "$ARTIFACTS"
fuzz_one() {  # name corpus: runs one target; its log is shown when it fails
  local name=$1 corpus=$2 work seeds=() rc=0
  work=$(mktemp -d)
  [ "$corpus" != "-" ] && [ -d "$corpus" ] && seeds=("$corpus")
  "$DIR/fuzz/"*/"$name" -max_total_time="$SECS" -print_final_stats=0 \
    -artifact_prefix="$ARTIFACTS/$name-" "$work" "${seeds[@]}" >"$work.log" 2>&1 || rc=$?
  if [ "$rc" -eq 0 ]; then
    echo "-- $name (${SECS}s): clean"
  else
    echo "-- $name (${SECS}s): FAILED"
    tail -40 "$work.log"
  fi
  rm -rf "$work" "$work.log"
  return "$rc"
}
status=0
running=0
while read -r name corpus; do
  [ -n "$name" ] || continue
  if [ "$running" -ge "$JOBS" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
  fuzz_one "$name" "$corpus" &
  running=$((running + 1))
done < $DIR/fuzz-targets.txt
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit $status
