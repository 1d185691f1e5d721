#!/bin/sh
# Builds the benchmark (RelWithDebInfo, into build/ or $BUILD_DIR) and runs it.
# Usage: scripts/bench.sh [rows]   (1000000 rows by default)
# SQLTOOL_BENCH_GROUPS="40" runs only the figure groups of these order numbers
# (on a small trade table, unless the rows are given).
set -eu
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/deps.sh"
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j2 --target sqltool_bench >/dev/null
exec "$BUILD_DIR/bin/sqltool_bench" "$@"
