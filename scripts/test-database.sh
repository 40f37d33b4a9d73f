#!/usr/bin/env bash
# A private PostgreSQL cluster for the tests of the central records, in a folder of its own:
#
#   scripts/test-database.sh start DIR   initdb (once) and start (again on its earlier port
#                                        when that is free); prints the port and the
#                                        ODBC connection string, and writes them to DIR/port and
#                                        DIR/connection.txt
#   scripts/test-database.sh stop DIR    stops the cluster of DIR, nothing else (immediate: the
#                                        server as a crashed or unplugged one would go away)
#   scripts/test-database.sh status DIR  exit 0 while the cluster of DIR runs
#
# The server listens on 127.0.0.1 only, on a port that was free when it started, with its
# socket in DIR/socket, and takes password logins (SCRAM) for the role kn_records on the
# database kn_records. It refuses to run as root, so root runs it as the postgres system user
# (the postgresql package's own); anyone else runs it as themselves.
set -euo pipefail

usage() { echo "usage: $0 start|stop|status DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
action=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)

bin=/usr/lib/postgresql/15/bin
[ -x "$bin/pg_ctl" ] || { echo "test-database: PostgreSQL 15 is not installed ($bin)" >&2; exit 1; }

data="$dir/data"
socket="$dir/socket"
role=kn_records
database=kn_records

if [ "$(id -u)" = 0 ]; then
  server_user=postgres
  as_server() { runuser -u "$server_user" -- "$@"; }
else
  server_user=$(id -un)
  as_server() { "$@"; }
fi

running() { [ -f "$data/postmaster.pid" ] && as_server "$bin/pg_ctl" status -D "$data" >/dev/null 2>&1; }

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

write_connection() {
  local port=$1 password
  password=$(cat "$dir/password")
  echo "$port" >"$dir/port"
  printf 'Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%s;Database=%s;Uid=%s;Pwd=%s;\n' \
    "$port" "$database" "$role" "$password" >"$dir/connection.txt"
  echo "KN_TEST_DB_PORT=$port"
  echo "KN_TEST_DB_CONNECTION=$(cat "$dir/connection.txt")"
}

start() {
  if running; then
    write_connection "$(cat "$dir/port")"
    return 0
  fi
  # The server's own folders; the rest of DIR stays the caller's.
  mkdir -p "$data" "$socket"
  chown "$server_user" "$data" "$socket" 2>/dev/null || true
  chmod 700 "$data" "$socket"
  if [ ! -f "$data/PG_VERSION" ]; then
    [ -f "$dir/password" ] || (umask 077; od -An -N12 -tx1 /dev/urandom | tr -d ' \n' >"$dir/password")
    local pwfile="$socket/initdb-password"
    # initdb's superuser gets the same password: only the socket (trust, in a folder of the
    # server user's alone) and password logins on 127.0.0.1 reach the server.
    cat "$dir/password" >"$pwfile" && chown "$server_user" "$pwfile"
    as_server "$bin/initdb" -D "$data" -U kn_admin --pwfile="$pwfile" -E UTF8 --locale=C.UTF-8 \
      --auth-local=trust --auth-host=scram-sha-256 >"$dir/initdb.log" 2>&1 ||
      { rm -f "$pwfile"; cat "$dir/initdb.log" >&2; exit 1; }
    rm -f "$pwfile"
  fi
  local attempt port=""
  for attempt in 1 2 3 4 5; do
    # A restarted server takes its port again, so a connection string given out stays good.
    if [ "$attempt" = 1 ] && [ -f "$dir/port" ]; then port=$(cat "$dir/port"); else port=$(free_port); fi
    if as_server "$bin/pg_ctl" start -D "$data" -w -t 60 -l "$data/server.log" \
        -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$socket" >/dev/null 2>&1; then
      break
    fi
    port=""  # taken meanwhile by someone else: another one
  done
  [ -n "$port" ] || { echo "test-database: the server did not start (see $data/server.log)" >&2; exit 1; }
  local psql=(as_server "$bin/psql" -X -q -h "$socket" -p "$port" -U kn_admin -v ON_ERROR_STOP=1)
  if [ -z "$("${psql[@]}" -d postgres -tAc "SELECT 1 FROM pg_roles WHERE rolname = '$role'")" ]; then
    "${psql[@]}" -d postgres -c "CREATE ROLE $role LOGIN PASSWORD '$(cat "$dir/password")'"
    "${psql[@]}" -d postgres -c "CREATE DATABASE $database OWNER $role ENCODING 'UTF8'"
  fi
  write_connection "$port"
}

stop() {
  running || return 0
  as_server "$bin/pg_ctl" stop -D "$data" -m immediate -w -t 60 >/dev/null
}

case "$action" in
  start) start ;;
  stop) stop ;;
  status) running ;;
  *) usage ;;
esac
