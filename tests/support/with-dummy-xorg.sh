#!/usr/bin/env bash
# Usage: with-dummy-xorg.sh COMMAND [ARGS...]
#
# Runs COMMAND against a private Xorg with the dummy video driver (xorg-dummy.conf): unlike
# Xvfb's single screen, its outputs are RandR outputs with properties, which wine reads as
# monitors, EDID included. Xorg takes a configuration file from any folder only when run as
# root, as CI runs. Exits with COMMAND's exit status.
set -euo pipefail

if (($# == 0)); then
    echo "usage: ${0##*/} COMMAND [ARGS...]" >&2
    exit 2
fi
if ((EUID != 0)); then
    echo "${0##*/}: Xorg with a configuration of ours needs root" >&2
    exit 1
fi
here=$(dirname "$(realpath "$0")")
# shellcheck source=private-x-server.sh
source "$here/private-x-server.sh"
open_x_session

# -noreset matters here: every wine session's last client leaves the server.
start_x_server Xorg -config "$here/xorg-dummy.conf" -logfile "$x_workdir/xorg.log"
run_x_client "$@"
