#!/bin/sh
# Configures and builds the project into build/ (or $BUILD_DIR) with -j2.
set -eu
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/deps.sh"
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$BUILD_DIR" -j2
