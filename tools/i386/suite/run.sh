#!/bin/sh
# In the emulated system (tools/i386/suite.sh's payload): every run of the
# list tests/i686-runs.txt, each in a Wine process of its own, or with "each"
# among its settings, each of its tests in a process of its own.
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
