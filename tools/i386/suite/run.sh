#!/bin/sh
# In the emulated system (tools/i386/suite.sh's payload): every run of the
# list tests/i686-runs.txt, each in a Wine process of its own (or, for the
# live run, a script of the payload's); with
# "fresh=PATTERN" among its settings, the tests PATTERN matches (a gtest
# filter) each in a process of its own, and the others in one more.
# Test filters hold "*": no word of a setting is a file name.
set -f
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
    fresh=
    for setting in $(echo "$settings" | tr , ' '); do
        case "$setting" in
        x87-*) export MORVA_X87_PRECISION=${setting#x87-} ;;
        dpi-*)
            "$MORVA_WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
                /d "${setting#dpi-}" /f >/dev/null 2>&1 </dev/null
            ;;
        fresh=*) fresh=${setting#fresh=} ;;
        esac
    done
    rc=0
    case "$program" in
    *_test.exe)
        if [ -n "$fresh" ]; then
            mkdir -p "../out/$name"
            "$MORVA_WINE" "$program" --gtest_list_tests --gtest_filter="$fresh" </dev/null 2>/dev/null |
                tr -d '\r' | awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }' >"../out/$name.list"
            [ -s "../out/$name.list" ] || rc=1
            "$MORVA_WINE" "$program" --gtest_filter="-$fresh" \
                --gtest_output="xml:..\\out\\$name\\0.xml" >"../out/$name.txt" 2>&1 </dev/null || rc=1
            n=0
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
    *.sh)
        "../$program" "/payload/out/$name" >"../out/$name.txt" 2>&1 </dev/null || rc=$?
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
