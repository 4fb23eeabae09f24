#!/usr/bin/env python3
"""Checks that the capture device can stand in for winmm.dll under a module:
every function the module imports from winmm.dll is exported by the capture
device, and the capture device imports nothing from winmm.dll itself.

  check-covers.py MODULE.DLL CAPTURE.DLL
"""
import re
import subprocess
import sys


def objdump_for(path):
    machine = open(path, "rb").read()
    pe = int.from_bytes(machine[0x3C:0x40], "little")
    kind = int.from_bytes(machine[pe + 4:pe + 6], "little")
    return {0x14C: "i686-w64-mingw32-objdump", 0x8664: "x86_64-w64-mingw32-objdump"}[kind]


def dump(path):
    return subprocess.run([objdump_for(path), "-p", path], check=True, capture_output=True,
                          text=True).stdout


def imports_from(path, dll):
    names, inside = set(), False
    for line in dump(path).splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            inside = m.group(1).lower() == dll
            continue
        m = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\w+)$", line)
        if inside and m:
            names.add(m.group(1))
        elif inside and not line.strip():
            inside = False
    return names


def exports(path):
    names, inside = set(), False
    for line in dump(path).splitlines():
        if line.startswith("[Ordinal/Name Pointer] Table"):
            inside = True
            continue
        m = re.match(r"\s*\[\s*\d+\]\s+(\w+)", line)
        if inside and m:
            names.add(m.group(1))
    return names


module, capture = sys.argv[1], sys.argv[2]
needed = imports_from(module, "winmm.dll")
offered = exports(capture)
missing = sorted(needed - offered)
for name in sorted(needed):
    print("%-24s %s" % (name, "missing" if name in missing else "ok"))
own = imports_from(capture, "winmm.dll")
if own:
    print("the capture device imports from winmm.dll itself: %s" % sorted(own))
if missing or own or not offered:
    sys.exit(1)
print("%d of the module's winmm imports covered; %d exports offered" % (len(needed), len(offered)))
