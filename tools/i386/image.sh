#!/usr/bin/env bash
# Builds, once per machine, the emulated i386 Debian system that runs 32-bit
# Windows programs under 32-bit Wine, and prints the path of its folder.
#   tools/i386/image.sh
# The folder, ${MORVA_I386_CACHE:-$HOME/.cache/morva/i386}/KEY, holds vmlinuz,
# initrd.img and root.img (ext4: Debian bookworm i386 with Wine, a Wine prefix
# for root at /root/prefix, /etc/morva/wine.env naming Wine's programs) and
# build.log. KEY is a hash of the files that build it (this script, the
# initramfs's, the unpacking's, the build's guest script, the session library
# it installs as /morva-session.sh and the package list),
# so the image is rebuilt when one of them changes (folders of older keys stay
# until removed by hand). Concurrent callers wait for one build. Progress goes
# to stderr. The packages are downloaded and unpacked on the host (debootstrap
# --foreign, then unpack.py); only their configuration and the making of the
# Wine prefix run in the emulated system: 7 to 12 minutes in all on a busy
# 2-core machine. MORVA_I386_MIRROR overrides the Debian mirror (by default
# the one apt uses).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../wine-session.sh"
cache=${MORVA_I386_CACHE:-$HOME/.cache/morva/i386}
suite=bookworm

start=$SECONDS
log() {
    local t=$((SECONDS - start))
    printf 'image: [%2d:%02d] %s\n' $((t / 60)) $((t % 60)) "$*" >&2
}

key=$({
    echo "$suite"
    cat "$here/image.sh" "$here/initramfs.py" "$here/initramfs-init.sh" \
        "$here/unpack.py" "$here/build-guest.sh" "$here/../wine-session.sh" "$here/packages"
} | sha256sum | cut -c1-16)
final=$cache/$key
if [ -d "$final" ]; then
    echo "$final"
    exit 0
fi

mkdir -p "$cache"
exec 9>"$cache/.lock"
if ! flock -n 9; then
    log "waiting for another build of the image to end"
    flock 9
fi
if [ -d "$final" ]; then
    echo "$final"
    exit 0
fi

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
for tool in qemu-system-i386 debootstrap mke2fs debugfs e2fsck python3; do
    PATH=$PATH:/usr/sbin:/sbin command -v "$tool" >/dev/null ||
        { echo "image: $tool is missing (tools/bootstrap.sh installs it)" >&2; exit 1; }
done
export PATH=$PATH:/usr/sbin:/sbin

# Builds that were interrupted leave their folders; this one holds the lock.
for old in "$cache"/.build-*; do
    [ -e "$old" ] && $SUDO rm -rf "$old"
done
work=$(mktemp -d "$cache/.build-$key.XXXXXX")
trap '$SUDO rm -rf "$work"' EXIT

mirror=${MORVA_I386_MIRROR:-}
if [ -z "$mirror" ]; then
    mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
        sed -n 's|^URIs:[[:space:]]*\([^[:space:]]*/debian\)/*[[:space:]]*$|\1|p' | head -n 1)
fi
if [ -z "$mirror" ]; then
    mirror=$(sed -n 's|^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]*/debian\)/*[[:space:]].*|\2|p' \
        /etc/apt/sources.list 2>/dev/null | head -n 1)
fi
mirror=${mirror:-http://deb.debian.org/debian}
include=$(grep -v '^#' "$here/packages" | paste -sd,)

log "building the image $key in $work"
log "first stage of debootstrap ($suite i386 from $mirror)"
root=$work/root
$SUDO debootstrap --foreign --arch=i386 --variant=minbase --include="$include" \
    "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 9>&- || {
    tail -n 20 "$work/debootstrap.log" >&2
    log "debootstrap failed"
    exit 1
}

log "kernel and initramfs"
archives=$root/var/cache/apt/archives
kernel_deb=$(ls "$archives"/linux-image-[0-9]*-686_*_i386.deb)
[ "$(echo "$kernel_deb" | wc -l)" -eq 1 ] || { log "not one kernel package: $kernel_deb"; exit 1; }
mkdir "$work/kernel" "$work/busybox"
dpkg-deb -x "$kernel_deb" "$work/kernel"
dpkg-deb -x "$(ls "$archives"/busybox-static_*_i386.deb)" "$work/busybox"
version=$(basename "$(ls -d "$work"/kernel/lib/modules/*)")
cp "$work/kernel/boot/vmlinuz-$version" "$work/vmlinuz"
python3 "$here/initramfs.py" "$work/initrd.img" "$work/busybox/bin/busybox" \
    "$work/kernel/lib/modules/$version" "$here/initramfs-init.sh" \
    crc16 mbcache jbd2 crc32c_generic ext4 virtio virtio_ring \
    virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci virtio_blk
rm -rf "$work/busybox"
log "kernel $version"

log "unpacking the packages"
# Where debootstrap thinks it runs in a container it makes /proc a link.
if [ -L "$root/proc" ]; then
    $SUDO rm "$root/proc"
    $SUDO mkdir "$root/proc"
fi
# The kernel and the initramfs's tools stay out of the system, but for the
# kernel's modules.
$SUDO python3 "$here/unpack.py" "$root" 'linux-image-*' 'initramfs-tools*'
$SUDO cp -a "$work/kernel/lib/modules" "$root/usr/lib/"
rm -rf "$work/kernel"
$SUDO rm -rf "$root/debootstrap" "$root/var/cache/apt/archives/"*.deb "$root/var/lib/apt/lists/"*
# dpkg in the emulated system need not sync after each file: the image is
# checked after the build anyway.
echo force-unsafe-io | $SUDO tee "$root/etc/dpkg/dpkg.cfg.d/morva" >/dev/null
$SUDO install -m 755 "$here/build-guest.sh" "$root/morva-build.sh"
$SUDO install -m 644 "$here/../wine-session.sh" "$root/morva-session.sh"
$SUDO mkdir -p "$root/payload"

log "root image"
$SUDO mke2fs -q -t ext4 -L morva-root -d "$root" "$work/root.img" 8G >/dev/null
$SUDO chown "$(id -u):$(id -g)" "$work/root.img"
$SUDO rm -rf "$root"

log "booting the emulated system to configure the packages and make the Wine prefix"
set +e
boot_guest "${MORVA_I386_BUILD_TIMEOUT:-5400}" "$work" morva.init=/morva-build.sh \
    -drive "file=$work/root.img,if=virtio,format=raw,cache=unsafe" 9>&- |
    tee "$work/build.log" | sed -u -n 's/^morva-build: /image: guest: /p' >&2
qemu_status=${PIPESTATUS[0]}
set -e
[ "$qemu_status" -eq 0 ] || log "qemu ended with status $qemu_status"

e2fsck -fy "$work/root.img" >"$work/e2fsck.log" 2>&1 || [ $? -le 1 ] ||
    { cat "$work/e2fsck.log" >&2; log "the root image is damaged"; exit 1; }
status=$(debugfs -R 'cat /morva-build-status' "$work/root.img" 2>/dev/null)
if [ "$status" != ok ]; then
    tail -n 40 "$work/build.log" >&2
    log "the build in the emulated system failed: ${status:-it reported nothing}"
    exit 1
fi
rm -f "$work/debootstrap.log" "$work/e2fsck.log"
chmod 755 "$work"
mv -T "$work" "$final"
trap - EXIT
log "image ready: $final"
echo "$final"
