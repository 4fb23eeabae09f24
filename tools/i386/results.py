#!/usr/bin/env python3
"""Reports one run of the 32-bit suite from what the guest brought back.

  results.py OUT_DIR NAME    passes when NAME's program exited 0 and, for a
                             test program, its XML (NAME.xml, or NAME/*.xml
                             for a run of a process a test) lists tests, none
                             of them failed
"""
import glob
import os
import sys
import xml.etree.ElementTree as ET


def main():
    out, name = sys.argv[1], sys.argv[2]
    path = os.path.join(out, name)
    try:
        rc = int(open(path + ".rc").read().strip())
    except (OSError, ValueError):
        print("%s: did not run (no exit code in %s)" % (name, out))
        return 1
    text = open(path + ".txt", errors="replace").read() if os.path.exists(path + ".txt") else ""
    reports = glob.glob(path + ".xml") + sorted(glob.glob(os.path.join(path, "*.xml")))
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
        if line.startswith(("fault sweep:", "host file sweep:")):
            print(line)
    print("%s: %d tests, %d failed, exit %d" % (name, ran, failed, rc))
    if failed or rc != 0:
        print(text[-4000:])
    return 0 if ran > 0 and failed == 0 and rc == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
