#!/usr/bin/env bash
# Runs the Windows build of the loader's window under Wine:
#   scripts/windows/run-window.sh OUT [vorloader arguments...]
# exactly as scripts/windows/run.sh runs the terminal front end (the same Wine prefix in
# OUT/wine, COM ports pointed at $VORLOADER_COM_DIR/COMn, environment passed through); the
# window shows on the caller's DISPLAY. The exit status is the program's.
set -euo pipefail
[ -n "${DISPLAY:-}" ] || { echo "run-window.sh: DISPLAY is not set; the window needs an X display (Xvfb will do)" >&2; exit 2; }
VORLOADER_WINE_EXE=vorloader.exe exec "$(dirname "$0")/run.sh" "$@"
