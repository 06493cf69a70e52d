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
