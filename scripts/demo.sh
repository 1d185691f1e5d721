#!/bin/sh
# Builds the tool and starts it on a demo database: DEMO_ROWS (default
# 200000) generated trade rows in build/demo/sse.db behind the DSN "sse" of a
# private ODBC set-up, and dbset.ini beside the program. Log in with any
# password (SQLite ignores it). Nothing under /etc is changed.
#
# Beside the program the gateway stand-in (build/bin/gateway) plays the
# trading day on the same file: new orders and cancels, confirmations and
# fills arrive while the tool is open. It stops when the program exits;
# DEMO_LIVE=0 leaves it out. DEMO_GATEWAY_ARGS adds its switches, for
# example DEMO_GATEWAY_ARGS="--gap 200 --rate 5" (see gateway --help); its
# output goes to build/demo/gateway.log.
set -eu
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
ROWS="${DEMO_ROWS:-200000}"
LIVE="${DEMO_LIVE:-1}"
export BUILD_DIR
BUILD_TARGETS="QTRLKV gendata_tool gateway" "$ROOT/scripts/build.sh"
. "$ROOT/scripts/odbc.sh"

DEMO="$BUILD_DIR/demo"
# The file's kind and size: a file of an older kind is made again.
MARK="keyed $ROWS"
mkdir -p "$DEMO"
if [ ! -f "$DEMO/sse.db" ] || [ "$(cat "$DEMO/rows" 2>/dev/null)" != "$MARK" ]; then
  echo "Generating $ROWS trade rows into $DEMO/sse.db"
  rm -f "$DEMO/rows" "$DEMO/sse.db-wal" "$DEMO/sse.db-shm"
  "$BUILD_DIR/bin/gendata" --indexes "$DEMO/sse.db.new" "$ROWS"
  mv "$DEMO/sse.db.new" "$DEMO/sse.db"
  echo "$MARK" > "$DEMO/rows"
fi
write_odbc_config "$DEMO" "$DEMO/sse.db"
write_dbset "$BUILD_DIR/bin/dbset.ini"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: start this from a desktop session, or run scripts/screenshots.sh" >&2
  echo "to see every window as PNG files." >&2
  exit 1
fi
export ODBCSYSINI="$DEMO" ODBCINI="$DEMO/odbc.ini"
if [ "$LIVE" = 0 ]; then
  exec "$BUILD_DIR/bin/QTRLKV"
fi

# shellcheck disable=SC2086
"$BUILD_DIR/bin/gateway" --dsn sse ${DEMO_GATEWAY_ARGS:-} > "$DEMO/gateway.log" 2>&1 &
GATEWAY=$!
stop_gateway() {
  kill -TERM "$GATEWAY" 2>/dev/null || true
  wait "$GATEWAY" 2>/dev/null || true
}
trap stop_gateway EXIT
trap 'exit 130' INT TERM
echo "Gateway stand-in running (process $GATEWAY, output in $DEMO/gateway.log)"
status=0
"$BUILD_DIR/bin/QTRLKV" || status=$?
exit "$status"
