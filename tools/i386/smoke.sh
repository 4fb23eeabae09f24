#!/usr/bin/env bash
# Smoke check of the emulated i386 system: builds a tiny 32-bit Windows program
# (smoke/hello.c), runs it three times under 32-bit Wine in the guest and
# checks what it printed and the files it left in the outputs.
#   tools/i386/smoke.sh [--no-server] [OUT_DIR]
# OUT_DIR (by default a temporary folder, removed after) receives the outputs;
# --no-server runs the guest without a persistent Wine server.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
opts=()
if [ "${1:-}" = "--no-server" ]; then
    opts+=(--no-server)
    shift
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/morva-smoke.XXXXXX")
trap 'rm -rf "$work"' EXIT
out=${1:-$work/out}

command -v i686-w64-mingw32-gcc >/dev/null || "$here/../bootstrap.sh"
mkdir -p "$work/payload"
i686-w64-mingw32-gcc -O2 -Wall -o "$work/payload/hello.exe" "$here/smoke/hello.c"
cp "$here/smoke/run.sh" "$work/payload/"

status=0
"$here/guest.sh" "${opts[@]}" --timeout 1800 "$work/payload" "$out" || status=$?
fail() {
    echo "smoke: FAILED: $*" >&2
    exit 1
}
[ "$status" -eq 0 ] || fail "the guest's run.sh exited with $status"
# The program's lines end in CR LF, as a Windows program writes them.
grep -q $'^smoke: 32-bit program, window created 1, destroyed 1\r$' "$out/log.txt" ||
    fail "log.txt lacks the program's line"
expected=$'pointer bytes 4\ncreated 1\ndestroyed 1'
for i in 1 2 3; do
    [ "$(tr -d '\r' <"$out/hello-$i.txt" 2>/dev/null)" = "$expected" ] ||
        fail "out/hello-$i.txt is wrong"
done
grep -q '^smoke: sequencer clients: .*Client  *14 : "Midi Through"' "$out/log.txt" ||
    fail "the sequencer's dummy port did not show"
echo "smoke: passed"
