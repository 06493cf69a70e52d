#!/usr/bin/env bash
# A Debian 12 guest for QEMU with Debian's own kernel, Xorg, sway and the project's packages
# installed by apt, as a user installs them. The tree without the packages is kept in the cache
# under a name made from everything that goes into it, so a later run only installs .debs that
# changed and writes the disk image again.
#   guest-image.sh DEB...   prints the folder that holds vmlinuz, initrd.img and root.img
#   guest-image.sh          only builds the tree
# Needs root, debootstrap, e2fsprogs and Debian's package mirror.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
edids=$here/../devicelib/edid
readonly cache=${XDG_CACHE_HOME:-$HOME/.cache}/hlx-config
readonly archives=$cache/apt-archives
readonly packages=(linux-image-amd64 initramfs-tools udev kmod procps xserver-xorg-core
    x11-xserver-utils xauth xdotool sway seatd xwayland)
readonly headset_edid=$edids/headsets/valve-index.hex monitor_edid=$edids/monitors/dell-e2219hn.hex

key=$(cat "$0" "$here/guest-init" "$here/guest-agent" "$headset_edid" "$monitor_edid" |
    sha256sum | cut -c1-16)
readonly guest=$cache/vm-$key tree=$cache/vm-$key/tree
# What apt works on: the unfinished tree while it is built, so a broken build is never kept.
root=$tree

log() { echo "${0##*/}: $*" >&2; }

in_tree() {
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive chroot "$root" "$@"
}

mounted=()
mount_for_apt() {
    mount -t proc proc "$root/proc" && mounted=("$root/proc")
    mount --bind /dev "$root/dev" && mounted+=("$root/dev")
    mkdir -p "$archives/partial"
    mount --bind "$archives" "$root/var/cache/apt/archives" && mounted+=("$root/var/cache/apt/archives")
}
unmount_all() {
    local point
    for point in "${mounted[@]}"; do umount "$point" || umount --lazy "$point"; done
    mounted=()
}
trap unmount_all EXIT

# The Index's dump holds its 256 bytes twice, as read; the kernel wants one EDID.
edid_file() { xxd -r -p "$1" | head -c 256 >"$2"; }

build_tree() {
    local base
    base=$("$here/../package/fresh-machine.sh" base)
    # A guest made from other inputs is never used again.
    rm -rf --one-file-system "$cache"/vm-*
    mkdir -p "$guest"
    local partial=$tree.partial
    cp -a "$base" "$partial"
    mkdir -p "$partial/usr/lib/firmware/edid" "$partial/etc/initramfs-tools/hooks"
    edid_file "$headset_edid" "$partial/usr/lib/firmware/edid/index.bin"
    edid_file "$monitor_edid" "$partial/usr/lib/firmware/edid/dell.bin"
    # virtio-gpu may load inside the initramfs, where the override reads its EDIDs.
    cat >"$partial/etc/initramfs-tools/hooks/edid" <<'EOF'
#!/bin/sh
[ "$1" = prereqs ] && exit 0
mkdir -p "$DESTDIR/usr/lib/firmware/edid"
cp /usr/lib/firmware/edid/*.bin "$DESTDIR/usr/lib/firmware/edid/"
EOF
    chmod +x "$partial/etc/initramfs-tools/hooks/edid"
    printf '%s\n' virtio_pci virtio_blk virtio_gpu ext4 >>"$partial/etc/initramfs-tools/modules"
    install -m 755 "$here/guest-init" "$here/guest-agent" "$partial/usr/local/sbin/"
    echo hlx-guest >"$partial/etc/hostname"
    root=$partial
    mount_for_apt
    in_tree apt-get update -q >&2
    in_tree apt-get install -y -q --no-install-recommends "${packages[@]}" >&2
    in_tree useradd --create-home --shell /bin/sh --groups video,input,render tester
    unmount_all
    mv "$partial" "$tree"
    root=$tree
    ln -sf "tree/boot/$(cd "$tree/boot" && ls vmlinuz-*)" "$guest/vmlinuz"
    ln -sf "tree/boot/$(cd "$tree/boot" && ls initrd.img-*)" "$guest/initrd.img"
}

install_debs() {
    rm -rf "$tree/packages"
    mkdir -p "$tree/packages"
    cp -- "$@" "$tree/packages/"
    mount_for_apt
    in_tree sh -c 'cd /packages && apt-get install -y -q --reinstall --no-install-recommends ./*.deb' >&2
    unmount_all
}

write_image() {
    local size
    size=$(du -sm "$tree" | cut -f1)
    rm -f "$guest/root.img"
    mkfs.ext4 -q -F -L hlxroot -d "$tree" "$guest/root.img" "$((size + size / 3 + 256))M" >&2
}

started=$SECONDS
if [ ! -d "$tree" ]; then
    log "building the guest's tree in $guest"
    build_tree
    log "tree built in $((SECONDS - started)) s"
fi
[ $# -gt 0 ] || exit 0
debs_key=$(cat -- "$@" | sha256sum | cut -c1-16)
if [ "$(cat "$guest/debs-key" 2>/dev/null)" != "$debs_key" ] || [ ! -f "$guest/root.img" ]; then
    rm -f "$guest/debs-key"
    install_debs "$@"
    write_image
    echo "$debs_key" >"$guest/debs-key"
    log "packages installed and image written in $((SECONDS - started)) s"
fi
echo "$guest"
