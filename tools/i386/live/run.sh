#!/bin/bash
# In the emulated system (the payload of tools/run.sh --i686 --live, and the
# suite's last run but one, tools/i386/suite.sh): the demo program and
# the module with no stand-in winmm.dll beside them, so Wine's own winmm and
# its ALSA driver carry the notes into the kernel's sequencer. The sequencer's
# through port (snd-seq-dummy, 14:0) passes them on to aseqdump, which records
# what arrived, and to FluidSynth, which renders them in real time into the
# loopback sound card (snd-aloop); arecord records the card's other side.
#   run.sh [OUT]    (OUT: /payload/out by default; the suite's run gives
#                    its own folder for it)
# Leaves in OUT: live.wav, aseqdump.txt (each line prefixed with the time it
# was read, in seconds), demo-log.txt and the demo's other files,
# wine-midi.txt (Wine's trace of its winmm and MIDI driver) and live-log.txt.
# The file "args" beside this script holds the voice (line 1) and the name
# of the MIDI output the demo chooses (line 2).
set -u
here=$(cd "$(dirname "$0")" && pwd)
voice=$(sed -n 1p "$here/args")
device=$(sed -n 2p "$here/args")
out=${1:-/payload/out}
font=/usr/share/sounds/sf2/TimGM6mb.sf2
rate=22050
say() { echo "live: [$(cut -d' ' -f1 /proc/uptime) s] $*" | tee -a "$out/live-log.txt"; }
fail() {
    say "FAILED: $*"
    exit 1
}
# Waits up to 60 s for a command to succeed: for a program to be ready.
await() {
    local what=$1 n=0
    shift
    until "$@"; do
        n=$((n + 1))
        [ $n -le 1200 ] || fail "$what did not happen within 60 s"
        sleep 0.05
    done
}
cd "$here" || exit 1
mkdir -p "$out"
# The programs started here end when told: FluidSynth's shell, whose pipe a
# sleep holds open, reads "quit"; arecord (which completes its file) and
# aseqdump (which flushes) take an interrupt.
fluid=
fluid_shell=
keeper=
recorder=
dump=
finish() {
    [ -z "$fluid" ] || timeout 5 sh -c 'echo quit >"$0"' "$fluid_shell"
    [ -z "$keeper" ] || kill "$keeper" 2>/dev/null
    [ -z "$recorder" ] || kill -INT "$recorder" 2>/dev/null
    [ -z "$dump" ] || kill -INT "$dump" 2>/dev/null
    local p n
    for p in $fluid $recorder $dump; do
        n=0
        while kill -0 "$p" 2>/dev/null && [ $n -lt 200 ]; do
            sleep 0.05
            n=$((n + 1))
        done
        kill -0 "$p" 2>/dev/null && say "process $p did not end when told; killed"
        kill -KILL "$p" 2>/dev/null
        wait "$p" 2>/dev/null
    done
    fluid= keeper= recorder= dump=
}
trap finish EXIT

modprobe snd-seq-dummy || fail "modprobe snd-seq-dummy"
modprobe snd-aloop pcm_substreams=1 || fail "modprobe snd-aloop"
await "the sequencer's device node" test -c /dev/snd/seq
await "the loopback card" grep -q Loopback /proc/asound/cards
say "kernel sound modules: $(grep -o '^snd[a-z_-]*' /proc/modules | sort | tr '\n' ' ')"

# FluidSynth as a sequencer client, rendering into the loopback card. Its
# shell reads the pipe, which stays open until the end. It renders a period
# (256 frames, 12 ms) at a time, the most a note can wait for its start, and
# keeps 32 of them (0.37 s) queued, enough to ride out the emulated system's
# stalls without a gap in the sound.
fluid_shell=$(mktemp -u /tmp/fluid.XXXXXX)
mkfifo "$fluid_shell"
sleep 100000 >"$fluid_shell" &
keeper=$!
fluidsynth -a alsa -m alsa_seq -o audio.alsa.device=hw:Loopback,0 \
    -o audio.period-size=256 -o audio.periods=32 -r "$rate" -R 0 -C 0 -g 0.8 \
    "$font" <"$fluid_shell" >"$out/fluidsynth.txt" 2>&1 &
fluid=$!
await "FluidSynth's sequencer port" grep -q '"FLUID Synth' /proc/asound/seq/clients
client=$(sed -n 's/^Client *\([0-9]*\) : "FLUID Synth.*/\1/p' /proc/asound/seq/clients | head -n 1)
aconnect 14:0 "$client:0" || fail "aconnect 14:0 $client:0"

# arecord on the loopback's other side, in the format FluidSynth plays, with
# 2 s of buffer for the same stalls.
arecord -q -D hw:Loopback,1 -f S16_LE -c 2 -r "$rate" --buffer-time=2000000 \
    "$out/live.wav" 2>"$out/arecord.txt" &
recorder=$!
say "recording started at $EPOCHREALTIME"

# aseqdump on the through port; each line is stamped as it is read (aseqdump
# flushes after every batch of events). Both run at a real-time priority,
# as FluidSynth's threads do, so that Wine's drawing does not delay them.
dump_pipe=$(mktemp -u /tmp/aseqdump.XXXXXX)
mkfifo "$dump_pipe"
chrt -f 40 bash -c 'while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done' \
    <"$dump_pipe" >"$out/aseqdump.txt" &
stamper=$!
chrt -f 40 aseqdump -p 14:0 >"$dump_pipe" 2>"$out/aseqdump-errors.txt" &
dump=$!
await "aseqdump's subscription to 14:0" \
    sh -c "aconnect -l | grep -A2 \"'aseqdump'\" | grep -q 'Connected From:.*14:0'"
say "sequencer: $(aconnect -l | tr -s ' \t' ' ' | tr '\n' ';')"

say "demo: device \"$device\", voice $voice"
WINEDEBUG=+midi,+winmm "$MORVA_WINE" morvademo.exe "Z:$(echo "$out" | tr / '\\')" --voice "$voice" \
    --device "$device" </dev/null 2>"$out/wine-midi.txt"
status=$?
say "the demo exited with $status"
# The last note's release rings on a little.
sleep 1
finish
trap - EXIT
wait "$stamper"
dmesg >"$out/dmesg.txt"
say "recorded $(stat -c %s "$out/live.wav") bytes; aseqdump read $(grep -c . "$out/aseqdump.txt") lines"
exit $status
