#!/usr/bin/env python3
"""Reports one run of the 32-bit suite from what the guest brought back, and
runs and reports the 64-bit programs' tests the same way.

  results.py OUT_DIR NAME    passes when NAME's program exited 0 and, for a
                             test program, its XML (NAME.xml) lists tests,
                             none of them failed
  results.py OUT_DIR NAME TEST
                             passes when NAME.xml lists TEST (Suite.Name) as
                             run, without a failure
  results.py --run OUT_DIR NAME COMMAND...
                             runs the test program COMMAND (with its emulator
                             and filter) into OUT_DIR/NAME.xml, an older one
                             removed first; fails only when it wrote none
"""
import glob
import os
import subprocess
import sys
import xml.etree.ElementTree as ET


def run(out, name, command):
    os.makedirs(out, exist_ok=True)
    report = os.path.join(out, name + ".xml")
    if os.path.exists(report):
        os.remove(report)
    rc = subprocess.call(command + ["--gtest_output=xml:" + report.replace("/", "\\")])
    written = os.path.exists(report)
    print("%s: exit %d, %s" % (name, rc, "report written" if written else "no report"))
    return 0 if written else 1


def one_test(out, name, test):
    report = os.path.join(out, name + ".xml")
    cases = ET.parse(report).getroot().iter("testcase") if os.path.exists(report) else []
    for case in cases:
        if "%s.%s" % (case.get("classname"), case.get("name")) != test:
            continue
        if case.get("result", "completed") != "completed" or case.get("status") == "notrun":
            break
        failures = case.findall("failure")
        for f in failures:
            print((f.get("message") or "").replace("\n", "\n  "))
        print("%s: %s in %s s" % (test, "FAILED" if failures else "passed", case.get("time")))
        return 1 if failures else 0
    print("%s: not run (see the test %s)" % (test, name))
    return 1


def main():
    if sys.argv[1] == "--run":
        return run(sys.argv[2], sys.argv[3], sys.argv[4:])
    if len(sys.argv) > 3:
        return one_test(*sys.argv[1:4])
    out, name = sys.argv[1], sys.argv[2]
    path = os.path.join(out, name)
    try:
        rc = int(open(path + ".rc").read().strip())
    except (OSError, ValueError):
        print("%s: did not run (no exit code in %s)" % (name, out))
        return 1
    text = open(path + ".txt", errors="replace").read() if os.path.exists(path + ".txt") else ""
    reports = glob.glob(path + ".xml")
    if not reports:
        if "[==========] Running" in text:
            # A test program that ended before its report, as one does when
            # something ends every program in the session.
            print(text)
            print("%s: ended before writing its report (exit %d)" % (name, rc))
            return 1
        print(text)
        print("%s: exit %d" % (name, rc))
        return 0 if rc == 0 else 1
    cases = [c for r in reports for c in ET.parse(r).getroot().iter("testcase")]
    ran = failed = 0
    for case in cases:
        if case.get("result", "completed") != "completed" or case.get("status") == "notrun":
            continue
        ran += 1
        failures = case.findall("failure")
        if failures:
            failed += 1
            print("FAILED %s.%s" % (case.get("classname"), case.get("name")))
            for f in failures:
                print("  " + (f.get("message") or "").replace("\n", "\n  "))
    for line in text.splitlines():
        if line.startswith(("fault sweep:", "host file sweep:", "gesture run:")):
            print(line)
    print("%s: %d tests, %d failed, exit %d" % (name, ran, failed, rc))
    if failed or rc != 0:
        print(text[-4000:])
    return 0 if ran > 0 and failed == 0 and rc == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
