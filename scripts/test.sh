#!/usr/bin/env bash
# Installs what is missing, builds and runs every test, each on a private virtual X server.
#   scripts/test.sh               the normal build, in build/, then the Windows build of the
#                                 platform layer in build-windows/, its tests under wine
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

scripts/install-deps.sh --windows
BUILD_DIR=build scripts/build.sh
(cd build && ctest --output-on-failure --parallel "$(nproc)" --timeout 300)

BUILD_DIR=build-windows scripts/build.sh -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
cd build-windows
ctest --output-on-failure --timeout 300
