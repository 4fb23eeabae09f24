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
# Under the second Wine (ctest --preset wine10, which tools/trixie/run.sh
# runs), the program runs in that Wine's system, with prefixes of its own.
if [ -n "${MORVA_WINE_IN_ROOT:-}" ]; then
    [ -n "${MORVA_WINE_ROOT:-}" ] && [ -e "$MORVA_WINE_ROOT/proc/self" ] ||
        { echo "wine-run: the second Wine's system is not mounted (tools/trixie/run.sh)" >&2; exit 1; }
    prefix=$MORVA_WINE_PREFIXES/$(basename "${prefix:-wineprefix}")
    exec chroot "$MORVA_WINE_ROOT" /usr/bin/env -u LC_ALL -u MORVA_WINE_IN_ROOT \
        PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 /bin/bash -c 'cd "$1" && shift && exec "$@"' \
        wine-run "$PWD" "$(cd "$(dirname "$0")" && pwd)/wine-run.sh" --prefix "$prefix" ${dpi:+--dpi "$dpi"} "$@"
fi
source "$(dirname "${BASH_SOURCE[0]}")/wine-session.sh"
wine_environment "${prefix:-${WINEPREFIX:-$PWD/wineprefix}}"

out=
err=
cleanup() {
    stop_display
    rm -f "$out" "$err"
}
trap cleanup EXIT
start_display
# A prefix left unfinished is tried again by the next program.
make_wine_prefix "$dpi" || true

# Wine starts its desktop process from whichever program first needs it, and
# that process keeps the program's output open until the desktop falls
# idle, long after the program ends while other programs use the session:
# a caller that reads the output to its end, as ctest does, would wait for
# it. So the program writes into files, copied out as it runs.
out=$(mktemp)
err=$(mktemp)
run_program() {
    local status=0 program copy_out copy_err
    "$WINE" "$@" >"$out" 2>"$err" &
    program=$!
    tail -q -n +1 -s 0.1 --pid="$program" -f "$out" &
    copy_out=$!
    tail -q -n +1 -s 0.1 --pid="$program" -f "$err" >&2 &
    copy_err=$!
    wait "$program" || status=$?
    wait "$copy_out" "$copy_err" || true
    return "$status"
}
status=0
run_program "$@" || status=$?
# Every test program writes before it can fail. One that failed without a
# word was never started by Wine (whose own messages are silenced), which a
# busy machine sees now and then: it is run once more, and that is said.
if [ "$status" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
    echo "wine-run: $1 ended with status $status before writing anything; running it again" >&2
    status=0
    run_program "$@" || status=$?
fi
exit "$status"
