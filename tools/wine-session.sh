# Sourced by every script that boots the emulated i386 system or runs Wine
# programs, on this machine and inside the emulated system (image.sh installs
# it there as /morva-session.sh, where /bin/sh may be dash: so plain sh, but
# for the functions marked as this machine's, which only bash runs). The one
# place that boots the emulated system, mounts its file systems and powers it
# off, starts a virtual display, sets Wine's environment, makes a prefix and
# keeps one Wine server for many programs.
# MORVA_WINE names the Wine loader to use (the wine64 one by default),
# MORVA_WINESERVER its server (the one beside it), MORVA_WINEARCH the prefix's
# kind (win64), MORVA_WINEDEBUG Wine's debug channels.

# Exports Wine's environment for the prefix: quiet, no Mono, Gecko or menu
# entries, and a winmm.dll found beside a program before Wine's own.
wine_environment() {
    export WINEPREFIX="$1"
    export WINEARCH="${MORVA_WINEARCH:-win64}"
    export WINEDEBUG="${MORVA_WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=;winmm=n,b"
    WINE=${MORVA_WINE:-/usr/lib/wine/wine64}
    WINESERVER=${MORVA_WINESERVER:-${WINE%/*}/wineserver}
}

# Starts Xvfb on a free display when there is none; WINE_DISPLAY_XVFB is its
# process, or empty. Xvfb itself picks the display and names it once it takes
# connections: probing for a free number instead would let two sessions
# starting together take the same one, and one lose it to the other's stop.
# Fails when Xvfb does not come up.
start_display() {
    WINE_DISPLAY_XVFB=
    [ -z "${DISPLAY:-}" ] || return 0
    local named number
    named=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$named" >/dev/null 2>"$named.err" &
    WINE_DISPLAY_XVFB=$!
    # The number's line ends once Xvfb takes connections.
    while [ "$(wc -l <"$named")" -lt 1 ] && kill -0 "$WINE_DISPLAY_XVFB" 2>/dev/null; do
        sleep 0.1
    done
    number=$(tr -dc 0-9 <"$named")
    if [ -z "$number" ] || ! kill -0 "$WINE_DISPLAY_XVFB" 2>/dev/null; then
        echo "wine-session: Xvfb did not start: $(tail -n 5 "$named.err")" >&2
        rm -f "$named" "$named.err"
        WINE_DISPLAY_XVFB=
        return 1
    fi
    rm -f "$named" "$named.err"
    export DISPLAY=":$number"
}

stop_display() {
    if [ -n "${WINE_DISPLAY_XVFB:-}" ]; then
        kill "$WINE_DISPLAY_XVFB" 2>/dev/null || true
    fi
}

# A new prefix is made once. Its windows are left unmanaged: without a window
# manager, Wine would otherwise wait two seconds for one at every hide. Fails
# when the prefix is not ready; the next call tries again.
#   make_wine_prefix [DPI]    DPI, when given, sets the prefix's dots per inch
make_wine_prefix() {
    local dpi="${1:-}"
    local ready="$WINEPREFIX/.morva-ready"
    [ ! -f "$ready" ] || return 0
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$ready" ]; then
            "$WINE" wineboot -i >/dev/null 2>&1 </dev/null || true
            "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
                >/dev/null 2>&1 </dev/null || true
            if [ -n "$dpi" ]; then
                "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
                    /d "$dpi" /f >/dev/null 2>&1 </dev/null || true
            fi
            # The server writes the registry out when it ends on its own; a
            # killed server would lose the setting.
            "$WINESERVER" -w || true
            if grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" &&
                { [ -z "$dpi" ] ||
                    grep -q "\"LogPixels\"=dword:$(printf %08x "$dpi")" "$WINEPREFIX/user.reg"; }; then
                touch "$ready"
            fi
        fi
    ) 9>"$WINEPREFIX.lock"
    [ -f "$ready" ]
}

# The prefix is brought up to date by a server of its own that ends by itself
# and so saves the prefix's registry; then a persistent server runs for it.
# Wine's own background processes start with the first program and live as
# long as the server: start them here, away from any test's output pipe,
# which they would otherwise hold open.
serve_wine_prefix() {
    "$WINE" wineboot >/dev/null 2>&1 </dev/null || true
    "$WINESERVER" -w || true
    "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
    "$WINE" wineboot >/dev/null 2>&1 </dev/null || true
}

# The prefixes of the session besides the first, one a line.
WINE_SESSION_PREFIXES=

start_wine_session() {
    wine_environment "$1"
    start_display || return 1
    make_wine_prefix || true
    serve_wine_prefix
}

# A further prefix for the session's tests that need other settings, made
# with DPI dots per inch when given, with a persistent server and background
# processes of its own, like the first.
#   start_wine_prefix PREFIX [DPI]
start_wine_prefix() {
    (
        wine_environment "$1"
        make_wine_prefix "${2:-}" || true
        serve_wine_prefix
    ) >/dev/null 2>&1 </dev/null
    WINE_SESSION_PREFIXES="$WINE_SESSION_PREFIXES$1
"
}

stop_wine_session() {
    printf '%s\n' "$WINE_SESSION_PREFIXES" | while IFS= read -r prefix; do
        [ -z "$prefix" ] || WINEPREFIX=$prefix "$WINESERVER" -k >/dev/null 2>&1 || true
    done
    WINE_SESSION_PREFIXES=
    "$WINESERVER" -k >/dev/null 2>&1 || true
    stop_display
}

# This machine's: boots the emulated i386 system from the kernel and
# initramfs in DIR, with ARGS added to the kernel's command line and the
# further qemu arguments (its disks), ended after SECONDS. The console goes to
# stdout; returns qemu's exit code (124 or 137 when the time ran out).
#   boot_guest SECONDS DIR ARGS QEMU_ARG...
# Measured on the suite's programs, the emulation costs least with both
# processors on one thread of this machine (a thread each took a third to a
# half more processor time, keeping them in step) and with no more memory
# than the 32-bit kernel maps directly (3 GB, most of it high memory, took a
# third more).
boot_guest() {
    local limit=$1 dir=$2 args=$3
    shift 3
    timeout -k 30 "$limit" \
        qemu-system-i386 -accel tcg,thread=single -cpu max,smap=off -m 880M -smp 2 \
        -display none -monitor none -serial stdio -no-reboot -nic none \
        -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img" \
        -append "console=ttyS0 panic=-1 quiet loglevel=3 $args" "$@" </dev/null |
        sed -u 's/\r$//'
    return "${PIPESTATUS[0]}"
}

# In the emulated system, as its first process: the file systems a system
# needs beside its root.
guest_mounts() {
    mount -t proc proc /proc
    mount -t sysfs sysfs /sys
    mkdir -p /dev/pts /dev/shm
    mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
    mount -t tmpfs -o mode=1777 tmpfs /dev/shm
    mount -t tmpfs -o mode=1777 tmpfs /tmp
}

# In the emulated system, as its first process: every other process ends, so
# that the disks can be unmounted, and the system powers off.
guest_power_off() {
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
    if mountpoint -q /payload; then
        umount /payload 2>/dev/null || { sync; umount -l /payload; }
    fi
    umount /dev/pts /dev/shm /tmp 2>/dev/null
    mount -o remount,ro / 2>/dev/null || echo "could not remount the root read-only"
    sync
    # Nothing more of the kernel's on the console: power off quietly.
    echo 0 >/proc/sys/kernel/printk
    /bin/busybox poweroff -f
    echo o >/proc/sysrq-trigger
    while :; do sleep 60; done
}
