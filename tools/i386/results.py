#!/usr/bin/env python3
"""Reports one run of the 32-bit suite from what the guest brought back.

  results.py OUT_DIR NAME    passes when NAME's program exited 0 and, for a
                             test program, its XML lists tests, none failed
"""
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
    if not os.path.exists(path + ".xml"):
        print(text)
        print("%s: exit %d" % (name, rc))
        return 0 if rc == 0 else 1
    suites = ET.parse(path + ".xml").getroot()
    ran = failed = 0
    for case in suites.iter("testcase"):
        if case.get("result", "completed") != "completed" or case.get("status") == "notrun":
            continue
        ran += 1
        failures = case.findall("failure")
        if failures:
            failed += 1
            print("FAILED %s.%s" % (case.get("classname"), case.get("name")))
            for f in failures:
                print("  " + (f.get("message") or "").replace("\n", "\n  "))
    print("%s: %d tests, %d failed, exit %d" % (name, ran, failed, rc))
    if failed or rc != 0:
        print(text[-4000:])
    return 0 if ran > 0 and failed == 0 and rc == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
