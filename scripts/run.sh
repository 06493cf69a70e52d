#!/usr/bin/env bash
# Installs what is missing, builds, and starts the utility from build/bin. Without a display
# it starts a virtual X server, writes a screenshot and keeps running until interrupted.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=build scripts/build.sh
cmake --build build --target screenshot

bin=$PWD/build/bin
if [ -n "${DISPLAY:-}" ]; then
  echo "Plug the simulated headset with: build/bin/hlx-device plug   (unplug, --help)"
  echo "Then press ShowDemo and use the Tools menu: the README's \"Try it\" walks through it."
  cd "$bin" && exec ./hlx-config
fi

# At 96 dpi, a desktop at 100 %: Xvfb reports 100 dpi otherwise, and Qt would scale to 104 %.
exec 3< <(Xvfb -displayfd 1 -noreset -nolisten tcp -screen 0 1024x768x24 -dpi 96 2>/dev/null)
xvfb_pid=$!
read -r -t 10 display <&3 || { echo "The virtual X server did not start." >&2; exit 1; }
export DISPLAY=:$display
trap 'kill "$app_pid" "$xvfb_pid" 2>/dev/null || true' EXIT INT TERM

(cd "$bin" && exec ./hlx-config) &
app_pid=$!
sleep 2
shot=$PWD/build/screenshot.png
build/tools/screenshot/screenshot "$shot"
echo "No display here: the utility runs on the virtual X server $DISPLAY."
echo "Screenshot: $shot"
echo "Plug the simulated headset and look again:"
echo "  DISPLAY=$DISPLAY build/bin/hlx-device plug"
echo "  DISPLAY=$DISPLAY build/tools/screenshot/screenshot $shot"
echo "Press Ctrl+C to stop."
wait "$app_pid"
