#!/bin/bash
# Runs as the first process of the emulated i386 system for tools/i386/guest.sh,
# which puts it on the payload disk at /payload/.guest/init. Mounts the system's
# file systems, starts Xvfb on :0 and (unless told not to) a persistent Wine
# server, runs /payload/run.sh with its output to the console and to
# /payload/out/log.txt, writes its exit code to /payload/.guest/status, and
# powers off. Its own lines start with "guest:".
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 TERM=dumb

say() {
    local up
    up=$(cut -d' ' -f1 /proc/uptime)
    echo "guest: [$up s] $*"
}

poweroff_now() {
    # Every process but this one ends, so that the disks can be unmounted
    # (the root disk is a snapshot: Wine's server need not save anything).
    kill -KILL -1 2>/dev/null
    local n=0 pid others=1
    while [ -n "$others" ] && [ $n -lt 100 ]; do
        others=
        for pid in /proc/[0-9]*; do
            pid=${pid#/proc/}
            [ "$pid" = $$ ] || [ ! -s "/proc/$pid/cmdline" ] || others=1
        done
        n=$((n + 1))
        [ -z "$others" ] || sleep 0.05
    done
    sync
    umount /payload 2>/dev/null || { sync; umount -l /payload; }
    umount /dev/pts /dev/shm /tmp 2>/dev/null
    mount -o remount,ro / 2>/dev/null
    sync
    # Nothing more of the kernel's on the console: power off quietly.
    echo 0 >/proc/sys/kernel/printk
    /bin/busybox poweroff -f
    echo o >/proc/sysrq-trigger
    while :; do sleep 60; done
}

fail() {
    say "$*"
    echo "failed: $*" >/payload/.guest/status
    poweroff_now
}

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mkdir -p /dev/pts /dev/shm
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mount -t tmpfs -o mode=1777 tmpfs /tmp
hostname morva-i386
mountpoint -q /payload || fail "no payload disk at /payload"
mkdir -p /payload/out

persistent=1
read -r -a cmdline </proc/cmdline
for arg in "${cmdline[@]}"; do
    case $arg in
    morva.noserver) persistent= ;;
    esac
done

# shellcheck source=/dev/null
source /etc/morva/wine.env || fail "no /etc/morva/wine.env in the image"
say "booted"

Xvfb :0 -screen 0 1280x1024x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
xvfb=$!
disown
while [ ! -e /tmp/.X11-unix/X0 ]; do
    kill -0 "$xvfb" 2>/dev/null || fail "Xvfb did not start: $(cat /tmp/xvfb.log)"
    sleep 0.05
done

export DISPLAY=:0 WINEPREFIX=$MORVA_PREFIX WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=;winmm=n,b"
export MORVA_WINE MORVA_WINESERVER
if [ -n "$persistent" ]; then
    # The server leaves the foreground once its socket is ready.
    "$MORVA_WINESERVER" -p || fail "the Wine server did not start"
    say "Xvfb and a persistent Wine server ready"
else
    say "Xvfb ready"
fi

cd /payload || fail "cannot enter /payload"
# run.sh writes to the log, which is copied to the console as it grows: a pipe
# would stay open as long as any program it started (Wine's services) lives.
/payload/run.sh </dev/null >/payload/out/log.txt 2>&1 &
run=$!
tail -n +1 -s 0.1 -f --pid=$run /payload/out/log.txt &
tail=$!
wait $run
status=$?
wait $tail
say "run.sh exited with $status"
echo "$status" >/payload/.guest/status
cd /
poweroff_now
