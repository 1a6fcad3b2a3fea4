#!/usr/bin/env bash
# Runs the firmware image benchmark twice: against OpenSSL's default AES path, then with
# AES-NI masked so that OpenSSL falls back to its software implementation.
#   bench/image/run.sh [build-dir] [benchmark options...]
# The machine is shared, so each figure is the median of interleaved repetitions.
set -euo pipefail
BUILD=${1:-build}
shift || true
BIN="$BUILD/bench/image/image_bench"
OPTS=(--benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
      --benchmark_report_aggregates_only=true "$@")
[ -x "$BIN" ] || { echo "run.sh: $BIN not built (cmake --build $BUILD --target image_bench)" >&2; exit 1; }

echo "== OpenSSL default path"
env -u OPENSSL_ia32cap "$BIN" "${OPTS[@]}"
echo
echo "== OpenSSL with AES-NI masked"
OPENSSL_ia32cap="~0x200000200000000" "$BIN" "${OPTS[@]}"
