#!/usr/bin/env bash
# The Windows stage of ./test.sh: cross-builds the terminal front end and its unit tests, runs
# the unit tests under Wine, then the program end to end under Wine against simulated devices
# behind its COM ports and a local firmware server, beside the Linux build in the same
# situations (the same log lines and exit codes), and last the installer.
#   scripts/windows/test.sh LINUX_BUILD_DIR
# LINUX_BUILD_DIR holds the Linux programs it needs: the simulator, the packing tool, the web
# server and vorloader-cli. The Windows build goes to $VORLOADER_WINDOWS_OUT (default
# build-windows). Exits non-zero on any failure; prints how long it took.
set -uo pipefail
STARTED=$SECONDS
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
LINUX=$(cd "${1:?usage: test.sh LINUX_BUILD_DIR}" && pwd)
OUT=${VORLOADER_WINDOWS_OUT:-$ROOT/build-windows}
JOBS=${JOBS:-$(nproc)}

SIM=$LINUX/sim/vornet-sim
PACK=$LINUX/tools/vornet-pack
HTTPD=$LINUX/tests/support/http/vor-test-httpd
LINUX_CLI=$LINUX/cli/vorloader-cli
for exe in "$SIM" "$PACK" "$HTTPD" "$LINUX_CLI"; do
  [ -x "$exe" ] || { echo "windows/test.sh: $exe is missing; build the Linux tree first" >&2; exit 1; }
done

failures=0
passes=0
# How long each part took, for the summary.
part_start=$SECONDS
parts=()
part() {  # NAME: the part that begins now
  [ -n "${part_name:-}" ] && parts+=("$(printf '%4d s  %s' $((SECONDS - part_start)) "$part_name")")
  part_name=$1 part_start=$SECONDS
  [ -n "$1" ] && echo "== Windows: $1"
}
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; passes=$((passes + 1)); }

part "cross-build"
if ! VORLOADER_WINDOWS_TESTS=1 JOBS=$JOBS "$ROOT/scripts/windows/build.sh" "$OUT"; then
  echo "windows/test.sh: the Windows build failed"
  printf 'windows/test.sh: %d s\n' $((SECONDS - STARTED))
  exit 1
fi
OUT=$(cd "$OUT" && pwd)
RUN=$ROOT/scripts/windows/run.sh

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vor-windows.XXXXXX")
PIDS=()
export WINEPREFIX=$OUT/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
# The records of the runs here stay here.
export VORLOADER_HISTORY=""

part "the Wine prefix"
# The prefix (made on first use) and one Wine server for the whole stage: each start is quick.
"$RUN" "$OUT" --version >/dev/null || { echo "windows/test.sh: Wine cannot run the program"; exit 1; }
wineserver -p 120

part "unit tests under Wine"
if ctest --test-dir "$OUT/build" -L windows --output-on-failure -j "$JOBS" --timeout 120; then
  pass "unit tests"
else
  fail "unit tests"
fi

part "end to end under Wine"
# The maker's side: an encrypted firmware 1.80 for product 0a1b behind a local web server.
. "$ROOT/scripts/lib/firmware-server.sh"
start_firmware_server "$WORK" 16384 || exit 1

case_dir=""
# A fresh world for one case: its COM folder and program data folder.
new_case() {
  case_dir=$WORK/$1
  mkdir -p "$case_dir/com" "$case_dir/programdata"
}
# A simulated device on COM`port` of the current case (firmware 1.20 of product 0a1b), quick to
# erase and restart; more simulator options after the port.
start_device() {
  local port=$1
  shift
  "$SIM" --com-dir "$case_dir/com" --port "$port" --rates 57600 --label "VORnet Amp V1.20" --code 0a1b \
    --erase-ms 20 --restart-ms 50 --banner-length 75 --transcript "$case_dir/COM$port.jsonl" "$@" \
    >"$case_dir/sim$port.out" 2>&1 &
  PIDS+=($!)
  for _ in $(seq 100); do [ -e "$case_dir/com/COM$port" ] && break; sleep 0.05; done
  [ -e "$case_dir/com/COM$port" ] || { echo "windows/test.sh: the simulator did not start on COM$port"; return 1; }
}
stop_devices() {
  for pid in "${PIDS[@]:1}"; do kill "$pid" 2>/dev/null || true; done
  PIDS=("${PIDS[0]}")
}
# Whether the device on COM`port` logged an event of `kind` ("restart", "close", ...).
device_logged() { grep -q "\"kind\":\"$2\"" "$case_dir/COM$1.jsonl" 2>/dev/null; }
wait_for_device() {  # port kind seconds
  for _ in $(seq $(($3 * 20))); do device_logged "$1" "$2" && return 0; sleep 0.05; done
  return 1
}
# The program in the current case: Windows (under Wine) or Linux, with the case's ports, program
# data and the local server; standard output and error in $case_dir/NAME.out and .err, without
# the carriage returns of Windows line ends; its status in $status.
status=0
run_cli() {  # windows|linux NAME ARGS...
  local system=$1 name=$2
  shift 2
  local program=("$RUN" "$OUT")
  [ "$system" = linux ] && program=("$LINUX_CLI")
  VORLOADER_COM_DIR=$case_dir/com VORLOADER_PROGRAMDATA=$case_dir/programdata-$system VORLOADER_UPDATE_URL=$URL \
    timeout 120 "${program[@]}" "$@" </dev/null >"$case_dir/$name.raw.out" 2>"$case_dir/$name.raw.err"
  status=$?
  tr -d '\r' <"$case_dir/$name.raw.out" >"$case_dir/$name.out"
  tr -d '\r' <"$case_dir/$name.raw.err" >"$case_dir/$name.err"
}
show() {  # NAME: what the run printed, for a failure
  echo "--- $1: standard output"; cat "$case_dir/$1.out"
  echo "--- $1: standard error"; cat "$case_dir/$1.err"
}
# One situation on both systems, each with fresh devices (made by `devices`): the Windows
# program must print the same standard output and end with the same status as the Linux one.
# EXPECTED_STATUS "failure": any status but 0, the same on both.
same_as_linux() {  # NAME EXPECTED_STATUS "DEVICES COMMAND" ARGS...
  local name=$1 expected=$2 devices=$3
  shift 3
  new_case "$name"
  local linux_status windows_status
  eval "$devices" || { fail "$name: devices"; return 1; }
  run_cli linux linux "$@"
  linux_status=$status
  stop_devices
  mv "$case_dir/COM1.jsonl" "$case_dir/linux-COM1.jsonl" 2>/dev/null
  eval "$devices" || { fail "$name: devices"; return 1; }
  run_cli windows windows "$@"
  windows_status=$status
  # "failure": whichever failure code the Linux program gives.
  if [ "$expected" = failure ] && [ "$linux_status" -ne 0 ]; then expected=$linux_status; fi
  if [ "$windows_status" != "$expected" ] || [ "$linux_status" != "$expected" ]; then
    fail "$name: exit status Windows $windows_status, Linux $linux_status, expected $expected"
    show windows
    show linux
    return 1
  fi
  if ! diff -u "$case_dir/linux.out" "$case_dir/windows.out" >"$case_dir/diff"; then
    fail "$name: standard output differs from Linux"
    cat "$case_dir/diff"
    show windows
    return 1
  fi
  pass "$name (exit $expected, the same log as on Linux)"
}

# A whole Connect: catalogue, download, the device programmed with the image from the server.
if same_as_linux connect 0 "start_device 1" --yes --port COM1; then
  if ! wait_for_device 1 restart 5 || ! grep -q '"kind":"restart".*"version":"1.80"' "$case_dir/COM1.jsonl"; then
    fail "connect: the device did not restart with the new firmware"
  fi
  grep -q "main: Program Loaded." "$case_dir/windows.err" || { fail "connect: no 'main: Program Loaded.'"; show windows; }
  # check over the firmware folder that Connect filled.
  run_cli windows check-after check
  if [ $status -ne 0 ] || ! grep -qx "All Files found and Correct." "$case_dir/check-after.out"; then
    fail "check after connect: exit $status"
    show check-after
  else
    pass "check (exit 0, All Files found and Correct.)"
  fi
fi
same_as_linux check 0 ":" check
same_as_linux raw-boot 0 "start_device 1 --raw-boot" --yes --port COM1 raw-boot
same_as_linux silent-device 2 "start_device 1 --silent" --yes --port COM1
same_as_linux erase-failure failure "start_device 1 --no-erase-reply" --yes --port COM1
same_as_linux ports 0 "start_device 2 && start_device 5" ports
if [ -f "$case_dir/windows.out" ] && ! grep -qx "COM5" "$case_dir/windows.out"; then fail "ports: COM5 not listed"; fi
stop_devices

# Three ports at once, a session on each.
new_case line
start_device 1 && start_device 2 && start_device 3
run_cli windows line --yes --port COM1 --port COM2 --port COM3
programmed=$(grep -c "Device Programed OK." "$case_dir/line.out")
if [ $status -ne 0 ] || [ "$programmed" -ne 3 ]; then
  fail "three-port line: exit $status, $programmed devices programmed"
  show line
else
  pass "three-port line (3 devices programmed, exit 0)"
fi
stop_devices

# A record database: not in this build, said as a usage error.
new_case no-record-db
run_cli windows record-db --record-db "host=db.example dbname=runs" --yes history
if [ $status -ne 64 ] || ! grep -q "no record database" "$case_dir/record-db.err"; then
  fail "--record-db: exit $status"
  show record-db
else
  pass "--record-db: usage error (64), this build has no record database"
fi
run_cli windows sync sync
if [ $status -ne 64 ] || ! grep -q "no record database" "$case_dir/sync.err"; then
  fail "sync: exit $status"
  show sync
else
  pass "sync: usage error (64), this build has no record database"
fi

# The manual as the help text.
run_cli windows help --help
if [ $status -ne 0 ] || ! grep -q "^EXIT STATUS" "$case_dir/help.out" || ! grep -q "^ENVIRONMENT" "$case_dir/help.out"; then
  fail "--help: exit $status, not the manual"
else
  pass "--help prints the manual"
fi

# Ctrl-C: Wine turns the SIGINT its process receives into the console's Ctrl-C event, which
# reaches the program's console control handler as a real Ctrl-C would.
new_case ctrl-c
start_device 1  # running firmware: it never sends a boot banner, so raw boot waits
VORLOADER_COM_DIR=$case_dir/com VORLOADER_PROGRAMDATA=$case_dir/programdata VORLOADER_UPDATE_URL=$URL \
  "$RUN" "$OUT" --yes --port COM1 raw-boot </dev/null >"$case_dir/ctrl-c.out" 2>"$case_dir/ctrl-c.err" &
cli=$!
for _ in $(seq 400); do grep -q "! Switch Device off." "$case_dir/ctrl-c.err" 2>/dev/null && break; sleep 0.05; done
sleep 0.3
kill -INT $cli 2>/dev/null
for _ in $(seq 200); do kill -0 $cli 2>/dev/null || break; sleep 0.05; done
if kill -0 $cli 2>/dev/null; then
  kill -KILL $cli 2>/dev/null
  fail "Ctrl-C: the program did not end"
fi
wait $cli
status=$?
if [ $status -ne 130 ] || grep -q "E0" "$case_dir/ctrl-c.out" || ! wait_for_device 1 close 5; then
  fail "Ctrl-C: exit $status (130 expected), port closed: $(device_logged 1 close && echo yes || echo no)"
  tr -d '\r' <"$case_dir/ctrl-c.err" | tail -5
else
  pass "Ctrl-C during raw boot: exit 130, the port let go"
fi
stop_devices

# A station: a device plugged in while it runs is programmed; one stop signal ends it (0).
new_case station
VORLOADER_COM_DIR=$case_dir/com VORLOADER_PROGRAMDATA=$case_dir/programdata VORLOADER_UPDATE_URL=$URL \
  "$RUN" "$OUT" --yes --port COM1 station </dev/null >"$case_dir/station.out" 2>"$case_dir/station.err" &
cli=$!
for _ in $(seq 400); do grep -q "COM1: waiting for a device" "$case_dir/station.err" 2>/dev/null && break; sleep 0.05; done
start_device 1
for _ in $(seq 600); do grep -q "Device Programed OK." "$case_dir/station.out" 2>/dev/null && break; sleep 0.05; done
kill -INT $cli 2>/dev/null
for _ in $(seq 200); do kill -0 $cli 2>/dev/null || break; sleep 0.05; done
kill -0 $cli 2>/dev/null && kill -KILL $cli 2>/dev/null
wait $cli
status=$?
if [ $status -ne 0 ] || ! grep -q "COM1: ID 11456 (VORnet Amp) V1.20 -> V1.80: -Device Programed OK." "$case_dir/station.out"; then
  fail "station: exit $status"
  tr -d '\r' <"$case_dir/station.out"
  tr -d '\r' <"$case_dir/station.err" | tail -5
else
  pass "station: a device plugged in while it ran was programmed; stopped with exit 0"
fi
stop_devices

part "the installer under Wine"
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$OUT/build/CMakeCache.txt")
SETUP=$OUT/vornet-loader-setup-$VERSION.exe
INSTALLED="$WINEPREFIX/drive_c/Program Files/VORnet Loader"
PROGRAMS="$WINEPREFIX/drive_c/Program Files"
before=$(ls "$PROGRAMS")
if ! wine "$SETUP" /S; then
  fail "installer: silent install"
elif [ ! -f "$INSTALLED/vorloader-cli.exe" ]; then
  fail "installer: nothing in $INSTALLED"
else
  new_case installed
  version=$(wine "C:\\Program Files\\VORnet Loader\\vorloader-cli.exe" --version | tr -d '\r')
  [ "$version" = "vorloader-cli $VERSION" ] || fail "installed --version: '$version'"
  # On the PATH: a new console finds it by name.
  wine cmd /c vorloader-cli --version >/dev/null 2>&1 || fail "installed: not on the PATH"
  mkdir -p "$case_dir/programdata-windows"
  VORLOADER_PROGRAMDATA="Z:${case_dir//\//\\}\\programdata-windows" VORLOADER_UPDATE_URL=$URL \
    wine "C:\\Program Files\\VORnet Loader\\vorloader-cli.exe" check >"$case_dir/check.out" 2>&1
  grep -q "All Files found and Correct." "$case_dir/check.out" || { fail "installed check"; cat "$case_dir/check.out"; }
  wine "C:\\Program Files\\VORnet Loader\\uninstall.exe" /S
  # The uninstaller runs from a copy of itself and returns at once: wait for it.
  for _ in $(seq 200); do [ -e "$INSTALLED" ] || break; sleep 0.1; done
  after=$(ls "$PROGRAMS")
  if [ -e "$INSTALLED" ] || [ "$before" != "$after" ]; then
    fail "uninstall left something in Program Files: $(ls -R "$INSTALLED" 2>/dev/null)"
  elif wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VORnetLoader' >/dev/null 2>&1; then
    fail "uninstall left its Apps & Features entry"
  else
    pass "installer: silent install, --version, check, silent uninstall leaving nothing in Program Files"
  fi
fi

# ---- The window (vorloader.exe) under Wine on an Xvfb display, read and driven from outside
# by window_probe.exe as a person would: the start-up lines, "Load Hex Now?" answered with Return (Yes, the
# device programmed) and No, the about box, and an erase failure with its texts.
part "the window under Wine"
# The stage's Wine server keeps the desktop it made for the terminal runs, without a display, and
# no window can be made on that one: the window's runs get a server of their own, whose desktop
# the first window makes on the Xvfb display. A server writes its objects out as it ends: not
# into this log.
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
wineserver -p 60 >/dev/null 2>&1
window_case() {  # NAME ANSWER END_TEXT DEVICE_OPTIONS...
  local name=$1 answer=$2 end=$3
  shift 3
  new_case "$name"
  start_device 1 "$@" || { fail "window $name: device"; return 1; }
  # --x 1: offline, so the firmware folder is the one the Connect case downloaded.
  cp -r "$WORK/connect/programdata-windows/." "$case_dir/programdata/" 2>/dev/null
  DISPLAY=$WINDOW_DISPLAY VORLOADER_COM_DIR=$case_dir/com VORLOADER_PROGRAMDATA=$case_dir/programdata \
    VORLOADER_UPDATE_URL=$URL timeout 60 "$ROOT/scripts/windows/run-window.sh" "$OUT" --x 1 \
    >"$case_dir/window.out" 2>&1 &
  local window=$!
  # The same COM folder: run.sh points the prefix's COM ports at it at every start.
  VORLOADER_WINE_EXE=window_probe.exe VORLOADER_COM_DIR=$case_dir/com DISPLAY=$WINDOW_DISPLAY \
    timeout 60 "$RUN" "$OUT" "$answer" "$end" 40 \
    </dev/null | tr -d '\r' >"$case_dir/probe.out"
  status=${PIPESTATUS[0]}
  for _ in $(seq 100); do kill -0 $window 2>/dev/null || break; sleep 0.1; done
  kill $window 2>/dev/null
  wait $window 2>/dev/null
  stop_devices
  if [ "$status" -ne 0 ]; then
    fail "window $name: the probe said: $(head -n1 "$case_dir/probe.out")"
    cat "$case_dir/probe.out"
    return 1
  fi
}
# Whether the probe's copy of the window shows `text` (a fixed string) in its section `part`.
window_shows() {  # PART TEXT
  sed -n "/^== $1\$/,/^== /p" "$case_dir/probe.out" | grep -qF -- "$2"
}
WINDOW_DISPLAY=""
if command -v Xvfb >/dev/null; then
  # Not in PIDS: stop_devices ends every process there but the first.
  Xvfb -displayfd 8 -screen 0 1280x1024x24 -nolisten tcp -noreset 8>"$WORK/xvfb.display" 2>/dev/null &
  XVFB=$!
  for _ in $(seq 100); do [ -s "$WORK/xvfb.display" ] && break; sleep 0.05; done
  [ -s "$WORK/xvfb.display" ] && WINDOW_DISPLAY=:$(head -n1 "$WORK/xvfb.display")
fi
if [ -z "$WINDOW_DISPLAY" ]; then
  fail "window: no Xvfb display (apt-get install xvfb)"
else
  if window_case window-yes return "Device Programed OK."; then
    if window_shows box "Load Hex Now?" && grep -qx "== box default: Yes" "$case_dir/probe.out" &&
      window_shows log "Com Ports Found." && window_shows "main status" "Program Loaded." &&
      grep -q '"kind":"restart".*"version":"1.80"' "$case_dir/COM1.jsonl"; then
      pass "window: start-up and Connect by themselves, \"Load Hex Now?\" (Yes the default) answered with Return, the device programmed"
    else
      fail "window yes: not the expected texts or the device not programmed"
      cat "$case_dir/probe.out"
    fi
  fi
  if window_case window-no no "E15-Load Cancelled by User."; then
    if window_shows "main status" ".." && ! grep -q '"kind":"erase' "$case_dir/COM1.jsonl"; then
      pass "window: \"Load Hex Now?\" answered No, nothing erased"
    else
      fail "window no: not the expected texts, or the device was erased"
      cat "$case_dir/probe.out"
    fi
  fi
  if window_case window-about about "Com Ports Found."; then
    if window_shows box "VORLoader, Version 1.1.0"; then
      pass "window: the about box from the window menu"
    else
      fail "window about: not the about box's texts"
      cat "$case_dir/probe.out"
    fi
  fi
  if window_case window-erase-failure yes "E13-Device Failed to Erase Flash." --no-erase-reply; then
    if window_shows "main status" "..Failed.." && window_shows "device status" ".." &&
      grep -q '"kind":"erase' "$case_dir/COM1.jsonl"; then
      pass "window: an erase failure with its texts"
    else
      fail "window erase failure: not the expected texts"
      cat "$case_dir/probe.out"
    fi
  fi
fi
[ -n "${XVFB:-}" ] && kill "$XVFB" 2>/dev/null

part ""
printf '%s\n' "${parts[@]}"
printf '== Windows stage: %d passed, %d failed, %d s\n' "$passes" "$failures" $((SECONDS - STARTED))
[ "$failures" -eq 0 ]
