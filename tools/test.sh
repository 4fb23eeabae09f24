#!/usr/bin/env bash
# Builds every preset and runs the whole test suite: native tests under the
# sanitizers, static checks of the 32-bit DLL and its Wine tests under 32-bit
# Wine in the emulated i386 system, and the Wine tests of the 64-bit DLL under
# this machine's Wine and again under Debian trixie's Wine 10. Installs what is
# missing first, and makes the emulated system's image and the trixie system
# once per machine (tools/i386/image.sh, tools/trixie/root.sh; kept under
# ~/.cache/morva/). Ends with the whole suite's line, "suite: N passed, M
# failed", and fails when any run did.
#   tools/test.sh [--quick] [ctest arguments, given to each preset's run, e.g. -R SizeFit]
# --quick runs what a change to one folder needs, in a few minutes: the native
# and 64-bit Wine runs only, leaving the emulated 32-bit run and Wine 10 to the
# full command.
#
# The emulated 32-bit run keeps one core of the emulator busy for most of the
# suite, so it starts as soon as the 32-bit build is there, waits for its
# image if need be, and goes on in the background while the other presets
# build and the native, 64-bit and Wine 10 runs take the other core (its
# output is shown when it ends, and kept in build/test-logs/win32.log).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

quick=
if [ "${1:-}" = "--quick" ]; then
    quick=1
    shift
fi

tools/bootstrap.sh || exit 1

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
logs=$root/build/test-logs
rm -rf "$logs"
mkdir -p "$logs"

# The two systems are downloaded and made while the presets build; each
# makes itself once per machine and answers at once after that.
if [ -z "$quick" ]; then
    tools/i386/image.sh >"$logs/image.out" 2>"$logs/image.log" &
    image_maker=$!
    $SUDO tools/trixie/root.sh >"$logs/trixie.out" 2>"$logs/trixie.log" &
    trixie_maker=$!
fi

# Stops the emulated run, when it was started, and fails.
give_up() {
    [ -z "${emulated:-}" ] || kill "$emulated" 2>/dev/null
    exit 1
}

jobs=$(nproc 2>/dev/null || echo 2)
presets=(win32 native win64)
[ -z "$quick" ] || presets=(native win64)
# The emulated run is the longest: what runs beside it yields to it.
beside=()
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null || give_up
    "${beside[@]}" cmake --build --preset "$preset" -j "$jobs" || give_up
    if [ "$preset" = win32 ]; then
        # Its emulated run waits for the image itself (tools/i386/image.sh
        # answers once the maker above is done), and the static checks and
        # the archive's run beside it.
        ctest --preset win32 -j 2 "$@" >"$logs/win32.log" 2>&1 &
        emulated=$!
        beside=(nice -n 10)
        echo "test: the 32-bit run goes on in the background (build/test-logs/win32.log)"
    fi
done

# Waits for a system's maker, showing its log when it failed.
made() {
    wait "$1" && return 0
    cat "$2" >&2
    echo "test: $3 could not be made" >&2
    give_up
}

# Each run's counts, from ctest's closing line, add up to the whole suite's.
status=0
passed=0
failed=0
counts() {
    local line
    line=$(grep -E '% tests passed, [0-9]+ tests failed out of [0-9]+$' "$1" | tail -n 1)
    if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+)$ ]]; then
        passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
        failed=$((failed + BASH_REMATCH[1]))
    fi
}
counted() {
    local out=$logs/$1.log
    shift
    "$@" 2>&1 | tee "$out"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    counts "$out"
}

counted native "${beside[@]}" ctest --preset native -j "$jobs" "$@"

# One display and one Wine server for all the Wine tests. The display is a
# virtual one of their own even on a desktop, where the user's pointer, keys
# and window manager would otherwise reach the tests' windows.
source tools/wine-session.sh
unset DISPLAY
start_wine_session "$root/build/win64/wineprefix" || exit 1
start_wine_prefix "$root/build/win64/wineprefix-120dpi" 120
trap stop_wine_session EXIT
counted win64 "${beside[@]}" ctest --preset win64 -j "$jobs" "$@"
# Wine 10's run writes ctest's log of the same build folder anew.
cp build/win64/Testing/Temporary/LastTest.log "$logs/win64-tests.log" 2>/dev/null
stop_wine_session
trap - EXIT

if [ -z "$quick" ]; then
    # The 64-bit Wine tests once more, under Debian trixie's Wine 10.
    made "$trixie_maker" "$logs/trixie.log" "the trixie system"
    counted wine10 $SUDO "${beside[@]}" tools/trixie/run.sh "$@"
    wait "$emulated" || status=1
    made "$image_maker" "$logs/image.log" "the emulated i386 system"
    cat "$logs/win32.log"
    counts "$logs/win32.log"
fi
# What ctest keeps to its logs: the mutation sample, each fault and its
# score, the module's fault sweeps', the host's file sweeps' and the gesture
# runs' summaries:
# native, 64-bit under Wine 8, then under Wine 10, and 32-bit.
kept=(build/native/Testing/Temporary/LastTest.log "$logs/win64-tests.log")
[ -n "$quick" ] || kept+=(build/{win64,win32}/Testing/Temporary/LastTest.log)
grep -hE "^(killed|survived|invalid) |^(mutation score|fault sweep|host file sweep|gesture run):" \
    "${kept[@]}" 2>/dev/null
echo "suite: $passed passed, $failed failed"
exit $status
