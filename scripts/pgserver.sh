#!/bin/sh
# A private PostgreSQL server on 127.0.0.1 for the tests and for trying the
# tool against a client/server database (packages postgresql and
# odbc-postgresql). Nothing under /etc is changed.
#
#   scripts/pgserver.sh start FOLDER    new cluster on a free port; FOLDER gets
#                                       odbcinst.ini and odbc.ini (DSN "pgsse")
#   scripts/pgserver.sh stop FOLDER     stops the server, removes its cluster
#   scripts/pgserver.sh halt FOLDER     stops it at once (-m immediate)
#   scripts/pgserver.sh restart FOLDER  starts it again after halt
#   scripts/pgserver.sh freeze FOLDER   SIGSTOP to every server process
#   scripts/pgserver.sh thaw FOLDER     SIGCONT to them
#   scripts/pgserver.sh sql FOLDER DATABASE SQL
#                                       runs SQL as the superuser, prints the
#                                       rows as text separated by "|"
#   scripts/pgserver.sh fixture-start FOLDER
#                                       start; when the server cannot start,
#                                       says why in FOLDER/unavailable and
#                                       succeeds unless CI=true
#
# Database "sse" holds the three interface tables, typed as a SQL Server
# deployment types them, and a few thousand generated rows; the login is
# qtrl with the password qtrl. As root the server runs as "postgres": its
# cluster lives in a folder of /tmp owned by that account.
set -eu
HERE="$(cd "$(dirname "$0")" && pwd)"
COMMAND="${1:-}"
FOLDER="${2:-}"
[ -n "$COMMAND" ] && [ -n "$FOLDER" ] || { sed -n '2,24p' "$0" >&2; exit 2; }
mkdir -p "$FOLDER"
FOLDER="$(cd "$FOLDER" && pwd)"
STATE="$FOLDER/server.env"
USER_PASSWORD=qtrl

fail() {
  echo "pgserver: $*" >&2
  exit 1
}

server_bin() {
  dir="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
  if [ -z "$dir" ] && command -v initdb >/dev/null 2>&1; then
    dir="$(dirname "$(readlink -f "$(command -v initdb)")")"
  fi
  [ -n "$dir" ] && [ -x "$dir/initdb" ] && [ -x "$dir/psql" ] || fail "initdb not found (install postgresql)"
  echo "$dir"
}

odbc_driver() {
  for f in /usr/lib/*/odbc/psqlodbcw.so /usr/lib/odbc/psqlodbcw.so /usr/lib64/psqlodbcw.so \
           /usr/local/lib/psqlodbcw.so; do
    [ -f "$f" ] && { echo "$f"; return 0; }
  done
  fail "psqlodbcw.so not found (install odbc-postgresql)"
}

# Runs a command as the server's account (postgres when we are root).
as_server() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

load_state() {
  [ -f "$STATE" ] || fail "no server in $FOLDER"
  # shellcheck disable=SC1090
  . "$STATE"
}

pg_ctl_run() {
  as_server "$BIN/pg_ctl" -D "$DATA/db" -l "$DATA/server.log" "$@"
}

# Starts the cluster on PORT, trying further ports while one is taken.
start_on_free_port() {
  tries=0
  port=$((20000 + $$ % 20000))
  while [ $tries -lt 20 ]; do
    if pg_ctl_run -w -t 30 -o "-p $port" start >/dev/null 2>&1; then
      PORT=$port
      return 0
    fi
    tries=$((tries + 1))
    port=$((port + 97))
  done
  return 1
}

psql_run() {
  db="$1"
  shift
  PGPASSWORD= "$BIN/psql" -X -q -h "$DATA" -p "$PORT" -U postgres -d "$db" -v ON_ERROR_STOP=1 "$@"
}

server_pids() {
  [ -f "$DATA/db/postmaster.pid" ] || return 0
  main="$(head -n 1 "$DATA/db/postmaster.pid")"
  echo "$main"
  cat /proc/[0-9]*/stat 2>/dev/null | awk -v p="$main" '$4 == p { print $1 }' || true
}

start() {
  [ ! -f "$STATE" ] || fail "a server is already set up in $FOLDER (stop it first)"
  BIN="$(server_bin)"
  DRIVER="$(odbc_driver)"
  if [ "$(id -u)" -eq 0 ]; then
    id postgres >/dev/null 2>&1 || fail "running as root, but there is no postgres account"
  fi
  DATA="$(mktemp -d /tmp/sqltool-pg.XXXXXX)"
  # The cluster's folder must be the server account's own: a clone under
  # /root and a mktemp folder (0700) are out of its reach otherwise.
  [ "$(id -u)" -ne 0 ] || chown postgres: "$DATA"
  printf 'DATA=%s\nBIN=%s\nPORT=\n' "$DATA" "$BIN" > "$STATE"
  echo "sqltool-admin" > "$DATA/superuser"
  [ "$(id -u)" -ne 0 ] || chown postgres: "$DATA/superuser"
  as_server "$BIN/initdb" -D "$DATA/db" -U postgres -E UTF8 --locale=C --auth-local=trust \
    --auth-host=scram-sha-256 --pwfile="$DATA/superuser" >"$DATA/initdb.log" 2>&1 \
    || fail "initdb failed: $(tail -n 3 "$DATA/initdb.log")"
  cat >> "$DATA/db/postgresql.conf" <<EOF
listen_addresses = '127.0.0.1'
unix_socket_directories = '$DATA'
max_connections = 30
shared_buffers = 32MB
fsync = off
full_page_writes = off
EOF
  start_on_free_port || fail "the server did not start: $(tail -n 3 "$DATA/server.log" 2>/dev/null)"
  printf 'DATA=%s\nBIN=%s\nPORT=%s\n' "$DATA" "$BIN" "$PORT" > "$STATE"
  psql_run postgres -c "create role qtrl login password '$USER_PASSWORD'" \
    -c "create database sse owner qtrl"
  psql_run sse -f "$HERE/pgserver.sql"
  printf '[PostgreSQL Unicode]\nDescription=PostgreSQL ODBC driver\nDriver=%s\nThreading=2\n' \
    "$DRIVER" > "$FOLDER/odbcinst.ini"
  # The driver's default fetch settings: the whole result at execute.
  printf '[pgsse]\nDriver=PostgreSQL Unicode\nDescription=test server\nServername=127.0.0.1\nPort=%s\nDatabase=sse\n' \
    "$PORT" > "$FOLDER/odbc.ini"
  rm -f "$FOLDER/unavailable"
  echo "PostgreSQL on 127.0.0.1:$PORT (cluster $DATA); log in as qtrl/$USER_PASSWORD to DSN pgsse with"
  echo "  ODBCSYSINI=$FOLDER ODBCINI=$FOLDER/odbc.ini"
}

stop() {
  [ -f "$STATE" ] || return 0
  load_state
  for pid in $(server_pids); do kill -CONT "$pid" 2>/dev/null || true; done
  pg_ctl_run -m immediate stop >/dev/null 2>&1 || true
  case "$DATA" in /tmp/sqltool-pg.*) rm -rf "$DATA" ;; esac
  rm -f "$STATE" "$FOLDER/odbc.ini" "$FOLDER/odbcinst.ini" "$FOLDER/unavailable"
}

case "$COMMAND" in
start)
  start
  ;;
fixture-start)
  stop
  if ! (start) 2>"$FOLDER/start.log"; then
    reason="$(tail -n 4 "$FOLDER/start.log")"
    stop
    echo "$reason" > "$FOLDER/unavailable"
    echo "PostgreSQL server unavailable, its tests will be skipped: $reason"
    [ "${CI:-}" != "true" ] || { echo "CI=true: failing instead of skipping" >&2; exit 1; }
  fi
  ;;
stop)
  stop
  ;;
halt)
  load_state
  pg_ctl_run -m immediate stop >/dev/null
  ;;
restart)
  load_state
  pg_ctl_run -w -t 30 -o "-p $PORT" start >/dev/null
  ;;
freeze | thaw)
  load_state
  signal=STOP
  [ "$COMMAND" = thaw ] && signal=CONT
  for pid in $(server_pids); do kill -"$signal" "$pid" 2>/dev/null || true; done
  ;;
sql)
  load_state
  [ $# -ge 4 ] || fail "usage: sql FOLDER DATABASE SQL"
  psql_run "$3" -At -F '|' -c "$4"
  ;;
*)
  fail "unknown command $COMMAND"
  ;;
esac
