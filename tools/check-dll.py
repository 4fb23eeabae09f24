#!/usr/bin/env python3
"""Checks a built morva.dll at its boundary, as a host would see it.

  check-dll.py exports DLL NAME=POP ...   exactly these exports; each callee
                                          pops POP bytes (32-bit stdcall)
  check-dll.py imports DLL ALLOWED ...    imports only from the allowed DLLs
  check-dll.py no-x87 OBJ ...             no x87 instruction in these 32-bit
                                          objects: their doubles are doubles
"""
import re
import struct
import subprocess
import sys

OBJDUMP = {0x14c: "i686-w64-mingw32-objdump", 0x8664: "x86_64-w64-mingw32-objdump"}


def read_pe(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    machine, nsect = struct.unpack_from("<HH", data, pe + 4)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic == 0x10B:
        image_base = struct.unpack_from("<I", data, opt + 28)[0]
        dirs = opt + 96
    else:
        image_base = struct.unpack_from("<Q", data, opt + 24)[0]
        dirs = opt + 112
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    sections = []
    for i in range(nsect):
        s = pe + 24 + opt_size + 40 * i
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
        sections.append((va, max(vsize, rawsize), rawptr))

    def off(rva):
        for va, size, raw in sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("rva %x outside the image" % rva)

    def cstr(rva):
        o = off(rva)
        return data[o:data.index(b"\0", o)].decode()

    return data, machine, image_base, dirs, off, cstr


def exports(path):
    data, machine, image_base, dirs, off, cstr = read_pe(path)
    rva = struct.unpack_from("<I", data, dirs)[0]
    d = off(rva)
    nfuncs, nnames, funcs, names, ords = struct.unpack_from("<IIIII", data, d + 20)
    result = {}
    for i in range(nnames):
        name = cstr(struct.unpack_from("<I", data, off(names) + 4 * i)[0])
        ordinal = struct.unpack_from("<H", data, off(ords) + 2 * i)[0]
        result[name] = struct.unpack_from("<I", data, off(funcs) + 4 * ordinal)[0]
    return machine, image_base, result


def imports(path):
    data, machine, image_base, dirs, off, cstr = read_pe(path)
    rva = struct.unpack_from("<I", data, dirs + 8)[0]
    d = off(rva)
    result = []
    while True:
        fields = struct.unpack_from("<IIIII", data, d)
        if not any(fields):
            return result
        result.append(cstr(fields[3]))
        d += 20


def first_ret_pop(path, machine, address):
    out = subprocess.run([OBJDUMP[machine], "-d", "--no-show-raw-insn",
                          "--start-address=0x%x" % address,
                          "--stop-address=0x%x" % (address + 0x2000), path],
                         check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        m = re.search(r"\tret\s*(\$0x([0-9a-f]+))?", line)
        if m:
            return int(m.group(2), 16) if m.group(2) else 0
    raise ValueError("no ret found at 0x%x" % address)


def check_exports(path, specs):
    machine, image_base, table = exports(path)
    expected = dict(s.split("=") for s in specs)
    ok = True
    if sorted(table) != sorted(expected):
        print("exports: expected %s, found %s" % (sorted(expected), sorted(table)))
        ok = False
    for name, pop in sorted(expected.items()):
        if name not in table:
            continue
        found = first_ret_pop(path, machine, image_base + table[name])
        print("%-22s rva 0x%05x pops %d bytes" % (name, table[name], found))
        if machine == 0x14c and found != int(pop):
            print("  expected %s bytes popped by the callee" % pop)
            ok = False
    return ok


def check_imports(path, allowed):
    allowed = {a.lower() for a in allowed}
    ok = True
    for dll in imports(path):
        verdict = "ok" if dll.lower() in allowed else "NOT A SYSTEM DLL"
        print("imports %-20s %s" % (dll, verdict))
        ok = ok and dll.lower() in allowed
    return ok


def check_no_x87(objects):
    # Every x87 mnemonic, and only those, starts with an f.
    x87 = re.compile(r"^\s*([0-9a-f]+):\s+(f[a-z0-9]+)\b(.*)$")
    ok = True
    for path in (o for o in objects if not o.endswith(".res")):
        out = subprocess.run([OBJDUMP[0x14c], "-d", "--no-show-raw-insn", path],
                             check=True, capture_output=True, text=True).stdout
        found = [m.group(0).strip() for m in map(x87.match, out.splitlines()) if m]
        print("%-60s %d x87 instructions" % (path.split("/CMakeFiles/")[-1], len(found)))
        for line in found[:10]:
            print("  " + line)
        ok = ok and not found
    return ok


def main():
    mode, rest = sys.argv[1], sys.argv[2:]
    if mode == "no-x87":
        ok = check_no_x87(rest)
    elif mode == "exports":
        ok = check_exports(rest[0], rest[1:])
    else:
        ok = check_imports(rest[0], rest[1:])
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
