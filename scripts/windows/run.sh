#!/usr/bin/env bash
# Runs the Windows build of the terminal front end under Wine:
#   scripts/windows/run.sh OUT [vorloader-cli arguments...]
# OUT is the folder scripts/windows/build.sh made (OUT/vorloader-cli.exe). The Wine prefix is
# kept in OUT/wine, made on first use (later starts are quick). At each start the prefix's COM
# ports COM1..COM32 are pointed at $VORLOADER_COM_DIR/COMn, so the simulator's links serve as
# COM ports (unset: the Linux build's default devices, /dev/ttyS0.. and so on). One COM folder
# at a time per prefix: runs at the same moment share it. The
# environment passes through; VORLOADER_PROGRAMDATA and VORLOADER_HISTORY given as Linux paths
# are handed over as the same places on Wine's Z: drive. The exit status is the program's.
#   VORLOADER_WINE_EXE=NAME.exe  runs OUT/NAME.exe instead (a test program, the installer).
set -euo pipefail
OUT=${1:?usage: run.sh OUT [ARGS...]}
shift
OUT=$(cd "$OUT" && pwd)
EXE=$OUT/${VORLOADER_WINE_EXE:-vorloader-cli.exe}
[ -f "$EXE" ] || { echo "run.sh: $EXE is missing; build it with scripts/windows/build.sh $OUT" >&2; exit 127; }
command -v wine >/dev/null || { echo "run.sh: wine is not installed (apt-get install wine64 wine)" >&2; exit 127; }

export WINEPREFIX=$OUT/wine
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64
# No installer of the .NET runtime or the HTML engine pops up: the programs need neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Wine gives each COM port the path its registry names (HKLM\Software\Wine\Ports, read at
# every start of the prefix; without it, it numbers the machine's own serial ports itself).
# Here COMn is always OUT/wine/com-links/COMn, and com-links is the COM folder of this start.
LINKS=$WINEPREFIX/com-links
ports_registry() {
  printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
  for n in $(seq 1 32); do printf '"COM%d"="%s/COM%d"\r\n' "$n" "$LINKS" "$n"; done
}

# The prefix, made once; several runs starting at the same moment make it together once.
if [ "$(cat "$WINEPREFIX/.vorloader-ready" 2>/dev/null)" != "$LINKS" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ "$(cat "$WINEPREFIX/.vorloader-ready" 2>/dev/null)" != "$LINKS" ]; then
      wineboot --init >/dev/null 2>&1 || { echo "run.sh: wineboot could not make $WINEPREFIX" >&2; exit 1; }
      ports_registry >"$WINEPREFIX/ports.reg"
      wine regedit /S "$WINEPREFIX/ports.reg" >/dev/null 2>&1 || { echo "run.sh: cannot set the COM ports" >&2; exit 1; }
      # Without VORLOADER_COM_DIR, the ports are those the Linux build uses by default.
      mkdir -p "$WINEPREFIX/default-com"
      for n in $(seq 1 8); do ln -sfn "/dev/ttyS$((n - 1))" "$WINEPREFIX/default-com/COM$n"; done
      for n in $(seq 9 24); do ln -sfn "/dev/ttyUSB$((n - 9))" "$WINEPREFIX/default-com/COM$n"; done
      for n in $(seq 25 32); do ln -sfn "/dev/ttyACM$((n - 25))" "$WINEPREFIX/default-com/COM$n"; done
      wineserver --wait
      echo "$LINKS" >"$WINEPREFIX/.vorloader-ready"
    fi
  ) 9>"$OUT/.wine-prefix.lock" || exit 1
fi

# The COM ports of this start: the links of $VORLOADER_COM_DIR, exactly (a port without a link
# there is not there, as on Linux).
ln -sfn "${VORLOADER_COM_DIR:-$WINEPREFIX/default-com}" "$LINKS"
for n in $(seq 1 32); do ln -sfn "$LINKS/COM$n" "$WINEPREFIX/dosdevices/com$n"; done

# A Linux path as Wine's Z: drive shows it (Z:\ is /).
windows_path() {
  case $1 in
    /*) printf 'Z:%s' "${1//\//\\}" ;;
    *) printf '%s' "$1" ;;
  esac
}
for name in VORLOADER_PROGRAMDATA VORLOADER_HISTORY; do
  if [ -n "${!name:-}" ]; then export "$name=$(windows_path "${!name}")"; fi
done

# exec: a signal sent to this script reaches the program itself (Wine turns SIGINT into the
# console's Ctrl-C).
exec wine "$EXE" "$@"
