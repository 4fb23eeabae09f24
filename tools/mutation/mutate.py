#!/usr/bin/env python3
"""Mutation run over the module and the host: applies each mutant of mutants.py in a
scratch copy of the sources, rebuilds only what its tests need, runs them
(native preset and/or win64 under Wine), reverts, and prints the score.

  tools/mutation/mutate.py [--only ID[,ID]] [--host] [--native-only] [--sample] [--list] [--check]

The scratch copy lives in ~/.cache/morva/mutation/<key>/ (MORVA_MUTATION_DIR
overrides the parent folder); it is made when absent and brought level with
this checkout's working tree at every run. A mutant is killed when a
selected test fails, survives when all pass, and is invalid when it does not
compile (not counted). Equivalent mutants are listed but never run. The
score is printed for the module and, apart, for the host (host/). A mutant
whose original text is not found exactly once in its file is stale: the run
names every such one among those selected and stops before it builds
anything; --check does so for the whole table and does nothing else.
"""

import argparse
import fcntl
import hashlib
import os
import re
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
sys.path.insert(0, str(HERE))
sys.dont_write_bytecode = True
from mutants import MUTANTS  # noqa: E402

JOBS = "2"
# The Wine programs that take a minute or more: a mutant meets them last.
LONG_PROGRAMS = {"fault_sweep_test", "soak_test"}
# How long one stage of a mutant's tests may run, in seconds.
MUTANT_LIMIT = 600

# One display and one Wine server per prefix for all the run's Wine tests,
# started and stopped by the project's own session script.
SESSION_START = """
source tools/wine-session.sh
unset DISPLAY
start_wine_session "$1" >&2 || exit 1
start_wine_prefix "$2" 120 >&2
echo "$DISPLAY $WINE_DISPLAY_XVFB"
"""
SESSION_STOP = """
source tools/wine-session.sh
wine_environment "$1"
WINE_SESSION_PREFIXES=$2
WINE_DISPLAY_XVFB=$3
stop_wine_session
"""


def source_files(root, git=True):
    """The files of a source tree, relative to it: what git lists (tracked
    and untracked, not ignored), or without git every file outside the
    top-level build/ and .git/."""
    listed = subprocess.run(["git", "ls-files", "-z", "-co", "--exclude-standard"], cwd=root,
                            capture_output=True) if git else None
    if listed and listed.returncode == 0:
        return {f for f in listed.stdout.decode().split("\0") if f and (root / f).is_file()}
    files = set()
    for folder, dirs, names in os.walk(root):
        if Path(folder) == root:
            dirs[:] = [d for d in dirs if d not in ("build", ".git")]
        files.update(Path(folder, name).relative_to(root).as_posix() for name in names)
    return files


class Scratch:
    """A copy of the checkout's sources with its own build folders."""

    def __init__(self, path):
        self.path = path
        self.logs = path.parent / (path.name + "-logs")
        self.display = None

    def sync(self):
        files = source_files(ROOT)
        for rel in files:
            data = (ROOT / rel).read_bytes()
            target = self.path / rel
            # Only changed files are written, so the builds stay incremental.
            if not target.is_file() or target.read_bytes() != data:
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_bytes(data)
                target.chmod((ROOT / rel).stat().st_mode & 0o777)
        for rel in source_files(self.path, git=False) - files:
            (self.path / rel).unlink()
        self.logs.mkdir(parents=True, exist_ok=True)

    def run(self, cmd, log, env=None):
        with open(log, "a") as out:
            out.write("$ " + " ".join(map(str, cmd)) + "\n")
            out.flush()
            return subprocess.run(cmd, cwd=self.path, stdout=out, stderr=subprocess.STDOUT,
                                  env=env).returncode

    def build(self, preset, targets, log):
        if not (self.path / "build" / preset / "CMakeCache.txt").exists():
            if self.run(["cmake", "--preset", preset], log):
                return False
        return self.run(["cmake", "--build", "--preset", preset, "-j", JOBS, "--target", *targets],
                        log) == 0

    def test(self, preset, regex, log, limit=None):
        """The names of the failed tests; empty when all passed. Under Wine
        the tests of the quick programs run first, and the long programs'
        only when those all pass: most mutants are killed in seconds. With a
        `limit` in seconds, each stage's tests are stopped when it has
        passed, so that a fault that leaves a program waiting on a box (its
        fixture's own timeout is half an hour) fails it in minutes."""
        env = dict(os.environ)
        stages = [regex]
        if preset == "win64":
            env["DISPLAY"] = self.display
            programs = self.tests(preset)
            selected = [t for t in programs if re.search(regex, t)]
            quick = [t for t in selected if programs[t] not in LONG_PROGRAMS]
            if quick and len(quick) < len(selected):
                stages = [exact(quick), exact(set(selected) - set(quick))]
        for stage in stages:
            start = log.stat().st_size if log.exists() else 0
            stop = ["--stop-time", time.strftime("%H:%M:%S", time.localtime(time.time() + limit))
                    ] if limit else []
            status = self.run(["ctest", "--preset", preset, "-R", stage, "-j", JOBS, "--timeout",
                               "300", "--no-tests=error", "--stop-on-failure", *stop], log, env)
            if status:
                with open(log) as f:
                    f.seek(start)
                    failed = re.findall(r"^\s*\d+ - (\S+) \(", f.read(), re.M)
                return failed or ["ctest exit %d" % status]
        return []

    def tests(self, preset):
        """The ctest names of a preset's GoogleTest tests, read from their
        sources, with the program that holds each."""
        folder, prefix = ("native", "native.") if preset == "native" else ("wine", "wine.")
        names = {"wine.DialogLayout.At120Dpi": "dialog_layout_test",
                 "wine.HostWindow.At120Dpi": "host_test"} if preset == "win64" else {}
        for source in (self.path / "tests" / folder).glob("*_test.cpp"):
            for suite, name in re.findall(r"^TEST(?:_F)?\((\w+),\s*(\w+)\)", source.read_text(),
                                          re.M):
                names[prefix + suite + "." + name] = source.stem
        return names

    def targets(self, preset, regex):
        """What the tests the regex selects need built: the native test
        program, or the module and the Wine test programs that hold them."""
        if preset == "native":
            return ["native_tests"]
        tests = self.tests(preset)
        return ["morva", *sorted({tests[t] for t in tests if re.search(regex, t)})]

    def prefixes(self):
        win64 = self.path / "build/win64"
        return [str(win64 / "wineprefix"), str(win64 / "wineprefix-120dpi")]

    def start_wine(self):
        out = subprocess.run(["bash", "-c", SESSION_START, "_", *self.prefixes()], cwd=self.path,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        words = out.stdout.split()
        if out.returncode or not words:
            sys.exit("mutate: the Wine session did not start")
        self.display, self.xvfb = words[0], words[1] if len(words) > 1 else ""

    def stop_wine(self):
        if self.display:
            subprocess.run(["bash", "-c", SESSION_STOP, "_", *self.prefixes(), self.xvfb],
                           cwd=self.path, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.display = None


def stale(mutants):
    """Names each of the mutants whose original text this checkout's file
    does not hold exactly once, and returns how many there are: such a fault
    would say nothing about the code it was written for."""
    moved = 0
    for m in mutants:
        path = ROOT / m["file"]
        count = path.read_text().count(m["old"]) if path.is_file() else 0
        if count != 1:
            print("stale      %-27s %s: original text found %d times" % (m["id"], m["file"], count))
            moved += 1
    return moved


def in_host(m):
    return m["file"].startswith("host/")


def exact(names):
    """A ctest regex for exactly these tests: its regexes allow only a few
    groups, so it names them."""
    return "^(" + "|".join(sorted(names)).replace(".", "\\.") + ")$"


def either(scratch, preset, regexes):
    """One regex for the tests any of the regexes selects."""
    return exact(t for t in scratch.tests(preset) if any(re.search(r, t) for r in regexes))


def check(scratch, preset, regex, log):
    """Builds and runs a mutant's tests of one preset: None when it does not
    build, else the failed tests."""
    if not scratch.build(preset, scratch.targets(preset, regex), log):
        return None
    return scratch.test(preset, regex, log, MUTANT_LIMIT)


def run_mutant(scratch, m, presets):
    path = scratch.path / m["file"]
    original = path.read_text()
    log = scratch.logs / (m["id"] + ".log")
    log.unlink(missing_ok=True)
    path.write_text(original.replace(m["old"], m["new"]))
    try:
        for preset in presets:
            failed = check(scratch, preset, m[preset], log)
            if failed is None:
                return "invalid", "does not compile"
            if failed:
                return "killed", "by " + failed[0]
        return "survived", ""
    finally:
        path.write_text(original)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--only", help="run these mutants only (comma-separated ids)")
    parser.add_argument("--host", action="store_true", help="the host's mutants only (host/)")
    parser.add_argument("--native-only", action="store_true",
                        help="run the native tests only, and only mutants that have some")
    parser.add_argument("--sample", action="store_true",
                        help="the CI sample: the fast native mutants; fails unless all are killed")
    parser.add_argument("--list", action="store_true", help="print the table and exit")
    parser.add_argument("--check", action="store_true",
                        help="name every stale mutant of the whole table; fails when there is one")
    args = parser.parse_args()

    mutants = MUTANTS
    if args.check:
        moved = stale(MUTANTS)
        print("mutation table: %d mutants, %d stale" % (len(MUTANTS), moved))
        return 2 if moved else 0
    if args.only:
        ids = args.only.split(",")
        unknown = set(ids) - {m["id"] for m in MUTANTS}
        if unknown:
            sys.exit("mutate: no mutant " + ", ".join(sorted(unknown)))
        mutants = [m for m in MUTANTS if m["id"] in ids]
    if args.host:
        mutants = [m for m in mutants if in_host(m)]
    if args.sample:
        mutants = [m for m in mutants if m["sample"]]
    native_only = args.native_only or args.sample
    if native_only:
        mutants = [m for m in mutants if m["native"]]
    presets = ["native"] if native_only else ["native", "win64"]

    if args.list:
        for m in mutants:
            mark = "equivalent" if m["equivalent"] else "sample" if m["sample"] else ""
            tests = " ".join(m[p] for p in ("native", "win64") if m[p])
            print("%-27s %-10s %-21s %s\n%38s tests: %s" % (m["id"], mark, m["file"], m["desc"],
                                                             "", tests))
            if m["equivalent"]:
                print("%38s equivalent: %s" % ("", m["equivalent"]))
        return 0
    moved = stale(mutants)
    if moved:
        print("mutate: %d stale; each must follow its code before the run" % moved)
        return 2

    key = hashlib.sha1(str(ROOT).encode()).hexdigest()[:10]
    base = Path(os.environ.get("MORVA_MUTATION_DIR") or Path.home() / ".cache/morva/mutation")
    scratch = Scratch(base / key / ("sample" if args.sample else "clone"))
    scratch.path.mkdir(parents=True, exist_ok=True)
    lock = open(str(scratch.path) + ".lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    started = time.time()
    print("mutate: sources of %s in %s" % (ROOT, scratch.path), flush=True)
    scratch.sync()

    results = {}  # id: (status, detail)
    runnable = []
    for m in mutants:
        if m["equivalent"]:
            results[m["id"]] = ("equivalent", m["equivalent"])
        else:
            runnable.append(m)
    used = [p for p in presets if any(m[p] for m in runnable)]

    try:
        # The selected tests must pass unmutated before any mutant says anything.
        for preset in used:
            regex = either(scratch, preset, [m[preset] for m in runnable if m[preset]])
            log = scratch.logs / ("baseline-%s.log" % preset)
            log.unlink(missing_ok=True)
            if not scratch.build(preset, scratch.targets(preset, regex), log):
                print("mutate: the unmutated %s build fails; see %s" % (preset, log))
                return 2
            if preset == "win64":
                scratch.start_wine()
            failed = scratch.test(preset, regex, log)
            if failed:
                print("mutate: unmutated, %s fails; see %s" % (" ".join(failed), log))
                return 2
        print("mutate: baseline passes (%s); %d mutants to run" % (", ".join(used), len(runnable)),
              flush=True)
        for m in mutants:
            if m in runnable:
                begun = time.time()
                outcome, detail = run_mutant(scratch, m, [p for p in used if m[p]])
                took = "%d s" % (time.time() - begun)
                results[m["id"]] = (outcome, detail + ", " + took if detail else took)
            outcome, detail = results[m["id"]]
            print("%-10s %-27s %s: %s (%s)" % (outcome, m["id"], m["file"], m["desc"], detail),
                  flush=True)
    finally:
        scratch.stop_wine()

    counts = {s: sum(1 for r in results.values() if r[0] == s)
              for s in ("killed", "survived", "invalid", "equivalent")}
    print()
    # The module's score and the host's, each when the run had mutants of it.
    for area, label in ((False, "mutation score"), (True, "mutation score (host)")):
        outcomes = [results[m["id"]][0] for m in mutants if in_host(m) == area]
        if outcomes or not (area or any(map(in_host, mutants))):
            killed = outcomes.count("killed")
            print("%s: %d of %d" % (label, killed, killed + outcomes.count("survived")))
    print("(%d invalid, %d equivalent; %d s in all; logs in %s)" % (
        counts["invalid"], counts["equivalent"], time.time() - started, scratch.logs))
    survivors = [m for m in mutants if results[m["id"]][0] == "survived"]
    if survivors:
        print("survivors:")
        for m in survivors:
            print("  %-27s %s: %s" % (m["id"], m["file"], m["desc"]))
    return 1 if args.sample and (survivors or counts["invalid"]) else 0


if __name__ == "__main__":
    sys.exit(main())
