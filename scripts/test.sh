#!/bin/sh
# Builds everything and runs every test; then builds the tests again with
# AddressSanitizer and UndefinedBehaviorSanitizer into build-sanitize/ (or
# $SANITIZE_BUILD_DIR) and runs every test there, where any report fails;
# then the tests of the layers below the windows (tests/base, db, export,
# flow) with ThreadSanitizer in build-tsan/
# (or $TSAN_BUILD_DIR). SANITIZE=0 runs only the normal suite, SANITIZE=1
# only the sanitizer ones; TSAN=0 leaves out ThreadSanitizer.
set -eu
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SANITIZE="${SANITIZE:-both}"

if [ "$SANITIZE" != 1 ]; then
  BUILD_DIR="${BUILD_DIR:-$ROOT/build}" "$ROOT/scripts/build.sh"
  (cd "${BUILD_DIR:-$ROOT/build}" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)
fi

if [ "$SANITIZE" != 0 ]; then
  SANITIZE_BUILD_DIR="${SANITIZE_BUILD_DIR:-$ROOT/build-sanitize}"
  # -O1 with line tables: quicker to build than the normal build, still fast to run.
  BUILD_DIR="$SANITIZE_BUILD_DIR" "$ROOT/scripts/build.sh" -DSQLTOOL_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" "-DCMAKE_C_FLAGS_DEBUG=-O1 -g1"
  (cd "$SANITIZE_BUILD_DIR" && QT_QPA_PLATFORM=offscreen QTEST_DISABLE_STACK_DUMP=1 ctest --output-on-failure -j2)
fi

if [ "$SANITIZE" != 0 ] && [ "${TSAN:-1}" != 0 ]; then
  TSAN_BUILD_DIR="${TSAN_BUILD_DIR:-$ROOT/build-tsan}"
  TSAN_TESTS="$(cd "$ROOT/tests" && sed -n 's/^sqltool_add_test(NAME \([A-Za-z0-9_]*\).*/\1/p' \
    base/CMakeLists.txt db/CMakeLists.txt export/CMakeLists.txt flow/CMakeLists.txt)"
  # shellcheck disable=SC2086
  BUILD_DIR="$TSAN_BUILD_DIR" BUILD_TARGETS="$(echo $TSAN_TESTS)" "$ROOT/scripts/build.sh" -DSQLTOOL_TSAN=ON \
    -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" "-DCMAKE_C_FLAGS_DEBUG=-O1 -g1"
  (cd "$TSAN_BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 \
    -R "^($(echo $TSAN_TESTS | tr ' ' '|'))\$")
fi
