#!/bin/bash
# The bash completion of vorloader-cli: commands, options, and after --port the ports the
# program lists. Usage: bash_completion_test.sh COMPLETION_FILE FOLDER_OF_vorloader-cli
set -u
completion=$1
export PATH="$2:$PATH"
failures=0

# Completes the words given (the last one is being typed) and prints the candidates sorted.
complete_words() {
  COMP_WORDS=(vorloader-cli "$@")
  COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))
  COMPREPLY=()
  _vorloader_cli
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

expect() {  # expected, then the words
  local want=$1; shift
  local got
  got=$(complete_words "$@")
  if [ "$got" != "$want" ]; then
    echo "FAIL: vorloader-cli $* -> '$got', expected '$want'"
    failures=$((failures + 1))
  fi
}

bash -n "$completion" || { echo "FAIL: syntax"; exit 1; }
# shellcheck disable=SC1090
source "$completion"

comdir=$(mktemp -d)
trap 'rm -rf "$comdir"' EXIT
export VORLOADER_COM_DIR=$comdir

expect "check connect" c
expect "raw-boot report" r
expect "check connect history ports raw-boot report station sync" ""
expect "history" h
expect "station sync" s
expect "" check ""                       # one command only
expect "" history ""
expect "" report ""
expect "hour" report --by h
expect "operator" --by o
expect "station" --by st
expect "--since --skip-port" --s
expect "--by" --b
expect "--all-ports --allow-older --allow-reload" --al
expect "--record --record-db" --rec
expect "--skip-port" --sk
expect "--allow-older --allow-reload" --allow
expect "--keep-untagged" --k
expect "--offline" --off
expect "--quiet" --q
expect "--profile" --pro
expect "--operator" --op
expect "--work-order" --wo
expect "" --operator ""
expect "" --work-order A
# After --profile: TOML files and the folders that may hold them.
profiles=$(mktemp -d)
mkdir "$profiles/sub"
touch "$profiles/line3.toml" "$profiles/notes.txt"
expect "$profiles/line3.toml $profiles/sub" --profile "$profiles/"
rm -rf "$profiles"
expect "1 10 11 12 13 14 15" --x 1
# Adapters plugged into this machine show up by their stable names too.
serial=$( { compgen -G "/dev/serial/by-id/*"; compgen -G "/dev/serial/by-path/*"; } | sort | tr '\n' ' ' | sed 's/ $//')
expect "$serial" --port ""               # no port listed
# Terminals at COM7 and COM8: the program lists them.
python3 - "$comdir" <<'PY' &
import os, pty, sys, time
ends = [pty.openpty() for _ in range(2)]
for (master, slave), name in zip(ends, ["COM7", "COM8"]):
    os.symlink(os.ttyname(slave), os.path.join(sys.argv[1], name))
open(os.path.join(sys.argv[1], "ready"), "w").close()
time.sleep(20)
PY
helper=$!
for _ in $(seq 100); do [ -e "$comdir/ready" ] && break; sleep 0.05; done
expect "$(printf '%s\n' COM7 COM8 $serial | sort | tr '\n' ' ' | sed 's/ $//')" --port ""
expect "COM7 COM8" --port CO
# A port already named is not offered again.
expect "COM8" --port COM7 --port CO
expect "COM7" --skip-port COM8 --port CO
expect "COM8" --port = COM7 --skip-port CO   # --port=COM7 as bash splits it
kill "$helper" 2>/dev/null
wait "$helper" 2>/dev/null

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "bash completion: all cases pass"
