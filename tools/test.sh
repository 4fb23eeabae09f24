#!/usr/bin/env bash
# Builds every preset and runs the whole test suite: native tests under the
# sanitizers, static checks of the 32-bit DLL and its Wine tests under 32-bit
# Wine in the emulated i386 system, and the Wine tests of the 64-bit DLL.
# Installs what is missing first, and makes the emulated system's image once
# per machine (tools/i386/image.sh; kept under ~/.cache/morva/).
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

# One display and one Wine server for all the Wine tests. The display is a
# virtual one of their own even on a desktop, where the user's pointer, keys
# and window manager would otherwise reach the tests' windows.
source tools/wine-session.sh
unset DISPLAY
start_wine_session "$root/build/win64/wineprefix" || exit 1
start_wine_prefix "$root/build/win64/wineprefix-120dpi" 120
trap stop_wine_session EXIT

status=0
ctest --preset native -j "$jobs" "$@" || status=1
ctest --preset win32 "$@" || status=1
ctest --preset win64 -j "$jobs" "$@" || status=1
# What ctest keeps to its logs: the mutation sample, each fault and its
# score, the module's fault sweeps' and the host's file sweeps' summaries of
# both builds.
grep -hE "^(killed|survived|invalid) |^(mutation score|fault sweep|host file sweep):" \
    build/native/Testing/Temporary/LastTest.log build/win64/Testing/Temporary/LastTest.log \
    build/win32/Testing/Temporary/LastTest.log 2>/dev/null || true
exit $status
