#!/usr/bin/env bash
# Runs the Windows build of the terminal front end under Wine:
#   scripts/windows/run.sh OUT [vorloader-cli arguments...]
# OUT is the folder scripts/windows/build.sh made (OUT/vorloader-cli.exe). The Wine prefix is
# kept in OUT/wine, made on first use (later starts are quick). At each start the prefix's COM
# ports (dosdevices/comN) are pointed at $VORLOADER_COM_DIR/COMn when that folder is set, so the
# simulator's links serve as COM1..COM32 (a port without a link there is taken away). The
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

# The prefix, made once; several runs starting at the same moment make it together once.
if [ ! -e "$WINEPREFIX/.vorloader-ready" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -e "$WINEPREFIX/.vorloader-ready" ]; then
      wineboot --init >/dev/null 2>&1 || { echo "run.sh: wineboot could not make $WINEPREFIX" >&2; exit 1; }
      wineserver --wait
      touch "$WINEPREFIX/.vorloader-ready"
    fi
  ) 9>"$OUT/.wine-prefix.lock"
fi

# The COM ports: the links of $VORLOADER_COM_DIR, exactly.
if [ -n "${VORLOADER_COM_DIR:-}" ]; then
  for n in $(seq 1 32); do
    link=$WINEPREFIX/dosdevices/com$n
    if [ -e "$VORLOADER_COM_DIR/COM$n" ] || [ -L "$VORLOADER_COM_DIR/COM$n" ]; then
      ln -sfn "$VORLOADER_COM_DIR/COM$n" "$link"
    else
      rm -f "$link"
    fi
  done
fi

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
