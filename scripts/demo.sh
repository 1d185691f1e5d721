#!/bin/sh
# Builds the tool and starts it on a demo database: DEMO_ROWS (default
# 200000) generated trade rows in build/demo/sse.db behind the DSN "sse" of a
# private ODBC set-up, and dbset.ini beside the program. Log in with any
# password (SQLite ignores it). Nothing under /etc is changed.
set -eu
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
ROWS="${DEMO_ROWS:-200000}"
export BUILD_DIR
BUILD_TARGETS="QTRLKV gendata_tool" "$ROOT/scripts/build.sh"
. "$ROOT/scripts/odbc.sh"

DEMO="$BUILD_DIR/demo"
mkdir -p "$DEMO"
if [ ! -f "$DEMO/sse.db" ] || [ "$(cat "$DEMO/rows" 2>/dev/null)" != "$ROWS" ]; then
  echo "Generating $ROWS trade rows into $DEMO/sse.db"
  rm -f "$DEMO/rows"
  "$BUILD_DIR/bin/gendata" "$DEMO/sse.db.new" "$ROWS"
  mv "$DEMO/sse.db.new" "$DEMO/sse.db"
  echo "$ROWS" > "$DEMO/rows"
fi
write_odbc_config "$DEMO" "$DEMO/sse.db"
write_dbset "$BUILD_DIR/bin/dbset.ini"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: start this from a desktop session, or run scripts/screenshots.sh" >&2
  echo "to see every window as PNG files." >&2
  exit 1
fi
ODBCSYSINI="$DEMO" ODBCINI="$DEMO/odbc.ini" exec "$BUILD_DIR/bin/QTRLKV"
