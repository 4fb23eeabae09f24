#!/usr/bin/env python3
"""Rebuilds the release elsewhere and compares it, byte for byte.

  rebuild-and-compare.py compare ARCHIVE OTHER
      compares two archives: when they differ, names each entry that differs
      and where its bytes first differ, and prints diffoscope's account of
      the difference where diffoscope is installed
  rebuild-and-compare.py rebuild SOURCE PRESET ARCHIVE
      builds the archive again from a second clone of SOURCE (its commit,
      its local changes and its new files that git does not ignore; a copy
      of it without its build folder when it has no git history) in a new
      folder of another length, with the preset PRESET, in another time zone
      and locale and under another umask, and compares the result with
      ARCHIVE and its .sha256 file; the folder is removed when they match
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile


def first_difference(a, b):
    for at, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return at
    return None if len(a) == len(b) else min(len(a), len(b))


def entries(path):
    with zipfile.ZipFile(path) as z:
        return {i.filename: (z.read(i), (i.date_time, i.external_attr, i.create_system,
                                         i.compress_type, i.extra)) for i in z.infolist()}


def compare(archive, other):
    a, b = open(archive, "rb").read(), open(other, "rb").read()
    at = first_difference(a, b)
    if at is None:
        print("same: %s (sha256 %s)" % (other, hashlib.sha256(a).hexdigest()))
        return True
    print("%s and %s differ from byte %d on (%d and %d bytes)" % (archive, other, at,
                                                                len(a), len(b)))
    both = zipfile.is_zipfile(archive) and zipfile.is_zipfile(other)
    mine, theirs = (entries(archive), entries(other)) if both else ({}, {})
    for name in sorted(set(mine) | set(theirs)):
        if name not in mine or name not in theirs:
            print("  %s: only in %s" % (name, archive if name in mine else other))
        elif mine[name][0] != theirs[name][0]:
            print("  %s: differs from offset %d on" % (name, first_difference(
                mine[name][0], theirs[name][0])))
        elif mine[name][1] != theirs[name][1]:
            print("  %s: same bytes, entry differs (date, mode, system, method, extra):"
                  "\n    %s\n    %s" % (name, mine[name][1], theirs[name][1]))
    if shutil.which("diffoscope"):
        subprocess.run(["diffoscope", archive, other])
    return False


def second_source(source, copy):
    def git(*args, **kw):
        return subprocess.run(["git", "-c", "safe.directory=*", *args], check=True,
                              capture_output=True, **kw).stdout

    try:
        top = git("-C", source, "rev-parse", "--show-toplevel", text=True).strip()
    except (OSError, subprocess.CalledProcessError):
        top = None
    if not top or os.path.realpath(top) != os.path.realpath(source):
        shutil.copytree(source, copy, symlinks=True,
                        ignore=lambda d, names: ["build"] if d == source else [])
        return
    commit = git("-C", source, "rev-parse", "HEAD", text=True).strip()
    git("clone", "-q", "--no-checkout", source, copy)
    git("-C", copy, "checkout", "-q", "--detach", commit)
    changes = git("-C", source, "diff", "--binary", "HEAD")
    if changes:
        git("-C", copy, "apply", "--whitespace=nowarn", input=changes)
    new = git("-C", source, "ls-files", "-z", "--others", "--exclude-standard", text=True)
    for name in filter(None, new.split("\0")):
        os.makedirs(os.path.dirname(os.path.join(copy, name)), exist_ok=True)
        shutil.copy2(os.path.join(source, name), os.path.join(copy, name))


def rebuild(source, preset, archive):
    folder = tempfile.mkdtemp(prefix="morva-rebuild-")
    copy = os.path.join(folder, "a-second-morva")
    second_source(source, copy)
    # The second build compiles every file itself: a compiler cache would
    # hand it the first build's objects.
    env = dict(os.environ, TZ="UTC-14", LC_ALL="C", LANG="C", CCACHE_DISABLE="1")
    os.umask(0o027)
    jobs = str(os.cpu_count() or 2)
    for step in (["cmake", "--preset", preset],
                 ["cmake", "--build", "--preset", preset, "--target", "package", "-j", jobs]):
        done = subprocess.run(step, cwd=copy, env=env, capture_output=True, text=True)
        if done.returncode != 0:
            print(done.stdout[-6000:] + done.stderr[-6000:])
            sys.exit("the second build failed in %s: %s" % (copy, " ".join(step)))
    other = os.path.join(copy, "build", preset, os.path.basename(archive))
    same = compare(archive, other)
    same = compare(archive + ".sha256", other + ".sha256") and same
    if same:
        shutil.rmtree(folder)
    else:
        print("the second build is kept in %s" % copy)
    return same


def main():
    if sys.argv[1:2] == ["compare"] and len(sys.argv) == 4:
        ok = compare(*sys.argv[2:])
    elif sys.argv[1:2] == ["rebuild"] and len(sys.argv) == 5:
        ok = rebuild(*sys.argv[2:])
    else:
        sys.exit(__doc__)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
