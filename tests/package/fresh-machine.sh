#!/usr/bin/env bash
# A fresh Debian 12 to install the packages into: a minimal debootstrap tree, made once and
# kept in the user's cache, copied for each run so every run starts from the same machine.
#   fresh-machine.sh prepare ROOT DEB...   copy the base to ROOT, apt install the packages,
#                                          add the user "tester"
#   fresh-machine.sh run ROOT COMMAND...   run COMMAND from / as tester, on $DISPLAY
#   fresh-machine.sh root ROOT COMMAND...  run COMMAND as root
#   fresh-machine.sh teardown ROOT         unmount what prepare mounted and delete ROOT
#   fresh-machine.sh base                  make the base tree if missing and print its path
# Needs root, debootstrap and Debian's package mirror.
set -euo pipefail

readonly cache=${XDG_CACHE_HOME:-$HOME/.cache}/hlx-config
readonly base=$cache/bookworm-minbase
readonly archives=$cache/apt-archives

# The mirror this machine's apt uses, from a deb822 or a one-line source entry.
mirror() {
    local found
    found=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
    [ -n "$found" ] ||
        found=$(awk '/^deb / { print ($2 ~ /^\[/ ? $3 : $2); exit }' /etc/apt/sources.list \
            /etc/apt/sources.list.d/*.list 2>/dev/null || true)
    echo "$found"
}

make_base() {
    [ -d "$base" ] && return 0
    mkdir -p "$cache"
    rm -rf "$base.partial"
    debootstrap --variant=minbase bookworm "$base.partial" "$(mirror)" >&2
    # Only a finished tree becomes the base, so an interrupted run makes a new one.
    mv "$base.partial" "$base"
}

in_root() {
    local root=$1
    shift
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
        chroot "$root" "$@"
}

prepare() {
    local root=$1
    shift
    make_base
    mkdir -p "$archives/partial"
    rm -rf "$root"
    cp -a "$base" "$root"
    mount -t proc proc "$root/proc"
    mount --bind /dev "$root/dev"
    mount --bind /dev/pts "$root/dev/pts"
    mkdir -p "$root/tmp/.X11-unix"
    mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
    # Downloaded packages outlive the copy, so later runs fetch nothing they had before.
    mount --bind "$archives" "$root/var/cache/apt/archives"
    mkdir -p "$root/packages"
    cp -- "$@" "$root/packages/"
    in_root "$root" apt-get update -q >&2
    in_root "$root" sh -c \
        'cd /packages && apt-get install -y -q --no-install-recommends ./*.deb' >&2
    in_root "$root" useradd --create-home --shell /bin/sh tester
}

run_as_tester() {
    local root=$1
    shift
    exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DISPLAY="$DISPLAY" \
        chroot --userspec=tester:tester "$root" \
        env PATH=/usr/bin:/bin HOME=/home/tester USER=tester sh -c 'cd / && exec "$@"' sh "$@"
}

# Whatever still runs inside ROOT (a demo the utility started) was started by this run.
stop_processes() {
    local root process
    root=$(readlink -f -- "$1")
    for process in /proc/[0-9]*; do
        if [ "$(readlink -- "$process/root" 2>/dev/null)" = "$root" ]; then
            kill -KILL "${process#/proc/}" 2>/dev/null || true
        fi
    done
}

teardown() {
    local root=$1 point
    stop_processes "$root"
    # The reverse of the order in which prepare mounts.
    local points=("$root/var/cache/apt/archives" "$root/tmp/.X11-unix" "$root/dev/pts"
        "$root/dev" "$root/proc")
    for point in "${points[@]}"; do
        if mountpoint -q "$point"; then
            umount "$point" || umount --lazy "$point"
        fi
    done
    # Never delete through a mount that is still there.
    for point in "${points[@]}"; do
        if mountpoint -q "$point"; then
            echo "${0##*/}: $point is still mounted; $root kept" >&2
            return 1
        fi
    done
    rm -rf --one-file-system "$root"
}

case ${1:-} in
prepare) shift && prepare "$@" ;;
run) shift && run_as_tester "$@" ;;
root) shift && root=$1 && shift && in_root "$root" "$@" ;;
teardown) shift && teardown "$@" ;;
base) make_base && echo "$base" ;;
*)
    echo "usage: ${0##*/} prepare|run|root|teardown ROOT ... | base" >&2
    exit 2
    ;;
esac
