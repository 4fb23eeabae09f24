#!/bin/sh
# In the emulated system (tools/i386/suite.sh's payload): every run of the
# list tests/i686-runs.txt, each in a Wine process of its own (or, for the
# live run, a script of the payload's).
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
    unset MORVA_X87_PRECISION MORVA_GESTURES
    for setting in $(echo "$settings" | tr , ' '); do
        case "$setting" in
        x87-*) export MORVA_X87_PRECISION=${setting#x87-} ;;
        gestures-*) export MORVA_GESTURES=${setting#gestures-} ;;
        dpi-*)
            "$MORVA_WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
                /d "${setting#dpi-}" /f >/dev/null 2>&1 </dev/null
            ;;
        esac
    done
    rc=0
    case "$program" in
    *_test.exe)
        "$MORVA_WINE" "$program" --gtest_output="xml:..\\out\\$name.xml" \
            >"../out/$name.txt" 2>&1 </dev/null || rc=$?
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
