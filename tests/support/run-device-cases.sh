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
# one. "right/edid/DIR/NAME.hex" connects a second output, DUMMY1, with that EDID, at 1920x1080
# to the right of DUMMY0; "off/edid/DIR/NAME.hex" connects it with that EDID but no mode, off the
# desktop. The dummy driver has no unplug: once connected, DUMMY1 stays connected (off, without
# an EDID, in the rows that do not name it), so the rows that use it come last in their program.
# "row/NAME" tells apart the rows of one function that share their devices: Qt Test runs every
# row of a tag, so each needs a tag of its own; the harness itself does nothing with the word.
#
# Wine keeps every USB device it once saw in its prefix's registry and lists it as present
# later, so each session runs in a fresh copy of the prefix that WINEPREFIX names, made once
# per run without a virtual desktop (whose single monitor has no EDID): hard links, with the
# registry files, which wine replaces rather than writes into, copied.
#
# While a row runs, the program may ask for another EDID on DUMMY0: it writes the tag word (or
# nothing, for none) to the file "edid" in the folder HLX_DEVICE_REQUESTS names, and waits for
# "edid.done". The change comes with a change of DUMMY0's mode, as a new monitor brings, which
# is what makes wine read the outputs again. Likewise "gamma" asks for the gamma table that the X
# server holds for its screen, as HLX_SCREEN_GAMMA prints it, in "gamma.out" beside "gamma.done".
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
        "$HLX_SET_OUTPUT_EDID" "${2:-DUMMY0}" "$HLX_DEVICE_DATA/$1"
    else
        "$HLX_SET_OUTPUT_EDID" "${2:-DUMMY0}"
    fi
}

second_output_used=
# The second output as the row's word asks: "right/…", "off/…", or nothing.
put_second_output() {
    local word=$1
    if [[ -z $word ]]; then
        [[ -z $second_output_used ]] && return 0
        xrandr --dpi 96 --output DUMMY1 --off
        put_edid "" DUMMY1
        return 0
    fi
    if [[ -z $second_output_used ]]; then
        xrandr --newmode 1920x1080_60 148.50 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync
        xrandr --addmode DUMMY1 1920x1080_60
        second_output_used=1
    fi
    put_edid "${word#*/}" DUMMY1
    # Connected by its first mode; "off" then takes it off the desktop again.
    xrandr --dpi 96 --output DUMMY1 --mode 1920x1080_60 --right-of DUMMY0
    [[ $word != off/* ]] || xrandr --dpi 96 --output DUMMY1 --off
    # The driver tells the output connected from its first mode on, but the server says so only
    # after probing its outputs again, which a query of all resources does; wine asks for the
    # current ones alone.
    xrandr --query >/dev/null
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
        if [[ -e $requests/gamma ]]; then
            rm -f "$requests/gamma"
            "${HLX_SCREEN_GAMMA:?a row asks for the gamma table, and HLX_SCREEN_GAMMA names no screen-gamma}" \
                >"$requests/gamma.out"
            touch "$requests/gamma.done"
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
    second=
    usb=()
    if [[ -n $tag ]]; then
        while read -r word; do
            case $word in
            edid/*) edid=$word ;;
            right/edid/* | off/edid/*) second=$word ;;
            usb/*) usb+=(-d "$HLX_DEVICE_DATA/$word") ;;
            row/*) ;;
            *) echo "${0##*/}: no device for '$word' in '$tag'" >&2; exit 1 ;;
            esac
        done <<<"${tag// + /$'\n'}"
    fi
    put_edid "$edid"
    xrandr --dpi 96 --output DUMMY0 --mode 1024x768
    put_second_output "$second"
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
