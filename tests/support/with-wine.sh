#!/usr/bin/env bash
# Usage: with-wine.sh PROGRAM [ARGS...]
#
# Runs a Windows program under wine, on a private Xvfb (wine needs a display for message
# boxes and windows), in the prefix that WINEPREFIX names: made on first use, without the
# prompts for Mono and Gecko. Afterwards, and also when the run is ended early, every process
# of the prefix is ended, however it was started (through the shell, as a virtual desktop,
# after its display has gone), so the next run starts a wine server of its own on its own
# display. Shortcuts that a program makes stay inside the prefix: wine's menu builder, which
# would copy them into the Linux desktop's menus, is off. Exits with PROGRAM's status.
set -euo pipefail

if (($# == 0)); then
    echo "usage: ${0##*/} PROGRAM [ARGS...]" >&2
    exit 2
fi
: "${WINEPREFIX:?${0##*/}: WINEPREFIX must name the wine prefix to use}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

if [[ -z ${HLX_WINE_ON_XVFB:-} ]]; then
    export HLX_WINE_ON_XVFB=1
    exec "$(dirname "$0")/with-xvfb.sh" "$0" "$@"
fi

# Every wine process of the prefix carries its WINEPREFIX, also those that wine starts in
# sessions of their own (services, a virtual desktop's explorer), so that is what finds them;
# the scripts and the X server around them carry it too, but run no wine program.
prefix_processes() {
    local process
    for process in /proc/[0-9]*; do
        [[ -O $process && $(readlink "$process/exe" 2>/dev/null) == */wine* ]] || continue
        if { tr '\0' '\n' <"$process/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            echo "${process#/proc/}"
        fi
    done
}

end_prefix_processes() {
    local round pids
    wineserver -k 2>/dev/null || true
    timeout 10 wineserver -w 2>/dev/null || true
    for ((round = 0; round < 20; round++)); do
        pids=$(prefix_processes)
        [[ -n $pids ]] || return 0
        # shellcheck disable=SC2086 # one pid per word
        kill -KILL $pids 2>/dev/null || true
        sleep 0.1
    done
    echo "${0##*/}: wine processes of $WINEPREFIX still running: $(prefix_processes)" >&2
}

# The program's output reaches the caller through a file and a reader of ours: a wine process
# holding the caller's pipe could outlive the run and keep the caller waiting for its end.
output=$(mktemp "${TMPDIR:-/tmp}/with-wine.XXXXXX")
reader=
finish() {
    end_prefix_processes
    if [[ -n $reader ]]; then wait "$reader" 2>/dev/null || true; fi
    rm -f "$output"
}
trap finish EXIT
trap 'exit 143' TERM INT HUP

wine "$@" </dev/null >"$output" 2>&1 &
program=$!
tail -n +1 --follow=name --sleep-interval=0.2 --pid="$program" "$output" &
reader=$!
status=0
wait "$program" || status=$?
exit "$status"
