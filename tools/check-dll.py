#!/usr/bin/env python3
"""Checks a built morva.dll at its boundary, as a host would see it.

  check-dll.py exports DLL NAME=POP ...   exactly these exports; each callee
                                          pops POP bytes (32-bit stdcall)
  check-dll.py imports DLL ALLOWED ...    imports only from the allowed DLLs
  check-dll.py version FILE X.Y.Z [KEY=TEXT ...]
                                          a version resource whose file and
                                          product versions are X.Y.Z, in US
                                          English with code page 1252, with
                                          these texts
  check-dll.py machine FILE i386|x86-64   built for this processor
  check-dll.py resources FILE             lists every resource with a digest
  check-dll.py application EXE            a program as Windows shows it: an
                                          icon of its own, and a manifest that
                                          runs it as the invoker and declares
                                          it aware of the display's dpi
  check-dll.py hardening FILE            loaded at a random address (ASLR) with
                                          data not executable (DEP), and no
                                          section both writable and executable
  check-dll.py no-x87 OBJ ...             no x87 instruction in these 32-bit
                                          objects: their doubles are doubles
  check-dll.py covers MODULE CAPTURE      the capture device can stand in for
                                          winmm.dll under the module: it
                                          exports every function the module
                                          imports from winmm.dll, and imports
                                          nothing from winmm.dll itself
"""
import hashlib
import re
import struct
import subprocess
import sys

OBJDUMP = {0x14c: "i686-w64-mingw32-objdump", 0x8664: "x86_64-w64-mingw32-objdump"}


def headers(data):
    """The offset of the PE header, of its data directories, and each
    section as (name, va, size, raw offset, characteristics)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    nsect, = struct.unpack_from("<H", data, pe + 6)
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    pe32 = struct.unpack_from("<H", data, pe + 24)[0] == 0x10B
    sections = []
    for i in range(nsect):
        s = pe + 24 + opt_size + 40 * i
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
        flags = struct.unpack_from("<I", data, s + 36)[0]
        name = data[s:s + 8].rstrip(b"\0").decode("latin-1")
        sections.append((name, va, max(vsize, rawsize), rawptr, flags))
    return pe, pe + 24 + (96 if pe32 else 112), sections


def read_pe(path):
    data = open(path, "rb").read()
    pe, dirs, sections = headers(data)
    machine = struct.unpack_from("<H", data, pe + 4)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic == 0x10B:
        image_base = struct.unpack_from("<I", data, opt + 28)[0]
    else:
        image_base = struct.unpack_from("<Q", data, opt + 24)[0]

    def off(rva):
        for _, va, size, raw, _ in sections:
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
    """Each imported DLL with the functions taken from it, by name, or as
    #N by ordinal."""
    data, machine, image_base, dirs, off, cstr = read_pe(path)
    rva = struct.unpack_from("<I", data, dirs + 8)[0]
    d = off(rva)
    thunk, by_ordinal = ("<Q", 1 << 63) if machine == 0x8664 else ("<I", 1 << 31)
    step = struct.calcsize(thunk)
    result = []
    while True:
        lookup, _, _, name, address = struct.unpack_from("<IIIII", data, d)
        if not any((lookup, name, address)):
            return result
        functions = []
        t = off(lookup or address)
        while True:
            entry = struct.unpack_from(thunk, data, t)[0]
            if not entry:
                break
            functions.append("#%d" % (entry & 0xFFFF) if entry & by_ordinal
                             else cstr((entry & 0x7FFFFFFF) + 2))
            t += step
        result.append((cstr(name), functions))
        d += 20


def resources(path):
    """Every resource as ((type, name, language), bytes); a named type or
    name is a string, a numbered one an int."""
    data, machine, image_base, dirs, off, cstr = read_pe(path)
    root_rva = struct.unpack_from("<I", data, dirs + 16)[0]
    if root_rva == 0:
        return []
    root = off(root_rva)

    def entries(d):
        named, numbered = struct.unpack_from("<HH", data, d + 12)
        for i in range(named + numbered):
            ident, target = struct.unpack_from("<II", data, d + 16 + 8 * i)
            if ident & 0x80000000:
                o = root + (ident & 0x7FFFFFFF)
                n = struct.unpack_from("<H", data, o)[0]
                ident = data[o + 2:o + 2 + 2 * n].decode("utf-16-le")
            yield ident, target

    result = []
    for rtype, t in entries(root):
        for name, n in entries(root + (t & 0x7FFFFFFF)):
            for lang, leaf in entries(root + (n & 0x7FFFFFFF)):
                rva, size = struct.unpack_from("<II", data, root + leaf)
                result.append(((rtype, name, lang), data[off(rva):off(rva) + size]))
    return result


RT_VERSION = 16
RT_GROUP_ICON = 14
RT_MANIFEST = 24


def version_block(data, pos=0):
    """One node of a version resource: (key, value, children, end)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, pos)
    end = pos + length
    key_end = pos + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[pos + 6:key_end].decode("utf-16-le")
    at = (key_end + 2 + 3) & ~3
    if value_type == 1:
        text = data[at:at + 2 * value_length].decode("utf-16-le")
        value = text.split("\0")[0]
        at += 2 * value_length
    else:
        value = data[at:at + value_length]
        at += value_length
    children = []
    at = (at + 3) & ~3
    while at < end:
        child = version_block(data, at)
        children.append(child)
        at = (child[3] + 3) & ~3
    return key, value, children, end


def version_info(path):
    """The fixed file and product versions, the translations and the texts
    of each string table, from the module's one version resource."""
    found = [(ident, body) for ident, body in resources(path) if ident[0] == RT_VERSION]
    if len(found) != 1:
        raise ValueError("%d version resources" % len(found))
    (_, _, lang), body = found[0]
    key, fixed, children, _ = version_block(body)
    signature, _, fms, fls, pms, pls = struct.unpack_from("<IIIIII", fixed)
    if key != "VS_VERSION_INFO" or signature != 0xFEEF04BD:
        raise ValueError("not a version resource")

    def numbers(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    tables, translations = {}, []
    for child_key, _, grandchildren, _ in children:
        for table_key, table_value, entries, _ in grandchildren:
            if child_key == "StringFileInfo":
                tables[table_key] = {k: v for k, v, _, _ in entries}
            elif child_key == "VarFileInfo" and table_key == "Translation":
                translations += [struct.unpack_from("<HH", table_value, i)
                                 for i in range(0, len(table_value), 4)]
    return lang, numbers(fms, fls), numbers(pms, pls), translations, tables


def check_version(path, version, texts):
    parts = [int(p) for p in version.split(".")]
    expected = tuple(parts + [0] * (4 - len(parts)))
    try:
        lang, file_version, product_version, translations, tables = version_info(path)
    except ValueError as error:
        print("version: %s" % error)
        return False
    ok = True

    def report(what, found, wanted):
        nonlocal ok
        good = found == wanted
        ok = ok and good
        print("%-16s %-40s %s" % (what, found, "ok" if good else "expected %s" % (wanted,)))

    report("language", hex(lang), hex(0x0409))
    report("file version", file_version, expected)
    report("product version", product_version, expected)
    report("translations", ["0x%04x/%d" % t for t in translations], ["0x0409/1252"])
    strings = tables.get("040904E4", tables.get("040904e4", {}))
    report("string tables", sorted(tables), ["040904E4"])
    wanted = dict(FileVersion=version, ProductVersion=version)
    wanted.update(t.split("=", 1) for t in texts)
    for name, text in wanted.items():
        report(name, strings.get(name), text)
    return ok


MACHINES = {"i386": 0x14c, "x86-64": 0x8664}


def check_machine(path, name):
    machine = read_pe(path)[1]
    found = {v: k for k, v in MACHINES.items()}.get(machine, hex(machine))
    print("machine %s" % found)
    return found == name


def list_resources(path):
    for (rtype, name, lang), body in resources(path):
        print("type %-6s name %-6s language 0x%04x %6d bytes sha256 %s"
              % (rtype, name, lang, len(body), hashlib.sha256(body).hexdigest()))
    return True


def check_application(path):
    found = resources(path)
    icons = [name for (rtype, name, lang), body in found if rtype == RT_GROUP_ICON]
    manifests = [body.decode("utf-8", "replace") for (rtype, name, lang), body in found
                 if rtype == RT_MANIFEST]
    manifest = manifests[0] if len(manifests) == 1 else ""
    checks = [
        ("icon group", bool(icons)),
        ("one manifest", len(manifests) == 1),
        ("runs as invoker", 'level="asInvoker"' in manifest),
        ("dpi aware", "<dpiAware" in manifest and "<dpiAwareness" in manifest),
        ("supported OS list", "supportedOS" in manifest),
    ]
    for what, ok in checks:
        print("%-20s %s" % (what, "ok" if ok else "MISSING"))
    return all(ok for _, ok in checks)


DYNAMIC_BASE, NX_COMPAT = 0x40, 0x100
RELOCS_STRIPPED = 0x1
WRITE_AND_EXECUTE = 0x80000000 | 0x20000000


def check_hardening(path):
    data = open(path, "rb").read()
    pe, dirs, sections = headers(data)
    characteristics = struct.unpack_from("<H", data, pe + 22)[0]
    dll_characteristics = struct.unpack_from("<H", data, pe + 24 + 70)[0]
    relocations = struct.unpack_from("<I", data, dirs + 5 * 8 + 4)[0]
    checks = [("ASLR: DYNAMIC_BASE", dll_characteristics & DYNAMIC_BASE),
              ("ASLR: relocations kept",
               relocations and not characteristics & RELOCS_STRIPPED),
              ("DEP: NX_COMPAT", dll_characteristics & NX_COMPAT)]
    both = [name for name, _, _, _, flags in sections
            if flags & WRITE_AND_EXECUTE == WRITE_AND_EXECUTE]
    checks.append(("no section writable and executable", not both))
    for what, ok in checks:
        print("%-36s %s" % (what, "ok" if ok else "MISSING"))
    if both:
        print("  writable and executable: %s" % " ".join(both))
    return all(ok for _, ok in checks)


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
    for dll, _ in imports(path):
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


def check_covers(module, capture):
    def from_winmm(path):
        return {f for dll, functions in imports(path) if dll.lower() == "winmm.dll"
                for f in functions}

    needed, offered, own = from_winmm(module), set(exports(capture)[2]), from_winmm(capture)
    for name in sorted(needed):
        print("%-24s %s" % (name, "ok" if name in offered else "missing"))
    if own:
        print("the capture device imports from winmm.dll itself: %s" % sorted(own))
    ok = bool(offered) and needed <= offered and not own
    if ok:
        print("%d of the module's winmm imports covered; %d exports offered"
              % (len(needed), len(offered)))
    return ok


def main():
    mode, path, rest = sys.argv[1], sys.argv[2], sys.argv[3:]
    if mode == "no-x87":
        ok = check_no_x87(sys.argv[2:])
    elif mode == "exports":
        ok = check_exports(path, rest)
    elif mode == "imports":
        ok = check_imports(path, rest)
    elif mode == "version":
        ok = check_version(path, rest[0], rest[1:])
    elif mode == "machine":
        ok = check_machine(path, rest[0])
    elif mode == "resources":
        ok = list_resources(path)
    elif mode == "application":
        ok = check_application(path)
    elif mode == "hardening":
        ok = check_hardening(path)
    elif mode == "covers":
        ok = check_covers(path, rest[0])
    else:
        sys.exit(__doc__)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
