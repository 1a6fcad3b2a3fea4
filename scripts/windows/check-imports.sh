#!/usr/bin/env bash
# Checks that Windows programs load only DLLs that every Windows 10 and later ships:
#   scripts/windows/check-imports.sh PROGRAM.exe...
# Prints each program's DLLs; exits 1 naming any other (a runtime left dynamic, say).
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: check-imports.sh PROGRAM.exe..." >&2; exit 2; }

SYSTEM_DLLS=" kernel32.dll advapi32.dll user32.dll gdi32.dll shell32.dll ole32.dll oleaut32.dll
  comctl32.dll comdlg32.dll shlwapi.dll setupapi.dll cfgmgr32.dll winhttp.dll bcrypt.dll crypt32.dll
  ws2_32.dll iphlpapi.dll version.dll ntdll.dll msvcrt.dll ucrtbase.dll uxtheme.dll dwmapi.dll "
SYSTEM_DLLS=" $(echo $SYSTEM_DLLS) "

status=0
for program in "$@"; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
  echo "$(basename "$program"): $(echo $dlls)"
  for dll in $dlls; do
    lower=$(echo "$dll" | tr '[:upper:]' '[:lower:]')
    case $lower in
      api-ms-win-*) continue ;;  # the universal C runtime's API sets
    esac
    if [[ $SYSTEM_DLLS != *" $lower "* ]]; then
      echo "check-imports: $(basename "$program") needs $dll, which Windows does not ship" >&2
      status=1
    fi
  done
done
exit $status
