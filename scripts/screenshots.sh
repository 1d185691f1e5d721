#!/bin/sh
# scripts/screenshots.sh [FOLDER]: builds the screenshot tool and runs it
# under Xvfb on a small generated database; one PNG per window, menu and box
# goes into FOLDER (default build/screenshots).
set -eu
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
export BUILD_DIR
BUILD_TARGETS="screenshots gendata_tool" "$ROOT/scripts/build.sh"
. "$ROOT/scripts/odbc.sh"

FOLDER="${1:-$BUILD_DIR/screenshots}"
mkdir -p "$FOLDER"
FOLDER="$(cd "$FOLDER" && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
"$BUILD_DIR/bin/gendata" --indexes "$WORK/sse.db" 3000 7
write_odbc_config "$WORK" "$WORK/sse.db"
TOOL="$BUILD_DIR/tools/screenshots/screenshots"
write_dbset "$(dirname "$TOOL")/dbset.ini"
rm -f "$FOLDER"/*.png
ODBCSYSINI="$WORK" ODBCINI="$WORK/odbc.ini" QT_QPA_PLATFORM=xcb QT_FONT_DPI=96 \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$TOOL" "$FOLDER"
echo "Screenshots in $FOLDER"
