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

workdir=$(mktemp -d "${TMPDIR:-/tmp}/with-dummy-xorg.XXXXXX")
server_pid=
command_pid=

# Asks bash's own job table: unlike kill -0, it cannot mistake an unrelated process that reused
# the pid for our child.
is_running() {
    local pid
    for pid in $(jobs -rp); do
        [[ $pid == "$1" ]] && return 0
    done
    return 1
}

stop() {
    local pid=$1 i
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
        is_running "$pid" || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# Bash runs this also when INT, TERM or HUP ends the script.
cleanup() {
    if [[ -n $command_pid ]]; then stop "$command_pid"; fi
    if [[ -n $server_pid ]]; then stop "$server_pid"; fi
    rm -rf "$workdir"
}
trap cleanup EXIT

# As with Xvfb: the server picks a free display and reports it on the fd; -noreset keeps it
# when its last client leaves, as every wine session's does here.
mkfifo "$workdir/displayfd"
Xorg -displayfd 3 -noreset -nolisten tcp -config "$(dirname "$(realpath "$0")")/xorg-dummy.conf" \
    -logfile "$workdir/xorg.log" 3>"$workdir/displayfd" >"$workdir/xorg.out" 2>&1 </dev/null &
server_pid=$!
display_number=
read -r -t 10 display_number <"$workdir/displayfd" || true
if [[ ! $display_number =~ ^[0-9]+$ ]]; then
    echo "${0##*/}: Xorg reported no display within 10 s:" >&2
    cat "$workdir/xorg.out" "$workdir/xorg.log" >&2 2>/dev/null || true
    exit 1
fi

export DISPLAY=":$display_number"
unset DBUS_SESSION_BUS_ADDRESS
"$@" <&0 &
command_pid=$!
status=0
wait "$command_pid" || status=$?
command_pid=
exit "$status"
