#!/usr/bin/env bash
# Takes the README's pictures of the utility's window: no headset, a headset ready, and unplugged,
# from the real program on a virtual X server at 100 %, into docs/images/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=build scripts/build.sh
cmake --build build --target screenshot

work=$(mktemp -d)
exec 3< <(Xvfb -displayfd 1 -noreset -nolisten tcp -screen 0 1024x768x24 -dpi 96 2>/dev/null)
xvfb_pid=$!
trap 'kill "${app_pid:-}" "$xvfb_pid" 2>/dev/null || true; rm -rf "$work"' EXIT INT TERM
read -r -t 10 display <&3 || { echo "The virtual X server did not start." >&2; exit 1; }
export DISPLAY=:$display

# A working folder of its own, so that the build's settings stay as they are.
mkdir -p "$work/bin"
ln -s "$PWD/build/demo" "$work/demo"
ln -s "$PWD/build/Pictor" "$work/Pictor"
(cd "$work/bin" && exec "$OLDPWD/build/bin/hlx-config") &
app_pid=$!

window=
for _ in $(seq 100); do
  window=$(xwininfo -root -tree 2>/dev/null |
    sed -n 's/^ *\(0x[0-9a-f]*\) "HLX_Configuration_Utility".*/\1/p' | head -n 1)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "The utility's window did not show." >&2; exit 1; }

mkdir -p docs/images
shoot() {
  # The window redraws on the device message's round trip; give it a frame's time.
  sleep 0.5
  build/tools/screenshot/screenshot "docs/images/$1" "$window"
  echo "docs/images/$1"
}
shoot window-no-headset.png
build/bin/hlx-device plug
shoot window-headset-ready.png
build/bin/hlx-device unplug
shoot window-headset-unplugged.png

# The demo on a headset's display and the capturer's mirror of it: the real programs on the dummy
# Xorg (root only), whose second output carries a real headset's EDID.
if ((EUID == 0)); then
  cmake --build build --target hlx_lumeshow hlx_pictor set-output-edid
  tests/support/with-dummy-xorg.sh bash -c '
    set -euo pipefail
    xrandr --newmode 1280x720_60 74.25 1280 1390 1430 1650 720 725 730 750 +hsync +vsync
    xrandr --addmode DUMMY1 1280x720_60
    build/tests/set-output-edid DUMMY1 tests/devicelib/edid/headsets/valve-index.hex
    xrandr --output DUMMY1 --mode 1280x720_60 --right-of DUMMY0
    # The dummy driver tells of a connected output only to a client that probes, as a hotplug would.
    xrandr --query >/dev/null
    build/headset/Pictor/Pictor.exe & capturer=$!
    build/headset/demo/Lumeshow.exe -screen-fullscreen 1 -screen-height 1080 -screen-width 1920 \
      -adapter 1 & demo=$!
    trap "kill $capturer $demo 2>/dev/null || true" EXIT
    sleep 3
    window_of() { xwininfo -root -tree | sed -n "s/^ *\(0x[0-9a-f]*\) \"$1.*/\1/p" | head -n 1; }
    build/tools/screenshot/screenshot docs/images/demo-on-headset.png "$(window_of "Lumeshow —")"
    build/tools/screenshot/screenshot docs/images/capturer-mirror.png "$(window_of "Pictor —")"
  '
  echo docs/images/demo-on-headset.png
  echo docs/images/capturer-mirror.png
fi
