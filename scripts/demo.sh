#!/usr/bin/env bash
# The whole workflow with no hardware and no network: a simulated device on a pseudo-terminal
# as COM1, a local web server with a catalogue and an encrypted firmware newer than the device's,
# a fresh program data folder, and the loader window pointed at them. Everything it starts ends
# when the window closes.
#   scripts/demo.sh BUILD_DIR [loader arguments]
set -euo pipefail
BUILD=${1:?usage: demo.sh BUILD_DIR [args]}
shift
SIM=$BUILD/sim/vornet-sim
PACK=$BUILD/tools/vornet-pack
HTTPD=$BUILD/tests/support/http/vor-test-httpd
LOADER=${VORLOADER_DEMO_LOADER:-$BUILD/window/vorloader}
for exe in "$SIM" "$PACK" "$HTTPD" "$LOADER"; do
  [ -x "$exe" ] || { echo "demo: $exe is missing; build first" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vornet-demo.XXXXXX")
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

mkdir -p "$WORK/com" "$WORK/programdata"
# The runs of the simulated device are recorded here, never in the user's record file.
export VORLOADER_HISTORY="$WORK/records/history.jsonl"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$WORK/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
fi

# The maker's side: an encrypted firmware 1.80 for product 0a1b (the device runs 1.20), the web
# server and the catalogue that names it.
. "$(dirname "$0")/lib/firmware-server.sh"
start_firmware_server "$WORK" 32768

# The device: COM1, 57600 baud, firmware 1.20, paced like a real line.
"$SIM" --com-dir "$WORK/com" --port 1 --rates 57600 --label "VORnet Amp V1.20" --code 0a1b \
  --pace --erase-ms 1500 --restart-ms 1500 --banner-length 75 > "$WORK/sim.pty" &
PIDS+=($!)
for _ in $(seq 100); do [ -s "$WORK/sim.pty" ] && break; sleep 0.05; done
[ -s "$WORK/sim.pty" ] || { echo "demo: the simulator did not start" >&2; exit 1; }

echo "demo: device on COM1 ($(head -n1 "$WORK/sim.pty")), firmware server at $URL"
VORLOADER_COM_DIR="$WORK/com" VORLOADER_PROGRAMDATA="$WORK/programdata" VORLOADER_UPDATE_URL="$URL" \
  "$LOADER" "$@"
