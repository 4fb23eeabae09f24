#!/usr/bin/env bash
# Runs the 32-bit Wine test programs against the 32-bit morva.dll under 32-bit
# Wine in the emulated i386 system: one boot, one Wine process per run.
#   suite.sh BUILD_DIR        (a win32 build with its tests, e.g. build/win32)
# The runs are listed in BUILD_DIR/tests/i686-runs.txt, written by CMake, one
# per line: NAME PROGRAM SETTINGS [ARGUMENTS...], where SETTINGS is "-" (as
# the program's start-up leaves things) or a comma-separated list of x87-53 or
# x87-64 (the x87 unit's precision, set before the tests), dpi-120 (the
# prefix's dots per inch, from then on: such runs come last) and each (every
# test in a process of its own, for programs whose tests need a fresh module). Each gtest run leaves
# BUILD_DIR/i686/out/NAME.xml (or NAME/*.xml), NAME.txt and NAME.rc;
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
cat >"$work/payload/run.sh" <<'GUEST'
#!/bin/sh
# In the guest: every run of the list, each in a Wine process of its own, or
# with "each" among its settings, each of its tests in a process of its own.
cd /payload/tests || exit 1
mkdir -p ../out
# The soaks keep their shape at a twentieth of their counts here, and a
# missing window or box is given six times as long to show.
export MORVA_SOAK_DIVISOR=20 MORVA_WAIT_SCALE=6
status=0
while read -r name program settings args; do
    [ -n "$name" ] || continue
    echo "== $name"
    start=$(date +%s)
    unset MORVA_X87_PRECISION
    each=
    for setting in $(echo "$settings" | tr , ' '); do
        case "$setting" in
        x87-*) export MORVA_X87_PRECISION=${setting#x87-} ;;
        dpi-*)
            "$MORVA_WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
                /d "${setting#dpi-}" /f >/dev/null 2>&1 </dev/null
            ;;
        each) each=1 ;;
        esac
    done
    rc=0
    case "$program" in
    *_test.exe)
        if [ -n "$each" ]; then
            mkdir -p "../out/$name"
            "$MORVA_WINE" "$program" --gtest_list_tests </dev/null 2>/dev/null | tr -d '\r' |
                awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }' >"../out/$name.list"
            n=0
            : >"../out/$name.txt"
            while read -r test; do
                n=$((n + 1))
                "$MORVA_WINE" "$program" --gtest_filter="$test" \
                    --gtest_output="xml:..\\out\\$name\\$n.xml" \
                    >>"../out/$name.txt" 2>&1 </dev/null || rc=1
            done <"../out/$name.list"
        else
            "$MORVA_WINE" "$program" --gtest_output="xml:..\\out\\$name.xml" \
                >"../out/$name.txt" 2>&1 </dev/null || rc=$?
        fi
        ;;
    *)
        # shellcheck disable=SC2086
        "$MORVA_WINE" "$program" $args >"../out/$name.txt" 2>&1 </dev/null || rc=$?
        ;;
    esac
    echo "$rc" >"../out/$name.rc"
    tail -n 3 "../out/$name.txt"
    echo "== $name exit $rc, $(($(date +%s) - start)) s"
    [ "$rc" -eq 0 ] || status=1
done <i686-runs.txt
exit $status
GUEST
chmod +x "$work/payload/run.sh"

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
