#!/usr/bin/env bash
# Makes, once per machine, the Debian trixie system in which the 64-bit Wine
# tests run a second time, under its Wine 10, and prints the path of its root.
#   tools/trixie/root.sh
# The root is ${MORVA_TRIXIE_CACHE:-$HOME/.cache/morva/trixie}/KEY/root, with
# build.log beside it. KEY is a hash of this script and the package list, so
# the system is made anew when one of them changes (folders of older keys
# stay until removed by hand). Concurrent callers wait for one build; an
# interrupted build leaves nothing the next one takes for done. Progress goes
# to stderr. MORVA_TRIXIE_MIRROR overrides the Debian mirror (by default the
# one apt uses, as for the emulated i386 system).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${MORVA_TRIXIE_CACHE:-$HOME/.cache/morva/trixie}
suite=trixie

start=$SECONDS
log() {
    local t=$((SECONDS - start))
    printf 'trixie: [%2d:%02d] %s\n' $((t / 60)) $((t % 60)) "$*" >&2
}

key=$({
    echo "$suite"
    cat "$here/root.sh" "$here/packages"
} | sha256sum | cut -c1-16)
final=$cache/$key
if [ -d "$final" ]; then
    echo "$final/root"
    exit 0
fi

mkdir -p "$cache"
exec 9>"$cache/.lock"
if ! flock -n 9; then
    log "waiting for another build of the system to end"
    flock 9
fi
if [ -d "$final" ]; then
    echo "$final/root"
    exit 0
fi

[ "$(id -u)" -eq 0 ] || { echo "trixie: debootstrap and chroot need root" >&2; exit 1; }
export PATH=$PATH:/usr/sbin:/sbin
command -v debootstrap >/dev/null ||
    { echo "trixie: debootstrap is missing (tools/bootstrap.sh installs it)" >&2; exit 1; }

# Builds that were interrupted leave their folders; this one holds the lock.
# A folder still holding mounts is left alone rather than emptied through them.
for old in "$cache"/.build-*; do
    [ -e "$old" ] || continue
    if grep -q " $old/" /proc/mounts; then
        log "left alone, still mounted: $old"
    else
        rm -rf "$old"
    fi
done
work=$(mktemp -d "$cache/.build-$key.XXXXXX")
trap 'grep -q " $work/" /proc/mounts || rm -rf "$work"' EXIT

mirror=${MORVA_TRIXIE_MIRROR:-}
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

log "building the system $key in $work"
log "debootstrap ($suite amd64 from $mirror)"
root=$work/root
debootstrap --arch=amd64 --variant=minbase --include="$include" \
    "$suite" "$root" "$mirror" >"$work/build.log" 2>&1 9>&- || {
    tail -n 20 "$work/build.log" >&2
    log "debootstrap failed"
    exit 1
}
rm -rf "$root/var/cache/apt/archives/"*.deb "$root/var/lib/apt/lists/"*
# The loader and server wine-session.sh expects.
for f in usr/lib/wine/wine64 usr/lib/wine/wineserver usr/bin/Xvfb; do
    [ -x "$root/$f" ] || { log "the system lacks /$f"; exit 1; }
done
chmod 755 "$work"
mv -T "$work" "$final"
trap - EXIT
log "system ready: $final/root ($(du -sh "$final" | cut -f1))"
echo "$final/root"
