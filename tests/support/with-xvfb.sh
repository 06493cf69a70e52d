#!/usr/bin/env bash
# Usage: with-xvfb.sh COMMAND [ARGS...]
#
# Runs COMMAND against a private Xvfb, so GUI tests get real X events and never share a display
# with each other under ctest -j. Exits with COMMAND's exit status.
set -euo pipefail

if (($# == 0)); then
    echo "usage: ${0##*/} COMMAND [ARGS...]" >&2
    exit 2
fi
# shellcheck source=private-x-server.sh
source "$(dirname "$(realpath "$0")")/private-x-server.sh"
open_x_session

# 96 dpi, as an X server reports by default and a desktop at 100 % sets: Xvfb's own default of
# 100 dpi would make every Qt program here run at 104 %.
start_x_server Xvfb -screen 0 1280x1024x24 -dpi 96
export QT_QPA_PLATFORM=xcb
run_x_client "$@"
