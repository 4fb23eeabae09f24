#!/usr/bin/env bash
# The main job: builds the module (32-bit product and 64-bit build) and the
# host, checks the module's boundary, then
#   - with a display (DISPLAY set, not under CI): opens the host window;
#   - otherwise, or with --demo: plays the scripted demo on a virtual display
#     and leaves its results in build/win64/demo/out/: host.png and
#     properties.png (screenshots), demo.mid (every MIDI message the tool
#     sent, as captured), morvahost.settings, demo-log.txt, and demo.wav when
#     FluidSynth and a General MIDI sound font are installed.
#   - with --i686: plays the same demo with the 32-bit host and the 32-bit
#     DLL, the shipped binaries, under 32-bit Wine in the emulated i386
#     system (tools/i386/), and leaves the same files in build/win32/demo/out/.
#   - with --i686 --live: the same, but through a real MIDI stack instead of
#     the capture device: Wine's own winmm, the kernel's ALSA sequencer and
#     FluidSynth, whose sound is recorded to build/win32/demo/out/live.wav
#     (tools/i386/live/run.sh), and checked (tools/i386/live_check.py).
#   tools/run.sh [--demo] [--i686 [--live]] [--voice N]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

mode=window
voice=11
live=
while [ $# -gt 0 ]; do
    case "$1" in
        --demo) [ "$mode" = i686 ] || mode=demo ;;
        --i686) mode=i686 ;;
        --live) live=1 ;;
        --voice) voice=$2; shift ;;
        *) echo "usage: tools/run.sh [--demo] [--i686 [--live]] [--voice N]" >&2; exit 2 ;;
    esac
    shift
done
if [ -n "$live" ] && [ "$mode" != i686 ]; then
    echo "run: --live plays in the emulated i386 system; give --i686 too" >&2
    exit 2
fi
if [ "$mode" = window ] && { [ -z "${DISPLAY:-}" ] || [ -n "${CI:-}" ]; }; then
    mode=demo
fi

tools/bootstrap.sh --demo
jobs=$(nproc 2>/dev/null || echo 2)
for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs" >/dev/null
done
boundary() { sed -n "s/^$1 //p" tools/morva-dll.txt; }
for dll in build/win32/morva.dll build/win64/morva.dll; do
    echo "== $dll ($(stat -c %s "$dll") bytes)"
    python3 tools/check-dll.py exports "$dll" $(boundary exports)
    python3 tools/check-dll.py imports "$dll" $(boundary imports)
done

# The host, the demo program, the module and the capture device share one
# folder; the capture device stands in for winmm there, so the tools always
# have an output that records what they play.
demo=$root/build/win64/demo
prefix=$root/build/win64/demo-prefix
windows_path() { echo "Z:$1" | sed 's|/|\\|g'; }

if [ "$mode" = window ]; then
    echo "== opening the host window (what is played goes to $demo/played.mid)"
    MORVA_CAPTURE_MID=$(windows_path "$demo/played.mid") \
        exec tools/wine-run.sh --prefix "$prefix" "$demo/morvahost.exe"
fi

start=$(date +%s.%N)
status=0
if [ "$mode" = i686 ]; then
    demo=$root/build/win32/demo
    out=$demo/out
    payload=$root/build/win32/i686/demo-payload
    rm -rf "$payload" "$out"
    mkdir -p "$payload" "$out"
    cp "$demo/morvademo.exe" "$demo/morva.dll" "$payload/"
    echo "$voice" >"$payload/args"
    if [ -n "$live" ]; then
        echo "== scripted demo, 32-bit, through Wine's winmm, the ALSA sequencer and FluidSynth" \
            "in the emulated i386 system (results in ${out#$root/}/)"
        # No capture device beside the demo: Wine's own winmm plays it.
        cp tools/i386/live/run.sh "$payload/run.sh"
        echo "Midi Through Port-0" >>"$payload/args"
    else
        echo "== scripted demo, 32-bit, in the emulated i386 system (results in ${out#$root/}/)"
        cp "$demo/winmm.dll" "$payload/"
        cp demo/guest-run.sh "$payload/run.sh"
    fi
    tools/i386/guest.sh --timeout 1800 "$payload" "$out" || status=$?
    if [ -n "$live" ] && [ "$status" -eq 0 ]; then
        python3 tools/i386/live_check.py "$out" "$voice" || status=$?
    fi
else
    out=$demo/out
    rm -rf "$out"
    mkdir -p "$out"
    echo "== scripted demo (results in ${out#$root/}/)"
    # A virtual display and a Wine server of the demo's own, ended together.
    source tools/wine-session.sh
    unset DISPLAY
    start_wine_session "$prefix" || exit 1
    trap stop_wine_session EXIT
    MORVA_CAPTURE_MID="$(windows_path "$out/demo.mid")" \
        tools/wine-run.sh --prefix "$prefix" "$demo/morvademo.exe" \
        "$(windows_path "$out")" --voice "$voice" || status=$?
    stop_wine_session
    trap - EXIT
fi
end=$(date +%s.%N)
sed 's/^/   /' "$out/demo-log.txt" 2>/dev/null || true
python3 -c "print('   demo run: %.1f s (Wine start-up included)' % ($end - $start))"
if [ "$status" -ne 0 ]; then
    if [ -n "$live" ]; then
        echo "run: the live run failed (exit code $status)" >&2
    else
        echo "run: the demo ended with exit code $status" >&2
    fi
    exit "$status"
fi

font=
for f in /usr/share/sounds/sf2/TimGM6mb.sf2 /usr/share/sounds/sf2/FluidR3_GM.sf2 \
         /usr/share/sounds/sf2/default-GM.sf2; do
    [ -f "$f" ] && { font=$f; break; }
done
if [ -n "$live" ]; then
    echo "   live.wav: $(stat -c %s "$out/live.wav" 2>/dev/null || echo 0) bytes, played by FluidSynth in real time and recorded"
elif command -v fluidsynth >/dev/null && [ -n "$font" ] && [ -s "$out/demo.mid" ]; then
    fluidsynth -ni -q -g 0.8 -r 44100 -F "$out/demo.wav" "$font" "$out/demo.mid" >/dev/null 2>&1 &&
        echo "   demo.wav: $(stat -c %s "$out/demo.wav") bytes, rendered by FluidSynth with $(basename "$font")" ||
        echo "   demo.wav: FluidSynth could not render the phrase"
else
    echo "   demo.wav: not rendered (needs fluidsynth and a General MIDI sound font)"
fi
ls -l "$out" | sed 's/^/   /'
