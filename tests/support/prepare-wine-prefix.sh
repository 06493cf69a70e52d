#!/usr/bin/env bash
# Usage: prepare-wine-prefix.sh [DESKTOP_SIZE | none]
#
# Makes the wine prefix that WINEPREFIX names for the Windows tests afresh, so that nothing an
# earlier run left in it counts: wine's first start, the fonts that wine does not pick up from
# the system by itself, and every program of the prefix in one virtual desktop of DESKTOP_SIZE
# (default 1024x768), where raising a window changes the stacking as on Windows: without a
# window manager it would change only wine's idea of the foreground. With "none", programs
# share the X server's screen instead: a virtual desktop shows wine one monitor of its own,
# without the X outputs' EDIDs.
set -euo pipefail
: "${WINEPREFIX:?${0##*/}: WINEPREFIX must name the wine prefix to use}"
here=$(dirname "$0")
size=${1:-1024x768}

rm -rf "$WINEPREFIX"

"$here/with-wine.sh" wineboot --init
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/fonts/truetype/dejavu/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# Windows maps the dialog font that Qt asks for to a sans face of its own; without that,
# wine leaves Qt to its first fallback, which can be a math font twice as tall.
for dialog_font in "MS Shell Dlg" "MS Shell Dlg 2"; do
    "$here/with-wine.sh" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$dialog_font" \
        /d "DejaVu Sans" /f
done
[[ $size != none ]] || exit 0
"$here/with-wine.sh" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
"$here/with-wine.sh" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$size" /f
