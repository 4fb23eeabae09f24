#!/usr/bin/env python3
"""Unpacks on the host the packages that debootstrap's first stage downloaded
into ROOT and registers them with dpkg as unpacked, as `dpkg --unpack` would,
so that in the emulated system only their preinst scripts and configuration
remain to run (tools/i386/build-guest.sh does that).
  unpack.py ROOT [EXCLUDED...]
EXCLUDED are shell patterns of package names to leave out. Writes
ROOT/morva-packages: the packages, one a line as dpkg's info files name them,
in the order their preinst scripts are to run (debootstrap's order)."""

import fnmatch
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile

# debootstrap installs these first, in this order, before the rest.
CORE = ["base-passwd", "base-files", "dpkg", "libc6", "perl-base", "mawk", "debconf"]


def parse_control(text):
    """The fields of a control paragraph, in order, as (name, value) pairs;
    a value keeps its continuation lines."""
    fields = []
    for line in text.splitlines():
        if not line.strip():
            continue
        if line[0] in " \t" and fields:
            fields[-1] = (fields[-1][0], fields[-1][1] + "\n" + line)
        else:
            name, _, value = line.partition(":")
            fields.append((name, value.strip()))
    return fields


def unpack(root, deb, work):
    """Unpacks one package into root; returns its status paragraph and the
    name its info files take."""
    ctrl = os.path.join(work, "ctrl")
    shutil.rmtree(ctrl, ignore_errors=True)
    subprocess.run(["dpkg-deb", "-e", deb, ctrl], check=True)
    with open(os.path.join(ctrl, "control")) as f:
        fields = parse_control(f.read())
    info = dict(fields)
    name = info["Package"]
    if info.get("Multi-Arch") == "same" and info["Architecture"] != "all":
        name += ":" + info["Architecture"]

    data = os.path.join(work, "data.tar")
    with open(data, "wb") as f:
        subprocess.run(["dpkg-deb", "--fsys-tarfile", deb], stdout=f, check=True)
    with tarfile.open(data) as t:
        members = t.getnames()
    # /bin, /lib and /sbin are links into /usr here: extract through them.
    subprocess.run(["tar", "-x", "--keep-directory-symlink", "-f", data, "-C", root],
                   check=True)
    paths = ["/."]
    for m in members:
        m = m[1:] if m.startswith("./") else "/" + m.lstrip("/")
        m = m.rstrip("/")
        if m and m != "/.":
            paths.append(m)

    conffiles = []
    if os.path.exists(os.path.join(ctrl, "conffiles")):
        with open(os.path.join(ctrl, "conffiles")) as f:
            for line in f:
                words = line.split()
                # A flagged line ("remove-on-upgrade PATH") names a file the
                # package no longer ships.
                if len(words) != 1:
                    continue
                path = words[0]
                # dpkg unpacks a conffile beside its place, and configuring
                # the package moves it there.
                target = root + path
                if os.path.lexists(target):
                    os.rename(target, target + ".dpkg-new")
                conffiles.append(path)

    infodir = os.path.join(root, "var/lib/dpkg/info")
    for f in os.listdir(ctrl):
        if f != "control":
            shutil.copy2(os.path.join(ctrl, f), os.path.join(infodir, name + "." + f))
    with open(os.path.join(infodir, name + ".list"), "w") as f:
        f.write("\n".join(paths) + "\n")

    lines = []
    for field, value in fields:
        lines.append(f"{field}: {value}" if value and not value.startswith("\n")
                     else f"{field}:{value}")
        if field == "Package":
            lines.append("Status: install ok unpacked")
    if conffiles:
        lines.append("Conffiles:")
        lines.extend(f" {p} newconffile" for p in conffiles)
    return "\n".join(lines) + "\n", name


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    excluded = sys.argv[2:]
    boot = os.path.join(root, "debootstrap")
    with open(os.path.join(boot, "required")) as f:
        required = f.read().split()
    with open(os.path.join(boot, "base")) as f:
        base = f.read().split()
    debs = {}
    with open(os.path.join(boot, "debpaths")) as f:
        for line in f:
            pkg, path = line.split()
            debs[pkg] = root + path
    order = []
    for pkg in [p for p in CORE if p in required] + required + base:
        if pkg not in order and not any(fnmatch.fnmatch(pkg, e) for e in excluded):
            order.append(pkg)

    os.makedirs(os.path.join(root, "var/lib/dpkg/info"), exist_ok=True)
    with open(os.path.join(root, "var/lib/dpkg/info/format"), "w") as f:
        f.write("1\n")
    status, names = [], []
    with tempfile.TemporaryDirectory() as work:
        for pkg in order:
            paragraph, name = unpack(root, debs[pkg], work)
            status.append(paragraph)
            names.append(name)
    with open(os.path.join(root, "var/lib/dpkg/status"), "w") as f:
        f.write("\n".join(status))
    with open(os.path.join(root, "morva-packages"), "w") as f:
        f.write("\n".join(names) + "\n")


if __name__ == "__main__":
    main()
