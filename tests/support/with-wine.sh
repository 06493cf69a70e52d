#!/usr/bin/env bash
# Usage: with-wine.sh PROGRAM [ARGS...]
#
# Runs a Windows program under wine, on a private Xvfb (wine needs a display for message
# boxes and windows), in the prefix that WINEPREFIX names: made on first use, without the
# prompts for Mono and Gecko. Afterwards every wine process of the prefix is ended, so the
# next run starts a wine server of its own on its own display. Shortcuts that a program makes
# stay inside the prefix: wine's menu builder, which would copy them into the Linux desktop's
# menus, is off. Exits with PROGRAM's status.
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

status=0
wine "$@" || status=$?
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
exit "$status"
