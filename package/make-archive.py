#!/usr/bin/env python3
"""Writes the release archive the same, byte for byte, from the same source
and the same toolchain, wherever and whenever it is built.

  make-archive.py ARCHIVE SOURCE VERSION COMPILER TOOL... -- FILE...

Each FILE goes into ARCHIVE under its own name, beside BUILDINFO.txt: the
source's commit and the exact Debian packages that own the COMPILER, the
files it builds and links with, and each TOOL. The entries come in the order
of their names, deflated at level 9, dated at the source's time, readable by
all; ARCHIVE.sha256 is written beside it as sha256sum prints it.

The source's time is SOURCE_DATE_EPOCH when set, otherwise the time of the
source's commit; a source without its git history (an unpacked tarball) is
dated 1980-01-01, the first date an archive entry can hold, and its commit
is "unknown".
"""
import hashlib
import os
import platform
import subprocess
import sys
import time
import zipfile
import zlib

EARLIEST = 315532800  # 1980-01-01 00:00:00 UTC
# What the compiler builds and links with beyond itself: its back end, the
# linker, its run-time libraries and the Windows import libraries.
COMPILER_PARTS = ["-print-prog-name=cc1plus", "-print-prog-name=ld",
                  "-print-file-name=libstdc++.a", "-print-libgcc-file-name",
                  "-print-file-name=libkernel32.a", "-print-file-name=libwinpthread.a"]


def output(*command, cwd=None):
    """What a command prints, stripped, or None when it fails or is missing."""
    try:
        done = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    except OSError:
        return None
    return done.stdout.strip() if done.returncode == 0 else None


def source_state(source):
    """(commit, epoch, local changes) of the source tree; commit is None
    when the tree is not the top of a git work tree of its own. The tree is
    only read, so it may belong to another user."""
    def git(*args):
        return output("git", "-c", "safe.directory=*", *args, cwd=source)

    top = git("rev-parse", "--show-toplevel")
    commit, changed = None, False
    if top and os.path.realpath(top) == os.path.realpath(source):
        commit = git("rev-parse", "HEAD")
        changed = bool(git("status", "--porcelain", "--untracked-files=no"))
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch is None and commit:
        epoch = git("log", "-1", "--format=%ct")
    return commit, max(int(epoch or EARLIEST), EARLIEST), changed


def release_state(source, version, commit, changed):
    """Whether the tree is the release of its version: the commit that set
    the version in CMakeLists.txt, with no local changes. Between releases
    the version stays the last one's, so the build information says how far
    past that commit the tree is."""
    if not commit:
        return "unknown (no git history)"
    line = "project(morva VERSION %s " % version
    made = output("git", "-c", "safe.directory=*", "log", "-1", "--format=%H", "-S", line,
                  "--", "CMakeLists.txt", cwd=source)
    if not made:
        return "unknown (the commit that set %s is not in the history)" % version
    after = int(output("git", "-c", "safe.directory=*", "rev-list", "--count",
                       made + "..HEAD", cwd=source) or 0)
    if after == 0 and not changed:
        return "%s, the commit that set it" % version
    past = "%d commit%s after" % (after, "" if after == 1 else "s") if after else "local changes to"
    return "not the %s release: %s the commit that set it (%s)" % (version, past, made[:12])


def packages(compiler, tools):
    """Each Debian package that owns one of these files, with its version."""
    files = [compiler] + [output(compiler, part) for part in COMPILER_PARTS] + tools
    names = set()
    for path in filter(None, files):
        if not os.path.isabs(path):  # the compiler's answer for a file it lacks
            continue
        found = (output("dpkg-query", "-S", os.path.realpath(path))
                 or output("dpkg-query", "-S", os.path.normpath(path)))
        for line in (found or "").splitlines():  # "pkg[:arch][, pkg...]: path"
            if not line.startswith("diversion "):
                names.update(n.split(":")[0] for n in line.split(": ")[0].split(", "))
    versions = [output("dpkg-query", "-W", "-f=${Package} (= ${Version})", name)
                for name in sorted(names)]
    return [v for v in versions if v] or ["unknown (no Debian package database)"]


def build_info(archive, version, commit, epoch, changed, installed, release):
    lines = ["Source: morva",
             "Version: " + version,
             "Release: " + release,
             "Archive: " + os.path.basename(archive),
             "Commit: " + (commit or "unknown") + (" with local changes" if changed else ""),
             "Source-Date: " + time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(epoch)),
             "Source-Date-Epoch: %d" % epoch,
             "Build-Architecture: " + (output("dpkg", "--print-architecture") or "unknown"),
             "Archive-Writer: Python %s, zlib %s" % (platform.python_version(),
                                                     zlib.ZLIB_RUNTIME_VERSION),
             "Installed-Build-Depends:"]
    lines += [" %s%s" % (p, "," if i + 1 < len(installed) else "")
              for i, p in enumerate(installed)]
    lines += ["", "To rebuild this archive and compare it, see INSTALL.txt.", ""]
    return "\r\n".join(lines).encode()


def write_archive(archive, entries, epoch):
    stamp = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(archive + ".part", "w") as out:
        for name, body in sorted(entries.items()):
            entry = zipfile.ZipInfo(name, stamp)
            entry.create_system = 3  # Unix: the attributes below are a file mode
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            out.writestr(entry, body, compresslevel=9)
    os.replace(archive + ".part", archive)
    with open(archive, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    with open(archive + ".sha256", "w", newline="\n") as f:
        f.write("%s  %s\n" % (digest, os.path.basename(archive)))
    return digest


def main():
    split = sys.argv.index("--")
    archive, source, version, compiler = sys.argv[1:5]
    tools, files = sys.argv[5:split], sys.argv[split + 1:]
    commit, epoch, changed = source_state(source)
    entries = {os.path.basename(f): open(f, "rb").read() for f in files}
    release = release_state(source, version, commit, changed)
    entries["BUILDINFO.txt"] = build_info(archive, version, commit, epoch, changed,
                                          packages(compiler, tools), release)
    digest = write_archive(archive, entries, epoch)
    print("%s: %d bytes, sha256 %s" % (archive, os.path.getsize(archive), digest))


if __name__ == "__main__":
    main()
