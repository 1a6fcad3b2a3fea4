#!/usr/bin/env bash
# Installs what is missing, checks the house format, builds, and runs every test: once in a
# normal tree (then clang-tidy over it), once with AddressSanitizer and UndefinedBehaviorSanitizer,
# and the layers where threads meet once more with ThreadSanitizer; then the fuzz targets
# briefly and the package check. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
JOBS=${JOBS:-$(nproc)}

# How long each stage took, for the summary at the end.
stage_name="" stage_start=$SECONDS timings=()
stage() {
  [ -n "$stage_name" ] && timings+=("$(printf '%5d s  %s' $((SECONDS - stage_start)) "$stage_name")")
  stage_name=$1 stage_start=$SECONDS
  if [ -n "$1" ]; then echo "== $1"; fi
}

stage "install what is missing"
./scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:suppressions=$ROOT/scripts/asan.supp}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Any report fails the test that caused it (exitcode); suppressions name third-party code only.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=0:exitcode=66:second_deadlock_stack=1:suppressions=$ROOT/scripts/tsan.supp}

status=0

# A throwaway PostgreSQL server for the record database tests, stopped however this script ends.
PG_DIR=$(mktemp -d "${TMPDIR:-/tmp}/vor-pg.XXXXXX")
stop_pg() { scripts/pg-test-server.sh stop "$PG_DIR" || true; rm -rf "$PG_DIR"; }
trap stop_pg EXIT
stage "PostgreSQL test server"
if VORLOADER_TEST_PG=$(scripts/pg-test-server.sh start "$PG_DIR"); then
  export VORLOADER_TEST_PG
else
  echo "test.sh: the PostgreSQL test server did not start"; status=1
fi

stage "format"
if ! scripts/check-format.sh; then status=1; fi

# Most tests wait on simulated devices, pseudo-terminals and child processes far more than they
# compute: two at a time per processor keeps the processors busy. Not more: a simulated device
# must still answer within the loader's 50 ms, and at four per processor under the sanitizers
# one now and then did not.
TEST_JOBS=${TEST_JOBS:-$((JOBS * 2))}

build_tree() {  # name, extra cmake args...
  local dir=$1; shift
  stage "configure and build: $dir"
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}
test_tree() {  # name
  stage "tests: $1"
  if ! ctest --test-dir "$1" --output-on-failure -j "$TEST_JOBS" --timeout 600; then status=1; fi
}
run_tree() { build_tree "$@"; test_tree "$1"; }

# Line tables are all a failure's stack trace needs; full debug information would double the
# compile time of these trees (-g1 in place of -g). Every tree here is built once from scratch:
# its libraries and programs compile in unity batches (VOR_UNITY).
RELEASE=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")
build_tree build "${RELEASE[@]}" -DVOR_UNITY=ON
test_tree build
# clang-tidy checks the sources through the unity batches of the tree just built (its compile
# commands are the ones the checks need): the headers a batch shares are parsed and matched once,
# not once per file, and the findings are the same (scripts/run-clang-tidy.sh). Alone: beside
# the tests it would take the processor time that the tests' simulated devices need to answer
# within the loader's time-outs; beside a build it would only share the processors the build
# keeps busy.
stage "clang-tidy"
scripts/run-clang-tidy.sh build || status=1
run_tree build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1" -DVOR_SANITIZE=ON -DVOR_BENCH=OFF \
  -DVOR_UNITY=ON
# The sessions of a production line and a station, the window's workflow thread, the record
# delivery: every layer where threads meet, end to end included. -O1 as the sanitizer advises.
run_tree build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DVOR_TSAN=ON -DVOR_BENCH=OFF -DVOR_UNITY=ON -DVOR_TEST_LAYERS="platform;app;device;cli;window;sim"

# The terminal front end cross-built for Windows, its unit tests and its end-to-end tests run
# under Wine against the simulator of the Linux tree.
if [ -x scripts/windows/test.sh ]; then
  stage "windows"
  # From scratch, as every tree here: a compiler cache left on the machine would hide the time
  # a fresh clone needs.
  CCACHE_DISABLE=1 scripts/windows/test.sh build || status=1
fi
if [ -x scripts/run-fuzz.sh ]; then
  stage "fuzz targets (short runs)"
  scripts/run-fuzz.sh || status=1
fi
if [ -x scripts/check-package.sh ]; then
  stage "package"
  scripts/check-package.sh build || status=1
fi
stage ""
echo "== time per stage"
printf '%s\n' "${timings[@]}"
printf '%5d s  in all\n' "$SECONDS"

if [ $status -ne 0 ]; then echo "test.sh: FAILED"; else echo "test.sh: all passed"; fi
exit $status
