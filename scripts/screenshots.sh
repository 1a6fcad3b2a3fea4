#!/usr/bin/env bash
# Screenshots of the loader window as a person sees it, for the README and for reviewing the
# window: a real X server (Xvfb), the simulated device on COM1 and a local firmware server, as
# in the demo. Not part of test.sh.
#   scripts/screenshots.sh BUILD_DIR [OUTPUT_DIR]     (default OUTPUT_DIR: /tmp/vor-shots)
# Writes:
#   1-load-hex-now.png   the "Load Hex Now?" box with what it is about
#   2-streaming.png      the image stream: main status and the progress bar
#   3-programmed.png     the end of a good run
#   4-erase-failed.png   a device that never answers the erase command (E13)
#   5-port-tooltip.png   the port list's tooltip
#   6-station.png        the station window mid-run: devices programmed, programming, failed
set -euo pipefail
BUILD=$(cd "${1:?usage: screenshots.sh BUILD_DIR [OUTPUT_DIR]}" && pwd)
OUT=${2:-/tmp/vor-shots}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SIM=$BUILD/sim/vornet-sim
PACK=$BUILD/tools/vornet-pack
HTTPD=$BUILD/tests/support/http/vor-test-httpd
LOADER=$BUILD/window/vorloader
for exe in "$SIM" "$PACK" "$HTTPD" "$LOADER"; do
  [ -x "$exe" ] || { echo "screenshots: $exe is missing; build first" >&2; exit 1; }
done

# The tools this script alone needs: an X server, a screen grabber, a keyboard.
tools=(xvfb imagemagick xdotool)
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

mkdir -p "$OUT"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/vor-shots.XXXXXX")
PIDS=()
stop_all() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  PIDS=()
}
trap 'stop_all; rm -rf "$WORK"' EXIT INT TERM
# The runs of the simulated device are recorded here, never in the user's record file.
export VORLOADER_HISTORY="$WORK/records/history.jsonl"

export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

. "$ROOT/scripts/lib/xvfb.sh"
start_xvfb "$WORK" 900x620x24

shot() {  # name
  sleep 0.3  # let the window paint
  import -window root "$OUT/$1.png"
  echo "screenshots: $OUT/$1.png"
}
wait_for_window() {  # title pattern, seconds
  local i
  for i in $(seq $(($2 * 10))); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "screenshots: no window named '$1' within $2 s" >&2
  return 1
}
wait_for_exit() {  # pid, seconds
  local i
  for i in $(seq $(($2 * 10))); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# The maker's side: catalogue and an encrypted firmware 1.80 (the device runs 1.20).
. "$ROOT/scripts/lib/firmware-server.sh"
start_firmware_server "$WORK" 65536

run_loader() {  # run name, simulator options...
  local name=$1
  shift
  mkdir -p "$WORK/$name/com" "$WORK/$name/programdata"
  "$SIM" --com-dir "$WORK/$name/com" --port 1 --rates 57600 --code 0a1b \
    --transcript "$WORK/$name/sim.jsonl" "$@" >"$WORK/$name/sim.pty" &
  SIM_PID=$!
  for _ in $(seq 100); do [ -s "$WORK/$name/sim.pty" ] && break; sleep 0.05; done
  VORLOADER_COM_DIR="$WORK/$name/com" VORLOADER_PROGRAMDATA="$WORK/$name/programdata" \
    VORLOADER_UPDATE_URL="$URL" "$LOADER" >"$WORK/$name/loader.log" 2>&1 &
  LOADER_PID=$!
}
wait_for_event() {  # run name, transcript kind, seconds: the simulator has seen it
  local i
  for i in $(seq $(($3 * 10))); do
    grep -q "\"kind\":\"$2\"" "$WORK/$1/sim.jsonl" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "screenshots: the device saw no $2 within $3 s" >&2
  return 1
}
wait_for_close_after() {  # run name, transcript kind, seconds: the loader closed the port after it
  local i
  for i in $(seq $(($3 * 10))); do
    sed -n "/\"kind\":\"$2\"/,\$p" "$WORK/$1/sim.jsonl" 2>/dev/null | grep -q '"kind":"close"' && return 0
    sleep 0.1
  done
  echo "screenshots: the loader did not close the port after $2 within $3 s" >&2
  return 1
}
end_loader() {
  kill -TERM "$LOADER_PID" 2>/dev/null || true
  wait_for_exit "$LOADER_PID" 10 || kill -TERM "$LOADER_PID" 2>/dev/null || true
  wait "$LOADER_PID" 2>/dev/null || true
  kill "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true
}

# A good run: the question, the stream, the end.
run_loader good --pace --erase-ms 1500 --restart-ms 1000 --banner-length 75
wait_for_window '^vorloader$' 30
shot 1-load-hex-now
xdotool key Return
wait_for_event good erased 60
sleep 3
shot 2-streaming
wait_for_event good restart 300
sleep 2
shot 3-programmed
# The port list's tooltip: hover the combo box (33,57 dialog units: near the window's left top).
WIN=$(xdotool search --onlyvisible --name '^VORLoader V1.70$' | head -n1)
if [ -n "$WIN" ]; then
  eval "$(xdotool getwindowgeometry --shell "$WIN")"
  # Tooltips show in the active window only; without a window manager, focus makes it so.
  xdotool windowfocus --sync "$WIN" 2>/dev/null || true
  xdotool mousemove $((X + 75)) $((Y + 100))
  sleep 1.5
  xdotool mousemove $((X + 76)) $((Y + 101))
  sleep 1.5
  shot 5-port-tooltip
fi
end_loader

# A device that never answers the erase command.
run_loader erase-fault --erase-ms 300 --restart-ms 500 --banner-length 75 --no-erase-reply
wait_for_window '^vorloader$' 30
xdotool key Return
wait_for_close_after erase-fault erase 120
sleep 1
shot 4-erase-failed
end_loader

kill "$XVFB_PID" 2>/dev/null || true
wait "$XVFB_PID" 2>/dev/null || true

# The station window mid-run, on a screen its four columns fit: two devices quick to program,
# two streaming at the line rate, one that never answers the erase command.
start_xvfb "$WORK" 1140x650x24
mkdir -p "$WORK/station/com" "$WORK/station/programdata"
station_device() {  # port, simulator options...: its transcript in WORK/station-PORT
  local port=$1
  shift
  mkdir -p "$WORK/station-$port"
  "$SIM" --com-dir "$WORK/station/com" --port "$port" --rates 57600 --code 0a1b --id "00002cc$port" \
    --banner-length 75 --erase-ms 300 --restart-ms 300 --transcript "$WORK/station-$port/sim.jsonl" "$@" \
    >"$WORK/station-$port/sim.pty" &
  PIDS+=($!)
  for _ in $(seq 100); do [ -s "$WORK/station-$port/sim.pty" ] && break; sleep 0.05; done
}
station_device 1
station_device 2
station_device 3 --pace
station_device 4 --pace
station_device 5 --no-erase-reply
VORLOADER_COM_DIR="$WORK/station/com" VORLOADER_PROGRAMDATA="$WORK/station/programdata" \
  VORLOADER_UPDATE_URL="$URL" "$LOADER" --station >"$WORK/station/loader.log" 2>&1 &
LOADER_PID=$!
wait_for_window '^VORnet Loader Station$' 30
WIN=$(xdotool search --onlyvisible --name '^VORnet Loader Station$' | head -n1)
xdotool windowfocus --sync "$WIN" 2>/dev/null || true
xdotool key Return  # Start, the window's default button
for port in 1 2; do wait_for_event "station-$port" restart 60 || true; done
wait_for_close_after station-5 erase 60 || true
shot 6-station  # while the failure is red, before the silent device counts as gone
kill -TERM "$LOADER_PID" 2>/dev/null || true
sleep 0.5
kill -TERM "$LOADER_PID" 2>/dev/null || true  # the second answers "Quit anyway?" Yes
wait_for_exit "$LOADER_PID" 10 || kill -KILL "$LOADER_PID" 2>/dev/null || true
wait "$LOADER_PID" 2>/dev/null || true
stop_all
kill "$XVFB_PID" 2>/dev/null || true
wait "$XVFB_PID" 2>/dev/null || true
echo "screenshots: done, in $OUT"
