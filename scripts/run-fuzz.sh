#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a few seconds on its seed corpus.
#   scripts/run-fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
SECS=${1:-${FUZZ_SECONDS:-10}}
DIR=build-fuzz
CC=clang CXX=clang++ cmake -S . -B $DIR -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVOR_FUZZ=ON -DVOR_TESTS=OFF -DVOR_BENCH=OFF -DVOR_SANITIZE=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build $DIR --target fuzz_all -j "$(nproc)"
# A failing input is kept in the build tree (not the work tree, where it could be committed).
ARTIFACTS=$DIR/artifacts
mkdir -p "$ARTIFACTS"
status=0
while read -r name corpus; do
  [ -n "$name" ] || continue
  work=$(mktemp -d)
  seeds=()
  [ "$corpus" != "-" ] && [ -d "$corpus" ] && seeds=("$corpus")
  echo "-- $name (${SECS}s)"
  if ! "$DIR/fuzz/"*/"$name" -max_total_time="$SECS" -print_final_stats=0 \
        -artifact_prefix="$ARTIFACTS/$name-" "$work" "${seeds[@]}" \
        >"$work.log" 2>&1; then
    tail -40 "$work.log"; status=1
  fi
  rm -rf "$work" "$work.log"
done < $DIR/fuzz-targets.txt
exit $status
