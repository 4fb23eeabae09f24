#!/bin/bash
# The smoke check's payload: runs hello.exe three times under 32-bit Wine,
# timing each start, and tries the ALSA sequencer's dummy port module.
set -euo pipefail
now() { cut -d' ' -f1 /proc/uptime; }
for i in 1 2 3; do
    start=$(now)
    "$MORVA_WINE" hello.exe "out/hello-$i.txt"
    echo "smoke: wine run $i took $(awk "BEGIN { print $(now) - $start }") s"
done
modprobe snd-seq-dummy
echo "smoke: sequencer clients: $(grep '^Client  *[0-9]' /proc/asound/seq/clients | tr '\n' ' ')"
