#!/usr/bin/python3
"""Reads the demo's captured MIDI file with mido, a reader that shares no code
with the capture device's writer or the project's own reader, and checks that
it holds the demo's phrase: every note started in order and ended, in the
chosen voice.

  check-demo-mid.py FILE [VOICE]    VOICE: the demo's program, 11 unless given
"""
import os
import sys

import mido

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "i386"))
from live_check import PHRASE  # noqa: E402  the phrase, as the live run checks it too


def main():
    path = sys.argv[1]
    voice = int(sys.argv[2]) if len(sys.argv) > 2 else 11
    started, ended, programs = [], 0, []
    for message in mido.MidiFile(path):
        if message.type == "note_on" and message.velocity > 0:
            started.append(message.note)
        elif message.type in ("note_on", "note_off"):
            ended += 1
        elif message.type == "program_change":
            programs.append(message.program)
    problems = []
    if started != PHRASE:
        problems.append("notes started %s, not the phrase %s" % (started, PHRASE))
    if ended != len(started):
        problems.append("%d notes started, %d ended" % (len(started), ended))
    if not programs or programs[-1] != voice:
        problems.append("programs %s, not ending in voice %d" % (programs, voice))
    for problem in problems:
        print("%s: %s" % (path, problem))
    print("%s (read by mido %s): %d notes started and ended in voice %d: %s"
          % (path, mido.__version__, len(started), voice, "bad" if problems else "ok"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
