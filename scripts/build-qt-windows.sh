#!/usr/bin/env bash
# Builds Qt 5's qtbase for 64-bit Windows from Debian's own source package, with Debian's
# mingw-w64 (posix thread model: QtTest needs std::mutex), into a prefix outside the tree.
# A stamp in the prefix (source version and configure options) skips a build it already has.
#   HLX_QT_WINDOWS_PREFIX   where Qt goes (default: ~/.cache/hlx-config/qt5-windows)
#   HLX_QT_WINDOWS_WORK     where the source is unpacked and built, removed after the install
#   HLX_QT_JOBS             parallel compile jobs (default: 2)
# Prints the prefix on its last line.
set -euo pipefail

cache_home=${XDG_CACHE_HOME:-$HOME/.cache}
prefix=${HLX_QT_WINDOWS_PREFIX:-$cache_home/hlx-config/qt5-windows}
work=${HLX_QT_WINDOWS_WORK:-$cache_home/hlx-config/qt5-windows-build}
jobs=${HLX_QT_JOBS:-2}
source_package=qtbase-opensource-src
mingw=x86_64-w64-mingw32

# The smallest qtbase that serves a Widgets tray program and its Qt Test cases. Debian's
# source drops the wintab headers, hence no tablet events.
configure_options=(
  -opensource -confirm-license -release -shared
  -xplatform win32-g++ -device-option "CROSS_COMPILE=$mingw-"
  -nomake examples -nomake tests
  -no-opengl -no-dbus -no-icu -no-openssl -no-direct2d
  -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz -no-libjpeg -no-freetype
  -no-feature-sql -no-feature-network -no-feature-xml -no-feature-concurrent
  -no-feature-printer -no-feature-tabletevent
)

# The cross compiler, the tools of Qt's build and the deb-src entries it fetches from.
"$(dirname "$0")/install-deps.sh" --windows

# The newest version that the deb-src entries offer; apt's lists may predate those entries.
source_version() {
  apt-cache showsrc --only-source "$source_package" 2>/dev/null |
    sed -n 's/^Version: //p' | sort -V | tail -n 1 || true
}
version=$(source_version)
if [ -z "$version" ]; then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 update -q
  version=$(source_version)
fi
[ -n "$version" ] || { echo "No source package $source_package in apt's lists" >&2; exit 1; }
stamp="$source_package $version ${configure_options[*]}"
if [ -x "$prefix/bin/qmake" ] && [ "$(cat "$prefix/hlx-stamp" 2>/dev/null)" = "$stamp" ]; then
  echo "$prefix"
  exit 0
fi

# Qt's mkspec calls the compiler by its unsuffixed name, which Debian points at the win32
# thread model: a folder of its own, first on PATH, points it at the posix one instead.
rm -rf "$work"
mkdir -p "$work/compiler" "$work/build"
for tool in gcc g++; do
  ln -s "/usr/bin/$mingw-$tool-posix" "$work/compiler/$mingw-$tool"
done
export PATH="$work/compiler:$PATH"

(cd "$work" && apt-get source -q "$source_package=$version")
source_dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qtbase-opensource-src-*' | head -n 1)

rm -rf "$prefix"
cd "$work/build"
"$source_dir/configure" -prefix "$prefix" "${configure_options[@]}"
make -j"$jobs"
make install
echo "$stamp" >"$prefix/hlx-stamp"
cd /
rm -rf "$work"
echo "$prefix"
