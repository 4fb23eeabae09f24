#!/bin/sh
# Runs as the first process of the emulated i386 system while its image is
# built (tools/i386/image.sh copies it to /morva-build.sh in the root): runs
# the preinst scripts and the configuration of the packages unpacked on the
# host (tools/i386/unpack.py), makes root's Wine prefix, checks the ALSA
# sequencer modules load, and powers off. Lines starting with "morva-build:"
# are the progress image.sh shows; /morva-build-status says how it ended.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C
export DEBIAN_FRONTEND=noninteractive DEBCONF_NONINTERACTIVE_SEEN=true

say() {
    up=$(cut -d' ' -f1 /proc/uptime 2>/dev/null)
    echo "morva-build: [${up:-?} s] $*"
}

finish() {
    echo "$1" >/morva-build-status
    say "done: $1"
    [ -z "${server:-}" ] || "$server" -k 2>/dev/null
    kill -KILL -1 2>/dev/null
    sync
    umount /dev/pts /dev/shm /tmp 2>/dev/null
    mount -o remount,ro / || say "could not remount the root read-only"
    sync
    echo o >/proc/sysrq-trigger
    while :; do sleep 60; done
}

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mkdir -p /dev/pts /dev/shm
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mount -t tmpfs -o mode=1777 tmpfs /tmp

# As debootstrap's second stage does: no daemons start, awk is mawk until
# mawk's own configuration makes the link.
printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
chmod 755 /usr/sbin/policy-rc.d
mv /usr/sbin/start-stop-daemon /usr/sbin/start-stop-daemon.REAL
printf '#!/bin/sh\necho "Warning: Fake start-stop-daemon called, doing nothing"\n' \
    >/usr/sbin/start-stop-daemon
chmod 755 /usr/sbin/start-stop-daemon
[ -e /usr/bin/awk ] || ln -s mawk /usr/bin/awk

say "preinst scripts"
export DPKG_MAINTSCRIPT_NAME=preinst DPKG_MAINTSCRIPT_ARCH=i386 DPKG_ROOT=
while read -r name; do
    script=/var/lib/dpkg/info/$name.preinst
    [ -x "$script" ] || continue
    DPKG_MAINTSCRIPT_PACKAGE=${name%%:*} "$script" install </dev/null ||
        say "warning: the preinst of $name failed"
done </morva-packages
unset DPKG_MAINTSCRIPT_NAME DPKG_MAINTSCRIPT_ARCH DPKG_ROOT
[ "$(readlink /usr/bin/awk)" != mawk ] || rm /usr/bin/awk

say "configuring the packages"
core=
for p in base-passwd base-files dpkg libc6 perl-base mawk debconf; do
    grep -q "^$p\(:i386\)\?\$" /morva-packages && core="$core $p"
done
# shellcheck disable=SC2086
dpkg --configure --force-depends --force-configure-any $core </dev/null ||
    finish "configuring the core packages failed"
dpkg --configure -a --force-confold </dev/null || finish "configuring the packages failed"

# The packages' files came without dpkg, so no trigger fired: fire them all.
say "triggers"
for t in $(cut -d' ' -f1 /var/lib/dpkg/triggers/File 2>/dev/null) /var/lib/dpkg/triggers/*; do
    case $t in
    /var/lib/dpkg/triggers/File | /var/lib/dpkg/triggers/Lock | /var/lib/dpkg/triggers/Unincorp) continue ;;
    /var/lib/dpkg/triggers/*) t=${t#/var/lib/dpkg/triggers/} ;;
    esac
    dpkg-trigger --no-await "$t" || say "warning: trigger $t did not fire"
done
dpkg --configure -a --force-confold </dev/null || finish "running the triggers failed"
dpkg --audit || finish "dpkg finds packages not fully installed"
ldconfig
mv /usr/sbin/start-stop-daemon.REAL /usr/sbin/start-stop-daemon
rm -f /usr/sbin/policy-rc.d /morva-packages
depmod -a "$(ls /lib/modules)" || finish "depmod failed"
say "packages configured"

echo morva-i386 >/etc/hostname
printf '127.0.0.1\tlocalhost morva-i386\n' >/etc/hosts
hostname morva-i386

# Where Wine is: the 32-bit loader and server, and root's prefix.
wine=
for w in /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine; do
    [ -x "$w" ] && wine=$w && break
done
server=
for s in /usr/lib/wine/wineserver32 /usr/lib/wine/wineserver /usr/bin/wineserver; do
    [ -x "$s" ] && server=$s && break
done
if [ -z "$wine" ] || [ -z "$server" ]; then
    finish "no 32-bit wine or wineserver found"
fi
mkdir -p /etc/morva
cat >/etc/morva/wine.env <<EOF
MORVA_WINE=$wine
MORVA_WINESERVER=$server
MORVA_PREFIX=/root/prefix
EOF
say "wine is $wine, its server $server"

Xvfb :0 -screen 0 1280x1024x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
xvfb=$!
while [ ! -e /tmp/.X11-unix/X0 ]; do
    kill -0 "$xvfb" 2>/dev/null || finish "Xvfb did not start: $(cat /tmp/xvfb.log)"
    sleep 0.1
done
say "Xvfb ready"

export DISPLAY=:0 WINEPREFIX=/root/prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
"$wine" wineboot --init </dev/null || finish "wineboot failed"
say "prefix made"
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null ||
    finish "reg add failed"
# The server saves the registry when it ends by itself.
"$server" -w
grep -q '"Managed"="N"' /root/prefix/user.reg || finish "the prefix's registry lacks Managed=N"
say "prefix saved"

# The ALSA sequencer modules, for tests of a real MIDI path.
missing=
for m in snd-seq snd-seq-dummy snd-aloop snd-seq-midi-event snd-timer; do
    modinfo "$m" >/dev/null 2>&1 || missing="$missing $m"
done
[ -z "$missing" ] || finish "kernel modules missing:$missing"
modprobe snd-seq-dummy || finish "modprobe snd-seq-dummy failed"
say "modprobe snd-seq-dummy loaded: $(cut -d' ' -f1 /proc/modules | grep '^snd' | tr '\n' ' ')"
say "sequencer clients: $(grep '^Client  *[0-9]' /proc/asound/seq/clients | tr '\n' ' ')"

finish ok
