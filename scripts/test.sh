#!/usr/bin/env bash
# Installs what is missing, builds and runs every test, each on a private virtual X server.
#   scripts/test.sh               the normal build, in build/
#   scripts/test.sh --sanitize    with AddressSanitizer and UBSan, in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

if [ "${1:-}" = "--sanitize" ]; then
  export BUILD_DIR=build-sanitize
  scripts/build.sh -DHLX_SANITIZE=ON
else
  export BUILD_DIR=build
  scripts/build.sh
fi
cd "$BUILD_DIR"
ctest --output-on-failure --parallel "$(nproc)" --timeout 300
