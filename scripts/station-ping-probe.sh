#!/usr/bin/env bash
# How responsive the station window stays with every panel programming, measured from outside
# its process: under Xvfb, eight simulated devices on COM1..COM8 (paced at the line rate) and a
# local firmware server, `vorloader --station` is started and its Start pressed (Return), and
# bench/window's window_ping_probe pings the window as a window manager does (_NET_WM_PING)
# while the eight images stream. Prints the probe's line (pings, lost, median, p99 and max
# round trip in ms) and how many devices were streaming when it began and ended.
# With --idle, Start is not pressed: the same window with nothing streaming, for the baseline.
# Not part of test.sh (it takes about half a minute).
#   scripts/station-ping-probe.sh [--idle] BUILD_DIR [SECONDS]     (default SECONDS: 15)
set -euo pipefail
IDLE=0
if [ "${1:-}" = "--idle" ]; then IDLE=1; shift; fi
BUILD=$(cd "${1:?usage: station-ping-probe.sh [--idle] BUILD_DIR [SECONDS]}" && pwd)
SECONDS_PINGED=${2:-15}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SIM=$BUILD/sim/vornet-sim
PACK=$BUILD/tools/vornet-pack
HTTPD=$BUILD/tests/support/http/vor-test-httpd
LOADER=$BUILD/window/vorloader
PROBE=$BUILD/bench/window/window_ping_probe
for exe in "$SIM" "$PACK" "$HTTPD" "$LOADER" "$PROBE"; do
  [ -x "$exe" ] || { echo "station-ping-probe: $exe is missing; build first" >&2; exit 1; }
done
command -v Xvfb >/dev/null && command -v xdotool >/dev/null ||
  { echo "station-ping-probe: needs Xvfb and xdotool (scripts/install-deps.sh)" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vor-ping.XXXXXX")
PIDS=()
stop_all() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  PIDS=()
}
trap 'stop_all; rm -rf "$WORK"' EXIT INT TERM
export VORLOADER_HISTORY="$WORK/records/history.jsonl"
export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

. "$ROOT/scripts/lib/xvfb.sh"
start_xvfb "$WORK" 1280x900x24
PIDS+=("$XVFB_PID")

# Images long enough that all eight still stream while the probe runs.
. "$ROOT/scripts/lib/firmware-server.sh"
start_firmware_server "$WORK" 196608

mkdir -p "$WORK/com" "$WORK/programdata"
for port in 1 2 3 4 5 6 7 8; do
  "$SIM" --com-dir "$WORK/com" --port "$port" --rates 57600 --code 0a1b --id "00002cc$port" --pace \
    --banner-length 75 --erase-ms 500 --restart-ms 500 --transcript "$WORK/com/sim$port.jsonl" \
    >"$WORK/com/sim$port.pty" &
  PIDS+=($!)
done
for port in 1 2 3 4 5 6 7 8; do
  for _ in $(seq 100); do [ -s "$WORK/com/sim$port.pty" ] && break; sleep 0.05; done
done

VORLOADER_COM_DIR="$WORK/com" VORLOADER_PROGRAMDATA="$WORK/programdata" VORLOADER_UPDATE_URL="$URL" \
  "$LOADER" --station >"$WORK/loader.log" 2>&1 &
LOADER_PID=$!
PIDS+=($LOADER_PID)
for _ in $(seq 300); do xdotool search --onlyvisible --name '^VORnet Loader Station$' >/dev/null 2>&1 && break; sleep 0.1; done
WIN=$(xdotool search --onlyvisible --name '^VORnet Loader Station$' | head -n1)
[ -n "$WIN" ] || { echo "station-ping-probe: the station window did not show" >&2; exit 1; }
xdotool windowfocus --sync "$WIN" 2>/dev/null || true
if [ "$IDLE" -eq 1 ]; then
  sleep 3
  "$PROBE" --name 'VORnet Loader Station' --seconds "$SECONDS_PINGED" --every-ms 50
  exit 0
fi
xdotool key Return  # Start, the window's default button

streaming() {  # how many devices have had their flash erased and not yet restarted
  local n=0 port
  for port in 1 2 3 4 5 6 7 8; do
    if grep -q '"kind":"erased"' "$WORK/com/sim$port.jsonl" 2>/dev/null &&
      ! grep -q '"kind":"restart"' "$WORK/com/sim$port.jsonl" 2>/dev/null; then n=$((n + 1)); fi
  done
  echo "$n"
}
for _ in $(seq 600); do [ "$(streaming)" -eq 8 ] && break; sleep 0.1; done
echo "station-ping-probe: streaming at the start: $(streaming) of 8"
"$PROBE" --name 'VORnet Loader Station' --seconds "$SECONDS_PINGED" --every-ms 50
echo "station-ping-probe: streaming at the end: $(streaming) of 8"
