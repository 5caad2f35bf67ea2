#!/usr/bin/env python3
"""Checks a deck translated by the fake COM engine against its source.

That engine upper-cases every text it is sent, so every text body of the
edited parts whose source has lower-case letters must come back with none
(it went through the engine), hold the same number of bodies as the source,
and every part the run does not edit must be byte for byte the same.
Usage: check_engine_pass.py SOURCE TRANSLATION; one line per problem.
"""
import os
import re
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import check_bracketed as cb  # noqa: E402

LOWER = re.compile(r"[a-z]")


def main(argv):
    src, out = zipfile.ZipFile(argv[1]), zipfile.ZipFile(argv[2])
    problems = []
    if set(src.namelist()) != set(out.namelist()):
        problems.append("the parts differ")
    translated = 0
    for name in sorted(set(src.namelist()) & set(out.namelist())):
        a, b = src.read(name), out.read(name)
        if name == "[Content_Types].xml":
            continue
        if not cb.EDITED.match(name):
            if a != b:
                problems.append(f"{name}: changed although the run does not edit it")
            continue
        sb, ob = cb.bodies(a), cb.bodies(b)
        if len(sb) != len(ob):
            problems.append(f"{name}: {len(sb)} text bodies became {len(ob)}")
            continue
        for i, ((kind, s), (_, t)) in enumerate(zip(sb, ob)):
            if kind == "covered" or not LOWER.search(s):
                continue
            if LOWER.search(t):
                problems.append(f"{name}: body {i + 1} did not go through the engine: {t[:60]!r}")
            else:
                translated += 1
    if translated == 0:
        problems.append("nothing was translated")
    for p in problems:
        print(f"{argv[2]}: {p}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
