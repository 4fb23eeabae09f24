#!/usr/bin/env bash
# The main job: builds the product DLL (32-bit) and the 64-bit build, and
# shows what the host will find at the module's boundary.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/bootstrap.sh
jobs=$(nproc 2>/dev/null || echo 2)
for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs" >/dev/null
done
for dll in build/win32/morva.dll build/win64/morva.dll; do
    echo "== $dll ($(stat -c %s "$dll") bytes)"
    python3 tools/check-dll.py exports "$dll" EnumeratePanelTypes=20 InitMorvaToolType=8 \
        MorvaToolCreate=20 MorvaToolCleanup=4
    python3 tools/check-dll.py imports "$dll" kernel32.dll user32.dll gdi32.dll winmm.dll \
        msvcrt.dll
done
