#!/usr/bin/env bash
# Installs what is missing, checks the house format, builds, and runs every test: once in a
# normal tree (then clang-tidy over it), once with AddressSanitizer and UndefinedBehaviorSanitizer;
# then the fuzz targets briefly and the package check. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
JOBS=${JOBS:-$(nproc)}

./scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:suppressions=$ROOT/scripts/asan.supp}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0

# A throwaway PostgreSQL server for the record database tests, stopped however this script ends.
PG_DIR=$(mktemp -d "${TMPDIR:-/tmp}/vor-pg.XXXXXX")
stop_pg() { scripts/pg-test-server.sh stop "$PG_DIR" || true; rm -rf "$PG_DIR"; }
trap stop_pg EXIT
echo "== PostgreSQL test server"
if VORLOADER_TEST_PG=$(scripts/pg-test-server.sh start "$PG_DIR"); then
  export VORLOADER_TEST_PG
else
  echo "test.sh: the PostgreSQL test server did not start"; status=1
fi

echo "== format"
if ! scripts/check-format.sh; then status=1; fi

run_tree() {  # name, extra cmake args...
  local dir=$1; shift
  echo "== configure and build: $dir"
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  echo "== tests: $dir"
  if ! ctest --test-dir "$dir" --output-on-failure -j "$JOBS" --timeout 600; then status=1; fi
}

run_tree build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== clang-tidy"
if ! scripts/run-clang-tidy.sh build; then status=1; fi
run_tree build-asan -DCMAKE_BUILD_TYPE=Debug -DVOR_SANITIZE=ON -DVOR_BENCH=OFF

if [ -x scripts/run-fuzz.sh ]; then
  echo "== fuzz targets (short runs)"
  scripts/run-fuzz.sh || status=1
fi
if [ -x scripts/check-package.sh ]; then
  echo "== package"
  scripts/check-package.sh build || status=1
fi

if [ $status -ne 0 ]; then echo "test.sh: FAILED"; else echo "test.sh: all passed"; fi
exit $status
