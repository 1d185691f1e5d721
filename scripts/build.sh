#!/bin/sh
# Configures and builds the project into build/ (or $BUILD_DIR) with -j2;
# BUILD_TARGETS limits the build to the named targets.
set -eu
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/deps.sh"
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
if [ -n "${BUILD_TARGETS:-}" ]; then
  # shellcheck disable=SC2086
  cmake --build "$BUILD_DIR" -j2 --target $BUILD_TARGETS
else
  cmake --build "$BUILD_DIR" -j2
fi
