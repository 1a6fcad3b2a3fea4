#!/bin/sh
# Runs the Windows platform tests (built by build-standalone.sh, or the CMake target
# platform_windows_tests) under Wine, with a looped-back COM5 (echo_peer.py behind a
# pseudo-terminal) and a web server on 127.0.0.1 (http_fixture.py):
#   tests/platform_windows/run-under-wine.sh EXE [GTEST ARGS...]
# The Wine prefix is $WINEPREFIX, else .wine-test in the source tree (made on first use).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=$1
shift
export WINEPREFIX="${WINEPREFIX:-$root/.wine-test}"
export WINEDEBUG="${WINEDEBUG:--all}"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
work=$(mktemp -d)
pids=""
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

[ -d "$WINEPREFIX" ] || "$wine" wineboot -i >/dev/null 2>&1 || true
# Wine names its COM ports after this registry key when its server starts, and keeps only
# those whose device is there then: the far end is made first, the server started after.
python3 "$here/echo_peer.py" "$work/COM5" &
pids="$pids $!"
python3 "$here/http_fixture.py" "$work/http-port" &
pids="$pids $!"
for _ in $(seq 50); do [ -e "$work/COM5" ] && [ -s "$work/http-port" ] && break; sleep 0.1; done
"$wineserver" -k >/dev/null 2>&1 || true
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$work/COM5" /f >/dev/null 2>&1
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w >/dev/null 2>&1 || true
VORLOADER_TEST_COM_PORT=5 VORLOADER_TEST_HTTP_BASE="http://127.0.0.1:$(cat "$work/http-port")" \
  "$wine" "$exe" "$@" && rc=0 || rc=$?
exit $rc
