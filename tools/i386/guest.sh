#!/usr/bin/env bash
# Runs a payload under 32-bit Wine in the emulated i386 Debian system and
# brings its outputs back.
#   tools/i386/guest.sh [--timeout SECONDS] [--room MB] [--no-server] PAYLOAD_DIR OUT_DIR
# PAYLOAD_DIR holds an executable run.sh and whatever it needs (symbolic links
# are copied as links, so give it the files themselves); it becomes a disk of
# its own, with --room MB free (default 1024), mounted at /payload in the
# guest. There run.sh runs as root with /payload as its folder and, set:
#   DISPLAY (Xvfb's, 1280x1024x24), WINEPREFIX (a prepared 32-bit prefix) and
#   the rest of Wine's environment as tools/wine-session.sh sets it,
#   MORVA_WINE (the 32-bit wine loader), MORVA_WINESERVER (its server).
# A persistent Wine server is running for the prefix unless --no-server is
# given. run.sh's output streams to stdout and to out/log.txt; whatever it
# leaves in /payload/out is copied into OUT_DIR. Exits with run.sh's exit code,
# 124 when the guest ran out of its --timeout (default 3600 seconds), 125 when
# it ended without reporting one. The cached image (tools/i386/image.sh, built
# first when missing) is never changed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../wine-session.sh"
export PATH=$PATH:/usr/sbin:/sbin

timeout=3600
room=1024
server=1
while [ $# -gt 0 ]; do
    case $1 in
    --timeout) timeout=$2; shift 2 ;;
    --room) room=$2; shift 2 ;;
    --no-server) server=; shift ;;
    --) shift; break ;;
    -*) echo "guest.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
if [ $# -ne 2 ]; then
    sed -n '2,19s/^# \?//p' "$0" >&2
    exit 2
fi
payload=$1
out=$2
[ -x "$payload/run.sh" ] || { echo "guest.sh: no executable $payload/run.sh" >&2; exit 2; }

image=$("$here/image.sh")

work=$(mktemp -d "${TMPDIR:-/tmp}/morva-i386.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The payload's disk: its files, the guest's init, room for the outputs.
size=$(( $(du -sk "$payload" | cut -f1) / 1024 + room + 16 ))
mke2fs -q -t ext4 -L payload -E root_owner=0:0 -d "$payload" "$work/payload.img" "${size}M" >/dev/null
cat >"$work/debugfs.cmd" <<EOF
mkdir .guest
write $here/guest-init.sh .guest/init
sif .guest/init mode 0100755
sif .guest/init uid 0
sif .guest/init gid 0
mkdir out
EOF
debugfs -w -f "$work/debugfs.cmd" "$work/payload.img" >/dev/null 2>&1
debugfs -R 'stat .guest/init' "$work/payload.img" 2>/dev/null | grep -q 'Mode:  0755' ||
    { echo "guest.sh: could not write the guest's init to the payload disk" >&2; exit 1; }

append="morva.init=/payload/.guest/init morva.payload"
[ -n "$server" ] || append="$append morva.noserver"
qemu_status=0
boot_guest "$timeout" "$image" "$append" \
    -drive "file=$image/root.img,if=virtio,format=raw,snapshot=on" \
    -drive "file=$work/payload.img,if=virtio,format=raw" || qemu_status=$?

e2fsck -fy "$work/payload.img" >"$work/e2fsck.log" 2>&1 || [ $? -le 1 ] ||
    { cat "$work/e2fsck.log" >&2; echo "guest.sh: the payload disk is damaged" >&2; }
mkdir -p "$out" "$work/back"
debugfs -R "rdump /out $work/back" "$work/payload.img" >/dev/null 2>&1 || true
[ ! -d "$work/back/out" ] || cp -a "$work/back/out/." "$out/"
status=$(debugfs -R 'cat /.guest/status' "$work/payload.img" 2>/dev/null || true)

if [[ $status =~ ^[0-9]+$ ]]; then
    exit "$status"
fi
if [ "$qemu_status" -eq 124 ] || [ "$qemu_status" -eq 137 ]; then
    echo "guest.sh: the guest did not finish within $timeout seconds" >&2
    exit 124
fi
echo "guest.sh: the guest ended without an exit code from run.sh" \
    "(${status:-no status}; qemu's status $qemu_status)" >&2
exit 125
