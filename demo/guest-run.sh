#!/bin/sh
# In the emulated i386 system (the payload of tools/run.sh --i686): the
# scripted demo with the 32-bit programs and module over the capture device,
# its results left in out/. The payload's file "args" holds the voice.
cd /payload || exit 1
mkdir -p out
MORVA_CAPTURE_MID='Z:\payload\out\demo.mid' "$MORVA_WINE" morvademo.exe 'Z:\payload\out' \
    --voice "$(sed -n 1p args)" </dev/null
