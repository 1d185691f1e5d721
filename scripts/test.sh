#!/bin/sh
# Builds everything and runs every test.
set -eu
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
export BUILD_DIR
"$ROOT/scripts/build.sh"
cd "$BUILD_DIR"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
