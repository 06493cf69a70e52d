#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests or a run under a virtual
# X server need and this machine lacks. Needs root (or sudo) only when something is missing.
#   scripts/install-deps.sh             for the Linux build
#   scripts/install-deps.sh --windows   also the mingw-w64 cross compiler (posix thread model),
#                                       wine, NSIS, and what building Qt for Windows from
#                                       Debian's source needs, deb-src entries included
#   scripts/install-deps.sh --fuzz      only what scripts/fuzz.sh needs
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qtbase5-dev qtbase5-dev-tools
  libxcb1-dev libxcb-xtest0-dev libxcb-randr0-dev libxcb-damage0-dev libxcb-shm0-dev libxcb-xfixes0-dev
  # The demo shows on a headset in direct mode through the kernel's mode setting.
  libdrm-dev
  xvfb xauth x11-utils x11-xserver-utils fonts-dejavu-core
  # The dummy Xorg with RandR outputs, on which the headset display cases put real EDIDs.
  xserver-xorg-core xserver-xorg-video-dummy libxrandr-dev
  dbus-daemon at-spi2-core
  # CPack's DEB generator calls file and dpkg-shlibdeps; lintian checks what it made.
  file dpkg-dev lintian desktop-file-utils appstream debootstrap
  # Debian's own kernel in a virtual machine, whose disk is made from a tree; xxd writes its EDIDs.
  qemu-system-x86 e2fsprogs xxd
  weston qtwayland5
  # The udev device library, its headset ids, and its tests: umockdev plays the kernel,
  # edid-decode reads the test EDIDs, binutils' nm and readelf look at what the library exports.
  libudev-dev xr-hardware
  umockdev libumockdev-dev edid-decode binutils
)
windows=false
if [ "${1:-}" = "--fuzz" ]; then
  # clang with libFuzzer, llvm-cov for the coverage of the corpus, and the real rules as a seed.
  packages=(cmake ninja-build clang-14 libfuzzer-14-dev llvm-14 xr-hardware)
elif [ "${1:-}" = "--windows" ]; then
  windows=true
  # The 64-bit wine alone runs the 64-bit test programs; no i386 architecture needed. Wine's
  # own fonts stand in for the Windows ones its dialogs and Qt ask for.
  packages+=(g++-mingw-w64-x86-64-posix wine wine64 fonts-wine nsis make perl xz-utils)
  # The device library's cases: an X server with outputs that wine takes for monitors, a
  # client of ours that puts a real EDID on one, and xrandr to change its mode.
  packages+=(xserver-xorg-core xserver-xorg-video-dummy libxrandr-dev x11-xserver-utils)
fi

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
apt_get() {
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 "$@"
}

has_source_entries() {
  grep -qsE '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list ||
    grep -qsE '^Types:.*deb-src' /etc/apt/sources.list.d/*.sources
}

# A deb-src line for each Debian entry: one-line entries from sources.list and *.list, deb822
# stanzas from *.sources (Debian 12 images come with either form).
debian_source_lines() {
  sed -nE 's/^[[:space:]]*deb[[:space:]]+(.*debian.*)$/deb-src \1/p' \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -e "$file" ] || continue
    awk '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && uris ~ /debian/ && enabled != "no") {
          option = signed == "" ? "" : "[signed-by=" signed "] "
          n = split(suites, each, " ")
          for (i = 1; i <= n; i++) print "deb-src " option uris " " each[i] " " components
        }
        types = uris = suites = components = signed = enabled = ""
      }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      { key = $1; sub(/^[^:]*:[[:space:]]*/, ""); value = $0 }
      key == "Types:" { types = value }
      key == "URIs:" { uris = value }
      key == "Suites:" { suites = value }
      key == "Components:" { components = value }
      key == "Signed-By:" { signed = value }
      key == "Enabled:" { enabled = value }
      END { flush() }
    ' "$file"
  done
}

updated=false
if $windows && ! has_source_entries; then
  echo "Adding deb-src entries for Debian's sources"
  debian_source_lines | "${as_root[@]}" tee /etc/apt/sources.list.d/hlx-config-deb-src.list >/dev/null
  apt_get update -q
  updated=true
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
$updated || apt_get update -q
apt_get install -y -q --no-install-recommends "${missing[@]}"
