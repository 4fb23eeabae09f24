#!/bin/bash
# Runs as the first process of the emulated i386 system for tools/i386/guest.sh,
# which puts it on the payload disk at /payload/.guest/init. Mounts the system's
# file systems, starts Xvfb and (unless told not to) a persistent Wine server,
# runs /payload/run.sh with its output to the console and to
# /payload/out/log.txt, writes its exit code to /payload/.guest/status, and
# powers off, all through the image's copy of tools/wine-session.sh. Its own
# lines start with "guest:".
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 TERM=dumb
# shellcheck source=../wine-session.sh
source /morva-session.sh || exec /bin/busybox poweroff -f

say() {
    local up
    up=$(cut -d' ' -f1 /proc/uptime)
    echo "guest: [$up s] $*"
}

fail() {
    say "$*"
    echo "failed: $*" >/payload/.guest/status
    guest_power_off
}

guest_mounts
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

start_display || fail "Xvfb did not start"
# Xvfb ends with the rest at power-off, without a notice on the console.
disown -a
wine_environment "$MORVA_PREFIX"
export MORVA_WINE MORVA_WINESERVER
if [ -n "$persistent" ]; then
    # The server leaves the foreground once its socket is ready.
    "$WINESERVER" -p || fail "the Wine server did not start"
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
guest_power_off
