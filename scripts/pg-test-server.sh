#!/usr/bin/env bash
# A throwaway PostgreSQL server for the record database tests.
#   pg-test-server.sh start DIR   makes a cluster in DIR (a new or empty folder), starts it with
#                                 its Unix socket in DIR/socket and no TCP port, and prints the
#                                 superuser's connection string
#   pg-test-server.sh stop DIR    stops it (quietly when it is not running)
# The server runs as an unprivileged user: the caller, or "vorpg" (made when missing) when the
# caller is root. The superuser logs in without a password on the socket; every other role
# logs in with its password, so the tests can check a wrong one.
set -euo pipefail

action=${1:-}
dir=${2:-}
[ -n "$action" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }

bin=${PG_BIN:-}
if [ -z "$bin" ]; then
  for candidate in /usr/lib/postgresql/*/bin; do
    [ -x "$candidate/initdb" ] && bin=$candidate
  done
fi
[ -n "$bin" ] && [ -x "$bin/pg_ctl" ] || { echo "pg-test-server: no PostgreSQL server programs found" >&2; exit 1; }

run_as() {  # runs a command as the server's user
  if [ "$(id -u)" -eq 0 ]; then runuser -u vorpg -- "$@"; else "$@"; fi
}

case "$action" in
  start)
    if [ "$(id -u)" -eq 0 ] && ! id vorpg >/dev/null 2>&1; then
      useradd --system --no-create-home --shell /usr/sbin/nologin vorpg
    fi
    mkdir -p "$dir/socket"
    dir=$(cd "$dir" && pwd)
    if [ "$(id -u)" -eq 0 ]; then chown -R vorpg "$dir"; fi
    chmod 0755 "$dir" "$dir/socket"
    super=$(run_as id -un)
    run_as "$bin/initdb" -D "$dir/data" -U "$super" --auth-local=trust --auth-host=reject \
      -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    cat >"$dir/data/pg_hba.conf" <<HBA
local all $super trust
local all all scram-sha-256
HBA
    run_as "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
      -o "-c listen_addresses= -c unix_socket_directories=$dir/socket -c fsync=off" start >/dev/null \
      || { cat "$dir/server.log" >&2; exit 1; }
    echo "host=$dir/socket user=$super dbname=postgres"
    ;;
  stop)
    [ -f "$dir/data/postmaster.pid" ] || exit 0
    run_as "$bin/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null || true
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2; exit 2
    ;;
esac
