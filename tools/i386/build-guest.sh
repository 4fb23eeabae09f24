#!/bin/sh
# Runs as the first process of the emulated i386 system while its image is
# built (tools/i386/image.sh copies it to /morva-build.sh in the root): runs
# the preinst scripts and the configuration of the packages unpacked on the
# host (tools/i386/unpack.py), makes root's Wine prefix, checks the ALSA
# sequencer modules load, and powers off, through the image's copy of
# tools/wine-session.sh (/morva-session.sh). Lines starting with "morva-build:"
# are the progress image.sh shows; /morva-build-status says how it ended.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C
export DEBIAN_FRONTEND=noninteractive DEBCONF_NONINTERACTIVE_SEEN=true
# shellcheck source=../wine-session.sh
. /morva-session.sh

say() {
    up=$(cut -d' ' -f1 /proc/uptime 2>/dev/null)
    echo "morva-build: [${up:-?} s] $*"
}

finish() {
    echo "$1" >/morva-build-status
    say "done: $1"
    [ -z "${WINESERVER:-}" ] || "$WINESERVER" -k 2>/dev/null
    guest_power_off
}

guest_mounts

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
MORVA_WINE=
for w in /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine; do
    [ -x "$w" ] && MORVA_WINE=$w && break
done
MORVA_WINESERVER=
for s in /usr/lib/wine/wineserver32 /usr/lib/wine/wineserver /usr/bin/wineserver; do
    [ -x "$s" ] && MORVA_WINESERVER=$s && break
done
if [ -z "$MORVA_WINE" ] || [ -z "$MORVA_WINESERVER" ]; then
    finish "no 32-bit wine or wineserver found"
fi
MORVA_WINEARCH=win32
MORVA_PREFIX=/root/prefix
mkdir -p /etc/morva
printf 'MORVA_WINE=%s\nMORVA_WINESERVER=%s\nMORVA_WINEARCH=%s\nMORVA_PREFIX=%s\n' \
    "$MORVA_WINE" "$MORVA_WINESERVER" "$MORVA_WINEARCH" "$MORVA_PREFIX" >/etc/morva/wine.env
say "wine is $MORVA_WINE, its server $MORVA_WINESERVER"

start_display || finish "Xvfb did not start"
say "Xvfb ready"
wine_environment "$MORVA_PREFIX"
make_wine_prefix || finish "the prefix was not made, or its registry lacks Managed=N"
say "prefix made and saved"

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
