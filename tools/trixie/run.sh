#!/usr/bin/env bash
# Runs the 64-bit build's Wine tests a second time, under Debian trixie's
# Wine 10 (ctest --preset wine10), in the system root.sh makes, and ends with
# the line "wine 10: N passed, M failed". The same programs as under the
# build machine's Wine, with prefixes of their own in build/win64/wine10/.
#   tools/trixie/run.sh [ctest arguments, e.g. -R SizeFit]
# Needs root. The system's /proc, /sys, /dev and /tmp (this machine's, so
# that a display it starts takes a number no other display here has) and the
# source tree (at the same path, so the build's paths hold there) are
# mounted for the run and unmounted after it, whether the tests pass, fail
# or are interrupted: in a mount namespace of the run's own, so that not even
# a killed run leaves a mount behind. A display and a Wine server per prefix
# run in the system for the whole run and are ended with it.
set -uo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
build=$src/build/win64
prefixes=$build/wine10

if [ -z "${MORVA_TRIXIE_ROOT:-}" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "wine 10: mounting and chroot need root" >&2; exit 1; }
    [ -f "$build/CTestTestfile.cmake" ] ||
        { echo "wine 10: no 64-bit build in $build (cmake --preset win64)" >&2; exit 1; }
    MORVA_TRIXIE_ROOT=$(tools/trixie/root.sh) || exit 1
    export MORVA_TRIXIE_ROOT
    exec unshare --mount --propagation private "$src/tools/trixie/run.sh" "$@"
fi
root=$MORVA_TRIXIE_ROOT

# Runs a command in the system, with the environment of a plain login there.
in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        LANG=C.UTF-8 "$@"
}

mounted=()
tester=
# Ends ctest when interrupted and every process this run left in the system
# (Wine's servers and background programs, the display), then unmounts in
# reverse order.
undo() {
    local pid i ns
    ns=$(readlink /proc/self/ns/mnt)
    [ -z "${tester:-}" ] || kill "$tester" 2>/dev/null
    in_root bash -c 'source "$1/tools/wine-session.sh"; wine_environment "$2"
        for p in "$2" "$3"; do WINEPREFIX=$p "$WINESERVER" -k; done' \
        undo "$src" "$prefixes/wineprefix" "$prefixes/wineprefix-120dpi" >/dev/null 2>&1
    for pid in /proc/[0-9]*; do
        [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] &&
            [ "$(readlink "$pid/ns/mnt" 2>/dev/null)" = "$ns" ] && kill -KILL "${pid#/proc/}" 2>/dev/null
    done
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"
    done
    mounted=()
}
trap undo EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mount_in() {
    mkdir -p "$root$2" && mount "${@:3}" "$1" "$root$2" && mounted+=("$root$2")
}
mount_in proc /proc -t proc &&
    mount_in sysfs /sys -t sysfs &&
    mount_in /dev /dev --bind &&
    mount_in shm /dev/shm -t tmpfs -o mode=1777 &&
    mount_in /tmp /tmp --bind &&
    mount_in "$src" "$src" --bind || { echo "wine 10: mounting failed" >&2; exit 1; }

mkdir -p "$prefixes"
display=$(in_root bash -c 'source "$1/tools/wine-session.sh"
    start_wine_session "$2/wineprefix" || exit 1
    start_wine_prefix "$2/wineprefix-120dpi" 120
    echo "$DISPLAY"' session "$src" "$prefixes") ||
    { echo "wine 10: the display or the Wine session did not start" >&2; exit 1; }

# Wine 10 makes and destroys windows, property pages most, about 1.7 times as
# slowly as Wine 8: the soaks run half their rounds, which still shows a leak,
# and so stay within a test's time limit on a busy machine.
export MORVA_SOAK_DIVISOR=${MORVA_SOAK_DIVISOR:-2}
jobs=$(nproc 2>/dev/null || echo 2)
log=$build/Testing/wine10.log
mkdir -p "${log%/*}"
rm -f "$log"
# In the background, so that a signal to this script alone ends the run at
# once rather than when ctest is done.
DISPLAY=$display MORVA_WINE_ROOT=$root MORVA_WINE_PREFIXES=$prefixes \
    ctest --preset wine10 -j "$jobs" -O "$log" "$@" &
tester=$!
wait "$tester"
status=$?
tester=
total=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$log" | tail -n 1)
failed=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of .*/\1/p' "$log" | tail -n 1)
echo "wine 10: $((${total:-0} - ${failed:-0})) passed, ${failed:-0} failed"
exit "$status"
