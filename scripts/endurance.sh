#!/usr/bin/env bash
# A long day in the tray: the built utility with the udev device library, under a umockdev
# testbed, while a Valve Index's display (its real EDID) and USB hub (28de:2613) are plugged and
# unplugged PLUGS times. It fails when the window shows a wrong state at a check (every 1,000
# plugs, or a quarter of the run if shorter), or when the utility's descriptors or threads differ
# from the first check, or its resident memory has grown by more than 4 MiB since then.
#   scripts/endurance.sh [PLUGS]              the normal build, in build/ (10000 plugs by default)
#   scripts/endurance.sh --sanitize [PLUGS]   the AddressSanitizer build, in build-sanitize/, with
#                                             LeakSanitizer's report at the utility's exit (its
#                                             memory is not bounded there: ASan's quarantine
#                                             holds freed memory)
#   scripts/endurance.sh --windows [PLUGS]    the Windows build, in build-windows/, under wine with
#                                             the Windows device library (1000 plugs by default):
#                                             the display link alone, as wine's USB bus takes no
#                                             new device while a session runs; the window's state
#                                             is checked every 100 plugs, and the utility's working
#                                             set, handles and threads are recorded
# The run is tst_udevutility's case plugsAndUnplugsWithoutGrowth, which the suite runs with 200
# plugs (on Windows tst_platform_endurance's, which the suite runs with 20). Its output goes to a
# log in a folder of its own, whose path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
configure=()
mode=linux
case "${1:-}" in
--sanitize)
  build_dir=build-sanitize
  configure=(-DHLX_SANITIZE=ON)
  shift
  ;;
--windows)
  mode=windows
  build_dir=build-windows
  configure=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
  shift
  ;;
esac
default_plugs=10000
[ "$mode" = linux ] || default_plugs=1000
plugs=${1:-$default_plugs}
if [[ ! $plugs =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: ${0##*/} [--sanitize | --windows] [PLUGS]" >&2
  exit 2
fi

if [ "$mode" = windows ]; then
  scripts/install-deps.sh --windows
  scripts/build-qt-windows.sh
  # The toolchain counts only when the build folder is made.
  [ ! -e "$build_dir/CMakeCache.txt" ] || configure=()
  cmake -S . -B "$build_dir" -G Ninja "${configure[@]}" >/dev/null
  # The case copies the utility's installed folder, bin/, which the whole build lays out.
  cmake --build "$build_dir"
else
  scripts/install-deps.sh
  cmake -S . -B "$build_dir" -G Ninja "${configure[@]}" >/dev/null
  cmake --build "$build_dir" --target tst_udevutility
fi

# As the suite's own runs set them (tests/CMakeLists.txt); only the sanitizer build reads them.
export ASAN_OPTIONS=fast_unwind_on_malloc=0
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizer-suppressions.txt:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export HLX_ENDURANCE_PLUGS=$plugs
# Qt Test ends a case after 5 minutes; a plug takes about 60 ms here, under ASan about three times
# that, under wine about 270 ms: a second a plug leaves room for a slow machine.
export QTEST_FUNCTION_TIMEOUT=$((plugs * 1000 + 300000))

log_dir=$(mktemp -d "${TMPDIR:-/tmp}/hlx-endurance.XXXXXX")
log=$log_dir/endurance.log
echo "endurance: $plugs plugs with $build_dir; log in $log"
started=$SECONDS
status=0
if [ "$mode" = windows ]; then
  # A wine prefix of the run's own, prepared as the suite prepares the device cases' one, on
  # the dummy X server that run-device-cases.sh starts.
  export WINEPREFIX=$log_dir/wine-prefix
  export HLX_DEVICE_DATA=$PWD/tests/devicelib
  export HLX_SET_OUTPUT_EDID=$PWD/$build_dir/tests/platform/build-machine/set-output-edid
  tests/support/prepare-wine-prefix.sh none >"$log" 2>&1
  tests/support/run-device-cases.sh "$build_dir/tests/platform/tst_platform_endurance.exe" \
    plugsAndUnplugsWithoutGrowth >>"$log" 2>&1 || status=$?
  rm -rf "$WINEPREFIX"
else
  tests/support/with-xvfb.sh umockdev-wrapper "$build_dir/tests/tst_udevutility" \
    plugsAndUnplugsWithoutGrowth >"$log" 2>&1 || status=$?
fi
tr -d '\r' <"$log" | grep -E 'endurance: |^FAIL|Loc: ' | sed -E 's/^QINFO  : .*(endurance: )/\1/' || true
if [ "$status" -eq 0 ]; then
  echo "endurance: passed, $plugs plugs in $((SECONDS - started)) s"
else
  echo "endurance: FAILED (status $status) after $((SECONDS - started)) s; see $log"
fi
exit "$status"
