#!/bin/sh
# The Transact-SQL check of the statements the tool sends to a database
# server: the grammar of node-sql-parser (dialect TransactSQL, npm), run by
# Node.js.
#
#   scripts/tsqlcheck.sh install FOLDER   installs the parser into FOLDER with
#                                         npm (once); when that cannot be done,
#                                         says why in FOLDER/unavailable and
#                                         succeeds unless CI=true
#   scripts/tsqlcheck.sh check FOLDER FILE
#                                         checks every line of FILE, one
#                                         statement a line; fails on any that
#                                         is not Transact-SQL
set -eu
HERE="$(cd "$(dirname "$0")" && pwd)"
COMMAND="${1:-}"
FOLDER="${2:-}"
[ -n "$COMMAND" ] && [ -n "$FOLDER" ] || { sed -n '2,14p' "$0" >&2; exit 2; }
PARSER_VERSION=5.4.0
mkdir -p "$FOLDER"
FOLDER="$(cd "$FOLDER" && pwd)"

unavailable() {
  echo "$*" > "$FOLDER/unavailable"
  echo "Transact-SQL check unavailable, it will be skipped: $*"
  [ "${CI:-}" != "true" ] || { echo "CI=true: failing instead of skipping" >&2; exit 1; }
  exit 0
}

case "$COMMAND" in
install)
  rm -f "$FOLDER/unavailable"
  [ -f "$FOLDER/node_modules/node-sql-parser/package.json" ] && exit 0
  command -v node >/dev/null 2>&1 || unavailable "node not found (install nodejs)"
  command -v npm >/dev/null 2>&1 || unavailable "npm not found (install npm)"
  if ! npm install --prefix "$FOLDER" --no-audit --no-fund --no-save "node-sql-parser@$PARSER_VERSION" \
       >"$FOLDER/npm.log" 2>&1; then
    unavailable "npm install node-sql-parser@$PARSER_VERSION failed: $(tail -n 2 "$FOLDER/npm.log")"
  fi
  ;;
check)
  [ $# -ge 3 ] || { echo "usage: check FOLDER FILE" >&2; exit 2; }
  NODE_PATH="$FOLDER/node_modules" exec node "$HERE/tsqlcheck.js" "$3"
  ;;
*)
  echo "tsqlcheck: unknown command $COMMAND" >&2
  exit 2
  ;;
esac
