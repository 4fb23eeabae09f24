#!/usr/bin/env bash
# Plays the scripted demo through a real MIDI stack in the emulated i386
# system and checks what came out: the 32-bit host and morva.dll under 32-bit
# Wine with no stand-in winmm.dll beside them, so Wine's own winmm and its
# ALSA driver carry the tool's messages into the kernel's sequencer, whose
# through port passes them to aseqdump (the record of what arrived) and to
# FluidSynth, which plays them into the loopback sound card, recorded on its
# other side by arecord.
#   tools/i386/live.sh [--voice N] BUILD_DIR OUT_DIR
# BUILD_DIR is a win32 build (its demo/ folder holds the demo and the module);
# OUT_DIR receives live.wav, aseqdump.txt, the demo's files and logs (see
# live/run.sh). Exits with live_check.py's verdict, 2 when the guest's run
# itself failed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
voice=11
if [ "${1:-}" = --voice ]; then
    voice=$2
    shift 2
fi
if [ $# -ne 2 ]; then
    sed -n '2,13s/^# \?//p' "$0" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
out=$2

payload=$build/i686/live-payload
rm -rf "$payload" "$out"
mkdir -p "$payload" "$out"
# The demo program and the module only: no capture device, no recording double.
cp "$build/demo/morvademo.exe" "$build/demo/morva.dll" "$payload/"
cp "$here/live/run.sh" "$payload/run.sh"
cat >"$payload/args" <<EOF
$voice
Midi Through Port-0
EOF

start=$SECONDS
status=0
"$here/guest.sh" --timeout "${MORVA_I386_TIMEOUT:-1800}" "$payload" "$out" || status=$?
echo "live: the emulated system's run took $((SECONDS - start)) s (boot and Wine's start included)"
if [ "$status" -ne 0 ]; then
    echo "live: the run in the emulated system failed (exit $status); see $out/log.txt" >&2
    exit 2
fi
python3 "$here/live_check.py" "$out" "$voice"
