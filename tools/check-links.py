#!/usr/bin/env python3
"""Checks that every relative link in the project's Markdown pages resolves.

  check-links.py ROOT    README.md and docs/*.md below ROOT

A link resolves when the file it names exists (relative to the page) and,
when it names a heading (#anchor), that page has a heading of that anchor as
GitHub makes them: lower case, punctuation dropped, spaces as hyphens.
"""
import glob
import os
import re
import sys

LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")


def anchors(path):
    found = set()
    for line in open(path, encoding="utf-8"):
        m = re.match(r"#+\s+(.*)", line)
        if m:
            text = re.sub(r"[^\w\- ]", "", m.group(1).strip().lower())
            found.add(text.replace(" ", "-"))
    return found


def main():
    root = sys.argv[1]
    pages = [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))
    broken = 0
    checked = 0
    for page in pages:
        text = open(page, encoding="utf-8").read()
        # Code spans and blocks are not links.
        text = re.sub(r"```.*?```", "", text, flags=re.S)
        text = re.sub(r"`[^`\n]*`", "", text)
        for target in LINK.findall(text):
            if re.match(r"[a-z]+:", target):
                continue
            checked += 1
            name, _, anchor = target.partition("#")
            path = os.path.normpath(os.path.join(os.path.dirname(page), name)) if name else page
            if not os.path.exists(path):
                print("%s: %s: no such file" % (os.path.relpath(page, root), target))
                broken += 1
            elif anchor and path.endswith(".md") and anchor not in anchors(path):
                print("%s: %s: no such heading" % (os.path.relpath(page, root), target))
                broken += 1
    print("%d relative links in %d pages, %d broken" % (checked, len(pages), broken))
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
