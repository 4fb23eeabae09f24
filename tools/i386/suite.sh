#!/usr/bin/env bash
# Runs the 32-bit Wine test programs against the 32-bit morva.dll under 32-bit
# Wine in the emulated i386 system: one boot, one Wine process per run
# (suite/run.sh, the payload's script).
#   suite.sh BUILD_DIR        (a win32 build with its tests, e.g. build/win32)
# The runs are listed in BUILD_DIR/tests/i686-runs.txt, written by CMake, one
# per line: NAME PROGRAM SETTINGS [ARGUMENTS...], where SETTINGS is "-" (as
# the program's start-up leaves things) or a comma-separated list of x87-53 or
# x87-64 (the x87 unit's precision, set before the tests), gestures-N (the
# gesture run's count) and dpi-120 (the prefix's dots per inch, from then on:
# such runs come last). A PROGRAM
# ending in .sh is a script of the payload's (the live run,
# tools/i386/live/run.sh, given out/NAME for its files). Each gtest run leaves
# BUILD_DIR/i686/out/NAME.xml, NAME.txt and NAME.rc;
# results.py reads them. MORVA_I686_RUNS, a regular expression, keeps only the
# runs whose names it matches.
set -euo pipefail
build=$(cd "${1:?usage: suite.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$build/i686
rm -rf "$work/payload" "$work/out"
mkdir -p "$work/payload/tests" "$work/payload/capture" "$work/out"

cp "$build"/tests/*.exe "$build"/tests/*.dll "$work/payload/tests/"
grep -E "^(${MORVA_I686_RUNS:-.*}) " "$build/tests/i686-runs.txt" >"$work/payload/tests/i686-runs.txt"
cp "$build/capture/winmm.dll" "$work/payload/capture/"
cp "$here/suite/run.sh" "$work/payload/"
# The live run's demo and module, with no winmm.dll beside them (live/run.sh).
mkdir "$work/payload/live"
cp "$build/demo/morvademo.exe" "$build/demo/morva.dll" "$here/live/run.sh" "$work/payload/live/"
printf '11\nMidi Through Port-0\n' >"$work/payload/live/args"

# A failed run is reported by its own test; the boot itself must succeed.
set +e
"$here/guest.sh" --timeout "${MORVA_I386_TIMEOUT:-3000}" "$work/payload" "$work/out"
rc=$?
set -e
if [ ! -f "$work/out/log.txt" ]; then
    echo "suite: the emulated system did not report (exit $rc)" >&2
    exit 1
fi
echo "suite: guest finished with exit $rc; results in $work/out"
exit 0
