#!/usr/bin/env bash
# Builds every preset and runs the whole test suite: native tests under the
# sanitizers, static checks of the 32-bit DLL and its Wine tests under 32-bit
# Wine in the emulated i386 system, and the Wine tests of the 64-bit DLL under
# this machine's Wine and again under Debian trixie's Wine 10. Installs what is
# missing first, and makes the emulated system's image and the trixie system
# once per machine (tools/i386/image.sh, tools/trixie/root.sh; kept under
# ~/.cache/morva/). Ends with the whole suite's line, "suite: N passed, M
# failed", and fails when any run did.
#   tools/test.sh [ctest arguments, given to each preset's run, e.g. -R SizeFit]
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

tools/bootstrap.sh || exit 1

jobs=$(nproc 2>/dev/null || echo 2)
for preset in native win32 win64; do
    cmake --preset "$preset" >/dev/null || exit 1
    cmake --build --preset "$preset" -j "$jobs" || exit 1
done

# Made here rather than inside a test, so that its first build on a new
# machine is not held to a test's time limit.
tools/i386/image.sh >/dev/null || exit 1
# The trixie system is made, mounted and entered as root.
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO tools/trixie/root.sh >/dev/null || exit 1

# One display and one Wine server for all the Wine tests. The display is a
# virtual one of their own even on a desktop, where the user's pointer, keys
# and window manager would otherwise reach the tests' windows.
source tools/wine-session.sh
unset DISPLAY
start_wine_session "$root/build/win64/wineprefix" || exit 1
start_wine_prefix "$root/build/win64/wineprefix-120dpi" 120
trap stop_wine_session EXIT

# Each run's counts, from ctest's closing line, add up to the whole suite's.
status=0
passed=0
failed=0
counted() {
    local out line
    out=$(mktemp)
    "$@" | tee "$out"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    line=$(grep -E '% tests passed, [0-9]+ tests failed out of [0-9]+$' "$out" | tail -n 1)
    rm -f "$out"
    if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+)$ ]]; then
        passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
        failed=$((failed + BASH_REMATCH[1]))
    fi
}
counted ctest --preset native -j "$jobs" "$@"
counted ctest --preset win32 "$@"
counted ctest --preset win64 -j "$jobs" "$@"
stop_wine_session
trap - EXIT
# What ctest keeps to its logs: the mutation sample, each fault and its
# score, the module's fault sweeps' and the host's file sweeps' summaries of
# both builds.
grep -hE "^(killed|survived|invalid) |^(mutation score|fault sweep|host file sweep):" \
    build/native/Testing/Temporary/LastTest.log build/win64/Testing/Temporary/LastTest.log \
    build/win32/Testing/Temporary/LastTest.log 2>/dev/null || true
# The 64-bit Wine tests once more, under Debian trixie's Wine 10.
counted $SUDO tools/trixie/run.sh "$@"
echo "suite: $passed passed, $failed failed"
exit $status
