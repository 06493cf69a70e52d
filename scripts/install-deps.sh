#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests or a run under a virtual
# X server need and this machine lacks. Needs root (or sudo) only when something is missing.
#   scripts/install-deps.sh             for the Linux build
#   scripts/install-deps.sh --windows   also the mingw-w64 cross compiler and wine
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qtbase5-dev qtbase5-dev-tools
  libxcb1-dev libxcb-xtest0-dev
  xvfb xauth x11-utils fonts-dejavu-core
  dbus-daemon at-spi2-core
  # The udev device library, its headset ids, and its tests: umockdev plays the kernel,
  # edid-decode reads the test EDIDs, binutils' nm and readelf look at what the library exports.
  libudev-dev xr-hardware
  umockdev libumockdev-dev edid-decode binutils
)
if [ "${1:-}" = "--windows" ]; then
  # The 64-bit wine alone runs the 64-bit test programs; no i386 architecture needed.
  packages+=(g++-mingw-w64-x86-64-win32 wine wine64)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  -o DPkg::Lock::Timeout=900 "${missing[@]}"
