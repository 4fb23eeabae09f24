#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine with a prefix of its own inside the
# build folder. Used as CMake's cross-compiling emulator for the test programs.
#   wine-run.sh --prefix DIR [--dpi N] program.exe [args...]
# Starts Xvfb when there is no display; loads a winmm.dll found beside the
# program in place of Wine's own. --dpi gives a prefix made now that many
# dots per inch (96 otherwise), which scales fonts and dialog units.
set -euo pipefail

prefix=
dpi=
while [ $# -gt 0 ]; do
    case "$1" in
        --prefix) prefix=$2; shift 2 ;;
        --dpi) dpi=$2; shift 2 ;;
        *) break ;;
    esac
done
[ -n "$prefix" ] || prefix=${WINEPREFIX:-$PWD/wineprefix}

export WINEPREFIX=$prefix
export WINEARCH=win64
export WINEDEBUG=${MORVA_WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=;winmm=n,b"
WINE=${MORVA_WINE:-/usr/lib/wine/wine64}

xvfb_pid=
out=
err=
cleanup() {
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    rm -f "$out" "$err"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 150); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            xvfb_pid=$!
            export DISPLAY=":$n"
            for _ in $(seq 50); do
                [ -e "/tmp/.X11-unix/X$n" ] && break
                sleep 0.1
            done
            break
        fi
    done
fi

# A new prefix is made once. Its windows are left unmanaged: without a window
# manager, Wine would otherwise wait two seconds for one at every hide.
ready=$WINEPREFIX/.morva-ready
if [ ! -f "$ready" ]; then
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
            "${WINE%/*}/wineserver" -w || true
            if grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" &&
                { [ -z "$dpi" ] ||
                    grep -q "\"LogPixels\"=dword:$(printf %08x "$dpi")" "$WINEPREFIX/user.reg"; }; then
                touch "$ready"
            fi
        fi
    ) 9>"$WINEPREFIX.lock"
fi

# Wine starts its desktop process from whichever program first needs it, and
# that process keeps the program's output open until the desktop falls
# idle, long after the program ends while other programs use the session:
# a caller that reads the output to its end, as ctest does, would wait for
# it. So the program writes into files, copied out as it runs.
out=$(mktemp)
err=$(mktemp)
status=0
"$WINE" "$@" >"$out" 2>"$err" &
program=$!
tail -q -n +1 -s 0.1 --pid="$program" -f "$out" &
copy_out=$!
tail -q -n +1 -s 0.1 --pid="$program" -f "$err" >&2 &
copy_err=$!
wait "$program" || status=$?
wait "$copy_out" "$copy_err" || true
exit "$status"
