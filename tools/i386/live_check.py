#!/usr/bin/env python3
"""Checks what the live run (tools/i386/live/run.sh, in a boot of its own by
tools/run.sh --i686 --live or in the suite's) brought back from the emulated
system: the MIDI messages that reached the sequencer's through port
(aseqdump.txt) and the sound FluidSynth made of them (live.wav).

  live_check.py OUT_DIR [VOICE]

- The sequencer got the program change to VOICE (default 11) and then, for
  every note of the demo's phrase, a note-on with velocity 110 followed by
  its note-off, all on channel 0, and nothing else. The tool ends a note
  with a note-on of velocity 0; Wine's driver passes it on as a note-on
  event of velocity 0, which aseqdump prints as "Note off" without a
  velocity (an ALSA note-off event would show one).
- live.wav is not silent, and a note starts in it where the phrase's
  note-ons arrived: the note-ons' times (aseqdump's, from the moment
  arecord was started) and the onsets found in the sound differ by an
  offset common to the phrase (the audio path's delay less arecord's
  start-up), taken as their median difference whatever the machine; each
  note-on has an onset of its own within ONSET_TOLERANCE of its time plus
  that offset.
"""
import array
import bisect
import math
import os
import re
import sys
import wave

# The demo's phrase on its three-octave tool, whose lowest key is C3 (48),
# read from the rows the demo itself plays.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo",
                       "phrase.inc")) as rows:
    PHRASE = [48 + int(key) for key in re.findall(r"^PHRASE_NOTE\((\d+),", rows.read(), re.M)]
VELOCITY = 110
# How far an onset may lie from its note-on once the offset common to the
# whole phrase is taken off. That offset is the audio path's delay less
# arecord's start-up. The delay varies by a period of FluidSynth's (256
# frames, 12 ms at 22050 Hz) as its writes fall due, and by how much of its
# queue a stall of the emulated system has used up when a note arrives;
# scheduling adds to aseqdump's times. Measured: 17 to 30 ms at most beside
# another emulator on two cores, 59 to 70 ms with both cores kept busy by
# two more processes.
ONSET_TOLERANCE = 0.100
MAX_OFFSET = 2.0     # the offset is searched for within this, seconds
HOP = 0.005          # the envelope's step, seconds
WINDOW = 0.010       # its window
RISE_DB = 6.0        # an onset: the level rises this much within RISE_SPAN
RISE_SPAN = 0.040
FLOOR_DB = 45.0      # and reaches no lower than this below the loudest window
MIN_GAP = 0.050      # notes are further apart than this (the phrase's shortest: 90 ms)
SILENT_DBFS = -50.0  # the loudest window must be above this
GAP_DB = -70.0       # a moment of the sound below this, 40 dB under what went just before, is a gap

EVENT = re.compile(r"^(\d+\.\d+)\s+\d+:\d+\s+(Program change|Note on|Note off|.*?)\s{2,}(.*)$")


def read_events(path):
    """(time, text) of each event line aseqdump printed."""
    events = []
    for line in open(path, errors="replace"):
        m = EVENT.match(line.rstrip("\n"))
        if m:
            events.append((float(m.group(1)), m.group(2) + " " + re.sub(r"\s+", " ", m.group(3))))
    return events


CALLS = ("midiOutOpen", "midiOutSetVolume", "midiOutShortMsg", "midiOutReset", "midiOutClose")


def wine_calls(path):
    """What Wine's trace (WINEDEBUG=+midi,+winmm) says of the module's calls
    on its device: for each call, the results its driver gave, counted, and
    the driver's own words on opening and closing."""
    results = {}
    driver = []
    call = None
    for line in open(path, errors="replace"):
        m = re.search(r":trace:winmm:(midiOut\w+) \(", line)
        if m and m.group(1) in CALLS:
            call = m.group(1)
            continue
        m = re.search(r":trace:winmm:(?:MMDRV_Message|midiOutOpen) => (\S+)", line)
        if m and call:
            result = "MMSYSERR_NOERROR" if m.group(1) == "0" else m.group(1)
            results.setdefault(call, {}).setdefault(result, 0)
            results[call][result] += 1
            call = None
            continue
        m = re.search(r":trace:midi:midi_out_(?:open|close) (Output port :\d+ connected .*|"
                      r"Deleting port .*)$", line)
        if m:
            driver.append(m.group(1).strip())
    return results, driver


def recording_start(path):
    """When arecord was started, on aseqdump's clock (run.sh notes it)."""
    for line in open(path, errors="replace"):
        m = re.search(r"recording started at (\d+\.\d+)", line)
        if m:
            return float(m.group(1))
    raise ValueError("%s does not say when the recording started" % path)


def expected_events(voice):
    out = ["Program change 0, program %d" % voice]
    for note in PHRASE:
        out.append("Note on 0, note %d, velocity %d" % (note, VELOCITY))
        out.append("Note off 0, note %d" % note)
    return out


def db(power):
    return 10 * math.log10(power) if power > 0 else -120.0


def envelope(path):
    """The level of the sound's attacks in dB of full scale, one value every
    HOP seconds; the level of the sound itself, likewise; and the sound's
    length. The attacks' level is the level of the channels' mean
    after a second difference, which keeps the broadband strike of a note's
    start and drops the ringing of its sustained tone, a 12 dB-per-octave
    rise that leaves the phrase's fundamentals (262 to 1047 Hz) 20 to 32 dB
    below a strike's top at 22050 Hz."""
    w = wave.open(path)
    if w.getsampwidth() != 2:
        raise ValueError("%s: %d-byte samples, not 16-bit" % (path, w.getsampwidth()))
    rate, channels = w.getframerate(), w.getnchannels()
    samples = array.array("h", w.readframes(w.getnframes()))
    if sys.byteorder == "big":
        samples.byteswap()
    frames = len(samples) // channels
    mono = [sum(samples[i * channels:(i + 1) * channels]) / channels for i in range(frames)]
    attack = [mono[i] - 2 * mono[i - 1] + mono[i - 2] for i in range(2, frames)]
    hop, width = int(rate * HOP), int(rate * WINDOW)
    full = width * 32768.0 * 32768.0
    levels = []
    plain = []
    for start in range(0, max(len(attack) - width, 0), hop):
        levels.append(db(sum(s * s for s in attack[start:start + width]) / full))
        plain.append(db(sum(s * s for s in mono[start:start + width]) / full))
    return levels, plain, frames / float(rate)


def onsets(levels, plain):
    """Times where the attacks' level rises by RISE_DB within RISE_SPAN, each
    taken at the start of its rise (rises closer than MIN_GAP to the last
    one belong to it), and the number of gaps: a sound that falls silent for
    a moment and comes back at its level is a gap in the stream, whose ends
    are no onset."""
    loudest = max(levels) if levels else -120.0
    span = int(round(RISE_SPAN / HOP))
    found = []
    gaps = 0
    k = span
    while k < len(levels):
        low = min(range(k - span, k), key=lambda j: levels[j])
        if levels[k] - levels[low] >= RISE_DB and levels[k] > loudest - FLOOR_DB:
            t = (low + 1) * HOP
            before = plain[max(low - span, 0):low]
            if min(plain[low:k + 1]) < GAP_DB and before and max(before) > min(plain[low:k + 1]) + 40:
                gaps += 1
            elif not found or t - found[-1] >= MIN_GAP:
                found.append(t)
            while k + 1 < len(levels) and levels[k + 1] >= levels[k]:
                k += 1
        k += 1
    return found, gaps


def nearest(found, t):
    """The onset nearest to t (found is sorted)."""
    i = bisect.bisect_left(found, t)
    return min(found[max(i - 1, 0):i + 1], key=lambda x: abs(x - t))


def match_onsets(notes, found):
    """The offset of the onsets from the note-ons that most note-ons agree
    with (their median distance, among those within ONSET_TOLERANCE of the
    best first guess), and for every note-on the distance of its nearest
    onset from its time plus that offset."""
    best = None
    for n in notes:
        for o in found[bisect.bisect_left(found, n - MAX_OFFSET):
                       bisect.bisect_right(found, n + MAX_OFFSET)]:
            hits = sum(1 for m in notes if abs(nearest(found, m + o - n) - (m + o - n))
                       <= ONSET_TOLERANCE)
            if best is None or hits > best[0]:
                best = (hits, o - n)
    if best is None:
        return None, []
    near = sorted(nearest(found, n + best[1]) - n for n in notes)
    near = [d for d in near if abs(d - best[1]) <= ONSET_TOLERANCE]
    offset = near[len(near) // 2]
    return offset, [nearest(found, n + offset) - n - offset for n in notes]


def main():
    out = sys.argv[1].rstrip("/")
    voice = int(sys.argv[2]) if len(sys.argv) > 2 else 11
    failures = []
    # In the suite's boot the run's exit code lies beside its folder.
    rc = open(out + ".rc").read().strip() if os.path.exists(out + ".rc") else "0"
    if rc != "0":
        failures.append("the live run exited with %s (see %s.txt)" % (rc, out))
    if not os.path.isdir(out):
        print("live: did not run (no %s)" % out)
        return 1

    events = read_events(os.path.join(out, "aseqdump.txt"))
    got = [text for _, text in events]
    want = expected_events(voice)
    print("sequencer: %d events arrived at the through port, %d expected" % (len(got), len(want)))
    for i in range(max(len(got), len(want))):
        g = got[i] if i < len(got) else "(nothing)"
        w = want[i] if i < len(want) else "(nothing)"
        if g != w:
            failures.append("event %d: got \"%s\", expected \"%s\"" % (i + 1, g, w))
            break
    note_times = [t for t, text in events if text.startswith("Note on")]

    results, driver = wine_calls(os.path.join(out, "wine-midi.txt"))
    for call in CALLS:
        if call in results:
            print("wine: %s: %s" % (call, ", ".join("%d x %s" % (n, r) for r, n in
                                                    sorted(results[call].items()))))
            if set(results[call]) != {"MMSYSERR_NOERROR"}:
                failures.append("Wine's driver refused %s" % call)
    for words in driver:
        print("wine: driver: " + words)
    if not results:
        print("wine: no trace of the module's calls in wine-midi.txt")

    wav = os.path.join(out, "live.wav")
    levels, plain, seconds = envelope(wav)
    loudest = max(plain) if plain else -120.0
    print("live.wav: %.1f s, loudest %.1f dBFS (over %.0f ms windows)"
          % (seconds, loudest, WINDOW * 1000))
    if loudest <= SILENT_DBFS:
        failures.append("live.wav is silent (loudest %.1f dBFS)" % loudest)
    elif note_times:
        found, gaps = onsets(levels, plain)
        print("live.wav: %d onsets found, %d note-ons arrived; %d gaps in the sound"
              % (len(found), len(note_times), gaps))
        # The note-ons' times from the start of the recording.
        started = recording_start(os.path.join(out, "live-log.txt"))
        notes = [t - started for t in note_times]
        delay, misses = match_onsets(notes, found)
        if delay is None:
            failures.append("no onset in live.wav lies within 2 s of a note-on")
        else:
            print("live.wav: the onsets lie %.0f ms from the note-ons' times (recording's clock"
                  " against aseqdump's), each within %.0f ms of that (tolerance %.0f ms): %s"
                  % (delay * 1000, max(abs(m) for m in misses) * 1000, ONSET_TOLERANCE * 1000,
                     " ".join("%+.0f" % (m * 1000) for m in misses)))
            taken = {}
            for i, m in enumerate(misses):
                where = notes[i] + delay + m
                if abs(m) > ONSET_TOLERANCE:
                    failures.append("note-on %d (note %d) at %.3f s: the nearest onset is %+.0f ms"
                                    " away" % (i + 1, PHRASE[i] if i < len(PHRASE) else -1,
                                               notes[i], m * 1000))
                elif where in taken:
                    failures.append("note-ons %d and %d share the onset at %.3f s"
                                    % (taken[where] + 1, i + 1, where))
                taken.setdefault(where, i)

    for f in failures:
        print("FAILED: " + f)
    print("live: %s" % ("passed" if not failures else "FAILED"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
