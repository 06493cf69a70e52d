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

readonly stop_timeout_tenths=50
workdir=$(mktemp -d "${TMPDIR:-/tmp}/with-xvfb.XXXXXX")
xvfb_pid=
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

terminate() {
    local pid=$1 i
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < stop_timeout_tenths; i++)); do
        is_running "$pid" || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

cleanup() {
    if [[ -n $command_pid ]]; then terminate "$command_pid"; fi
    if [[ -n $xvfb_pid ]]; then terminate "$xvfb_pid"; fi
    rm -rf "$workdir"
}

# Bash runs this also when INT, TERM or HUP ends the script.
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number, followed by a newline, to the fd once it
# accepts connections; that is what makes parallel runs safe.
mkfifo "$workdir/displayfd"
# 96 dpi, as an X server reports by default and a desktop at 100 % sets: Xvfb's own default of
# 100 dpi would make every Qt program here run at 104 %.
# Its output goes to a file: killed with the test, the script could leave the server holding
# the caller's pipe.
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 -dpi 96 \
    3>"$workdir/displayfd" >"$workdir/xvfb.log" 2>&1 </dev/null &
xvfb_pid=$!
display_number=
read -r -t 10 display_number <"$workdir/displayfd" || true
if [[ ! $display_number =~ ^[0-9]+$ ]]; then
    echo "${0##*/}: Xvfb reported no display within 10 s:" >&2
    cat "$workdir/xvfb.log" >&2
    exit 1
fi

export DISPLAY=":$display_number"
# Without a session bus, Qt's tray icon takes the XEmbed path that the tests can host.
unset DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM=xcb

# In the background so that signals reach the traps at once; a background command would otherwise
# read from /dev/null.
"$@" <&0 &
command_pid=$!
status=0
wait "$command_pid" || status=$?
command_pid=
exit "$status"
