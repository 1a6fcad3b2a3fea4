#!/usr/bin/env bash
# Installs what is missing, builds, and starts the loader window with the given arguments.
#   ./run.sh [--x N]     the loader
#   ./run.sh --demo      the whole workflow against the simulated device and a local server
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ "${1:-}" = "--demo" ]; then
  shift
  exec scripts/demo.sh build "$@"
fi
exec build/window/vorloader "$@"
