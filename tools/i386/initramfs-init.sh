#!/bin/sh
# The /init of the emulated i386 system's initramfs (run by busybox sh).
# Loads the modules for the virtio disks and ext4, mounts /dev/vda as the root
# and, with morva.payload on the kernel command line, /dev/vdb at /payload
# inside it, then hands over to the program named by morva.init=.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

fail() {
    echo "initramfs: $*"
    echo o >/proc/sysrq-trigger
    exec sleep 3600
}

while read -r m; do
    insmod "/lib/modules/$m" || fail "cannot load $m"
done </lib/modules/order

init=
disks=/dev/vda
read -r cmdline </proc/cmdline
for arg in $cmdline; do
    case $arg in
    morva.init=*) init=${arg#morva.init=} ;;
    morva.payload) disks="/dev/vda /dev/vdb" ;;
    esac
done
[ -n "$init" ] || fail "no morva.init= on the kernel command line"

# The disks appear once their driver has probed them.
for disk in $disks; do
    n=0
    while [ ! -b "$disk" ]; do
        n=$((n + 1))
        [ $n -le 12000 ] || fail "no $disk"
        usleep 10000
    done
done
mount -t ext4 -o rw /dev/vda /newroot || fail "cannot mount /dev/vda"
if [ -b /dev/vdb ]; then
    mkdir -p /newroot/payload
    mount -t ext4 -o rw /dev/vdb /newroot/payload || fail "cannot mount /dev/vdb"
fi
mount --move /dev /newroot/dev
umount /sys /proc
exec switch_root /newroot "$init"
