#!/usr/bin/env bash
# Usage: run-device-cases.sh PROGRAM [FUNCTION...]
#
# Runs every row of the Qt Test program PROGRAM (a Windows program), or of the test functions
# named, in a wine session of its
# own, with the devices that the row's data tag names present from the session's start:
# "edid/DIR/NAME.hex" puts that EDID on the dummy X server's DUMMY0, which wine copies into the
# monitor's Device Parameters when its session starts; "usb/NAME.umockdev" plugs that USB
# device, described as umockdev-record writes it, through umockdev-run, whose libusb wine's USB
# bus reads. Words of a tag are joined by " + "; a tag without an EDID leaves DUMMY0 without
# one.
#
# Wine keeps every USB device it once saw in its prefix's registry and lists it as present
# later, so each session runs in a fresh copy of the prefix that WINEPREFIX names, made once
# per run without a virtual desktop (whose single monitor has no EDID): hard links, with the
# registry files, which wine replaces rather than writes into, copied.
#
# While a row runs, the program may ask for another EDID on DUMMY0: it writes the tag word (or
# nothing, for none) to the file "edid" in the folder HLX_DEVICE_REQUESTS names, and waits for
# "edid.done". The change comes with a change of DUMMY0's mode, as a new monitor brings, which
# is what makes wine read the outputs again.
set -euo pipefail

if (($# == 0)); then
    echo "usage: ${0##*/} PROGRAM [FUNCTION...]" >&2
    exit 2
fi
: "${WINEPREFIX:?${0##*/}: WINEPREFIX must name the prepared wine prefix}"
: "${HLX_DEVICE_DATA:?${0##*/}: HLX_DEVICE_DATA must name the folder of the EDIDs and USB devices}"
: "${HLX_SET_OUTPUT_EDID:?${0##*/}: HLX_SET_OUTPUT_EDID must name set-output-edid}"
here=$(dirname "$(realpath "$0")")

if [[ -z ${HLX_DEVICE_CASES_ON_XORG:-} ]]; then
    export HLX_DEVICE_CASES_ON_XORG=1
    exec "$here/with-dummy-xorg.sh" "$0" "$@"
fi

program=$1
shift
functions=" $* "
pristine=$WINEPREFIX
session_prefix=$(mktemp -d "${TMPDIR:-/tmp}/hlx-device-session.XXXXXX")
requests=$(mktemp -d "${TMPDIR:-/tmp}/hlx-device-requests.XXXXXX")
server=
cleanup() {
    if [[ -n $server ]]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
    rm -rf "$session_prefix" "$requests"
}
trap cleanup EXIT
export HLX_WINE_ON_XVFB=1 HLX_DEVICE_REQUESTS=$requests

fresh_prefix() {
    rm -rf "$session_prefix"
    cp -al "$pristine" "$session_prefix"
    rm -f "$session_prefix"/*.reg
    cp "$pristine"/*.reg "$session_prefix"/
}

put_edid() {
    if [[ -n $1 ]]; then
        "$HLX_SET_OUTPUT_EDID" DUMMY0 "$HLX_DEVICE_DATA/$1"
    else
        "$HLX_SET_OUTPUT_EDID" DUMMY0
    fi
}

serve_requests() {
    local modes=(800x600 1024x768) turn=0
    while :; do
        if [[ -e $requests/edid ]]; then
            put_edid "$(<"$requests/edid")"
            rm -f "$requests/edid"
            # At a fixed dpi: otherwise xrandr derives the screen's millimetres from the old ones,
            # rounded down, until after some hundred changes the server refuses a size of 0.
            xrandr --dpi 96 --output DUMMY0 --mode "${modes[turn]}"
            turn=$((1 - turn))
            touch "$requests/edid.done"
        fi
        sleep 0.05
    done
}

fresh_prefix
# Qt Test lists "CLASS FUNCTION TAG" for each row; anything else it printed is no row.
tags=$(WINEPREFIX=$session_prefix "$here/with-wine.sh" "$program" -datatags | tr -d '\r' |
    grep -E '^[A-Za-z_][A-Za-z0-9_]* [A-Za-z_][A-Za-z0-9_]*( |$)' || true)
failed=()
rows=0
started=$SECONDS
while read -r _ function tag; do
    [[ -n $function ]] || continue
    [[ $# == 0 || $functions == *" $function "* ]] || continue
    edid=
    usb=()
    if [[ -n $tag ]]; then
        while read -r word; do
            case $word in
            edid/*) edid=$word ;;
            usb/*) usb+=(-d "$HLX_DEVICE_DATA/$word") ;;
            *) echo "${0##*/}: no device for '$word' in '$tag'" >&2; exit 1 ;;
            esac
        done <<<"${tag// + /$'\n'}"
    fi
    put_edid "$edid"
    xrandr --dpi 96 --output DUMMY0 --mode 1024x768
    fresh_prefix
    rm -f "$requests"/*
    serve_requests &
    server=$!
    row_started=$SECONDS
    status=0
    WINEPREFIX=$session_prefix umockdev-run "${usb[@]}" -- \
        "$here/with-wine.sh" "$program" "$function${tag:+:$tag}" || status=$?
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    server=
    rows=$((rows + 1))
    echo "--- $function${tag:+ ($tag)}: $([[ $status == 0 ]] && echo passed || echo FAILED)" \
        "in $((SECONDS - row_started)) s"
    [[ $status == 0 ]] || failed+=("$function${tag:+:$tag}")
done <<<"$tags"

echo "--- $rows rows in $((SECONDS - started)) s, ${#failed[@]} failed"
for row in "${failed[@]}"; do echo "FAILED: $row"; done
((rows > 0 && ${#failed[@]} == 0))
