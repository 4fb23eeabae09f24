#!/usr/bin/env python3
"""Writes the emulated i386 system's initramfs: a gzipped newc cpio archive
holding static busybox, the kernel modules needed to reach the virtio root disk
(with their dependencies, in load order) and an /init that mounts the root.
  initramfs.py OUT BUSYBOX MODULES_DIR INIT_SCRIPT MODULE...
MODULES_DIR is the kernel's /lib/modules/VERSION folder; each MODULE is a
module name (e.g. ext4); the ones the kernel has built in are skipped."""

import gzip
import lzma
import os
import struct
import sys


class Cpio:
    """A newc ("070701") archive, written member by member."""

    def __init__(self):
        self.parts = []
        self.ino = 1

    def add(self, name, mode, data=b"", rdev=(0, 0)):
        raw = name.encode() + b"\0"
        fields = [self.ino, mode, 0, 0, 1, 0, len(data), 0, 0,
                  rdev[0], rdev[1], len(raw), 0]
        self.ino += 1
        header = b"070701" + b"".join(b"%08X" % f for f in fields)
        self.parts.append(header + raw)
        self.parts.append(b"\0" * (-(110 + len(raw)) % 4))
        self.parts.append(data)
        self.parts.append(b"\0" * (-len(data) % 4))

    def dir(self, name):
        self.add(name, 0o040755)

    def file(self, name, data, mode=0o644):
        self.add(name, 0o100000 | mode, data)

    def symlink(self, name, target):
        self.add(name, 0o120777, target.encode())

    def chardev(self, name, major, minor):
        self.add(name, 0o020600, rdev=(major, minor))

    def bytes(self):
        self.add("TRAILER!!!", 0)
        return b"".join(self.parts)


def modinfo_depends(data):
    """The names in a module's "depends=" field, read from the .modinfo
    section of its ELF file (32- or 64-bit, little-endian)."""
    wide = data[4] == 2
    if wide:
        shoff, = struct.unpack_from("<Q", data, 0x28)
        shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x3A)
    else:
        shoff, = struct.unpack_from("<I", data, 0x20)
        shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x2E)

    def section(i):
        base = shoff + i * shentsize
        if wide:
            name, = struct.unpack_from("<I", data, base)
            off, size = struct.unpack_from("<QQ", data, base + 0x18)
        else:
            name, = struct.unpack_from("<I", data, base)
            off, size = struct.unpack_from("<II", data, base + 0x10)
        return name, off, size

    _, stroff, _ = section(shstrndx)
    for i in range(shnum):
        name, off, size = section(i)
        end = data.index(b"\0", stroff + name)
        if data[stroff + name:end] == b".modinfo":
            for field in data[off:off + size].split(b"\0"):
                if field.startswith(b"depends="):
                    value = field[len(b"depends="):].decode()
                    return [d for d in value.split(",") if d]
            return []
    return []


def read_module(path):
    with open(path, "rb") as f:
        data = f.read()
    return lzma.decompress(data) if path.endswith(".xz") else data


def module_order(moddir, wanted):
    """Paths of the wanted modules and of what they depend on, each after its
    dependencies. Read from the modules themselves: the kernel package comes
    without modules.dep, which its postinst makes."""
    by_name = {}
    for top, _, files in os.walk(moddir):
        for f in files:
            if ".ko" in f:
                by_name[f.split(".ko")[0].replace("-", "_")] = os.path.join(top, f)
    builtin = set()
    try:
        with open(os.path.join(moddir, "modules.builtin")) as f:
            for line in f:
                base = os.path.basename(line.strip()).split(".ko")[0]
                builtin.add(base.replace("-", "_"))
    except FileNotFoundError:
        pass
    order = []

    def visit(name):
        key = name.replace("-", "_")
        if key not in by_name:
            if key in builtin:
                return
            sys.exit(f"initramfs.py: no module {name} in {moddir}")
        path = by_name[key]
        if path in order:
            return
        for d in modinfo_depends(read_module(path)):
            visit(d)
        order.append(path)

    for name in wanted:
        visit(name)
    return order


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    out, busybox, moddir, init = sys.argv[1:5]
    archive = Cpio()
    for d in ["bin", "dev", "proc", "sys", "newroot", "lib", "lib/modules"]:
        archive.dir(d)
    archive.chardev("dev/console", 5, 1)
    with open(busybox, "rb") as f:
        archive.file("bin/busybox", f.read(), 0o755)
    archive.symlink("bin/sh", "busybox")
    with open(init, "rb") as f:
        archive.file("init", f.read(), 0o755)
    names = []
    for path in module_order(moddir, sys.argv[5:]):
        data = read_module(path)
        base = os.path.basename(path)
        if base.endswith(".xz"):
            base = base[:-3]
        archive.file("lib/modules/" + base, data)
        names.append(base)
    archive.file("lib/modules/order", ("\n".join(names) + "\n").encode())
    with open(out, "wb") as f:
        f.write(gzip.compress(archive.bytes(), 6))


if __name__ == "__main__":
    main()
