#!/usr/bin/env bash
# Installs what is missing, builds and runs every test, each on a private virtual X server.
#   scripts/test.sh               the normal build, in build/, and its tests; then Qt for
#                                 Windows (built once, scripts/build-qt-windows.sh), the Windows
#                                 build in build-windows/ and its tests under wine
#   scripts/test.sh --linux-only  the normal build and its tests alone
#   scripts/test.sh --sanitize    with AddressSanitizer and UBSan, in build-sanitize/ (Linux only)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--sanitize" ]; then
  scripts/install-deps.sh
  export BUILD_DIR=build-sanitize
  scripts/build.sh -DHLX_SANITIZE=ON
  cd "$BUILD_DIR"
  exec ctest --output-on-failure --parallel "$(nproc)" --timeout 300
fi

if [ "${1:-}" = "--linux-only" ]; then
  scripts/install-deps.sh
else
  scripts/install-deps.sh --windows
fi
BUILD_DIR=build scripts/build.sh
(cd build && ctest --output-on-failure --parallel "$(nproc)" --timeout 300)
[ "${1:-}" = "--linux-only" ] && exit 0

started=$SECONDS
scripts/build-qt-windows.sh
qt_seconds=$((SECONDS - started))

started=$SECONDS
BUILD_DIR=build-windows scripts/build.sh -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
build_seconds=$((SECONDS - started))

echo "Windows: Qt for Windows ${qt_seconds} s, Windows build ${build_seconds} s"
cd build-windows
ctest --output-on-failure --timeout 600
