#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine with a prefix of its own inside the
# build folder. Used as CMake's cross-compiling emulator for the test programs.
#   wine-run.sh --prefix DIR program.exe [args...]
# Starts Xvfb when there is no display; loads a winmm.dll found beside the
# program in place of Wine's own.
set -euo pipefail

prefix=
if [ "${1:-}" = "--prefix" ]; then
    prefix=$2
    shift 2
fi
source "$(dirname "${BASH_SOURCE[0]}")/wine-session.sh"
wine_environment "${prefix:-${WINEPREFIX:-$PWD/wineprefix}}"
trap stop_display EXIT
start_display
make_wine_prefix
"$WINE" "$@"
