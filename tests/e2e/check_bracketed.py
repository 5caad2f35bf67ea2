#!/usr/bin/env python3
"""Checks a deck translated by the bracket test engine against its source.

The engine answers every text it is sent with "⟦" + text + "⟧", so a text
that went through it exactly once is its source cut into bracketed pieces
with nothing but blanks and punctuation between them. This reads the
packages' XML directly (not through the program's own reader):

  - every part the run does not edit is byte for byte the same;
  - the edited parts (slides, notes pages, SmartArt data and drawings,
    comments) have the same text bodies as the source, in order; each body
    whose source has letters is bracketed exactly once (no "⟦⟦", no letter
    outside brackets) and, without the brackets, is its source again, blanks
    included (the sentence separator only where the source has no blank);
  - the cells a merged table area covers are left alone;
  - a SmartArt drawing shows no paragraph its data model does not hold.

Usage: check_bracketed.py SOURCE TRANSLATION [--only PART[#N]...]
With --only, only those parts (or the N-th text body of a part) are
translated and every other body must be unchanged (a run over one slide or
a few shapes). Prints one line per problem; exit status 1 if any.
"""
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

OPEN, CLOSE = "\u27e6", "\u27e7"
EDITED = re.compile(
    r"^ppt/(slides/slide\d+\.xml|notesSlides/notesSlide\d+\.xml|diagrams/(data|drawing)\d*\.xml"
    r"|comments/(comment|modernComment)[^/]*\.xml|commentAuthors\.xml|authors\.xml)$")
DRAWINGML = ("http://schemas.openxmlformats.org/drawingml/2006/main", "http://purl.oclc.org/ooxml/drawingml/main")
PRESENTATIONML = ("http://schemas.openxmlformats.org/presentationml/2006/main",
                  "http://purl.oclc.org/ooxml/presentationml/main")
MC = "http://schemas.openxmlformats.org/markup-compatibility/2006"


def split(tag):
    if tag.startswith("{"):
        ns, local = tag[1:].split("}", 1)
        return ns, local
    return "", tag


def is_a(el, local):
    ns, name = split(el.tag)
    return name == local and ns in DRAWINGML


def paragraph_text(p):
    out = []

    def walk(el):
        for child in el:
            ns, name = split(child.tag)
            if ns == MC and name == "Fallback":
                continue  # the choice is what a reader shows
            if is_a(child, "t"):
                out.append(child.text or "")
            elif is_a(child, "br"):
                out.append("\v")
            else:
                walk(child)

    walk(p)
    return "".join(out)


def bodies(xml):
    """(kind, text) of every text body in document order: drawing text
    bodies as their paragraphs joined by CR, legacy comment texts."""
    root = ET.fromstring(xml)
    found = []

    def walk(el, covered):
        ns, name = split(el.tag)
        if is_a(el, "tc") and (el.get("hMerge") in ("1", "true") or el.get("vMerge") in ("1", "true")):
            covered = True
        paragraphs = [c for c in el if is_a(c, "p")]
        if paragraphs:
            found.append(("covered" if covered else "body", "\r".join(paragraph_text(p) for p in paragraphs)))
            return
        if name == "text" and ns in PRESENTATIONML:
            found.append(("body", el.text or ""))
            return
        for child in el:
            walk(child, covered)

    walk(root, False)
    return found


# The engine side folds these characters before translating (typographic
# quotes and dashes, odd blanks, control characters). fold leaves blanks out
# so that the words are compared first; blanks are compared after it.
FOLD = {**{c: "-" for c in "\u001e\u001f\u2013\u2014\u2212"},
        **{c: " " for c in "\u00a0\u2002\u2003\u2005\u200c\u200d\u3000"},
        **{c: "'" for c in "\u2018\u2019\u201a"}, **{c: '"' for c in "\u201c\u201d\u201e"},
        **{chr(c): " " for c in range(1, 0x1e)}}


def fold(text):
    return "".join(FOLD.get(c, c) for c in text if not c.isspace() and FOLD.get(c) != " ")


# The separator the run puts between two sentences that have no blank between
# them (the target's: two blanks for the test language).
SEPARATOR = CLOSE + "  " + OPEN


def blanks_of(text):
    """text folded as the engine folds it, line ends and blanks kept."""
    return "".join(c if c in "\r\n\v" else FOLD.get(c, c) for c in text)


def blanks_differ(source, text):
    """Whether the blanks of text differ from its source's, where the
    separator between two bracketed sentences may stand for nothing."""
    pieces = (blanks_of(p.replace(OPEN, "").replace(CLOSE, "")) for p in text.split(SEPARATOR))
    pattern = "(?:  )?".join(re.escape(p) for p in pieces)
    return re.fullmatch(pattern, blanks_of(source)) is None


def has_letters(text):
    return any(c.isalpha() for c in text)


def bracket_problem(source, text):
    """Why text is not source bracketed exactly once, or None."""
    if OPEN + OPEN in text or CLOSE + CLOSE in text:
        return "bracketed twice"
    depth = 0
    outside = []
    for c in text:
        if c == OPEN:
            if depth:
                return "brackets nested"
            depth = 1
        elif c == CLOSE:
            if not depth:
                return "closing bracket without an opening one"
            depth = 0
        elif not depth:
            outside.append(c)
    if depth:
        return "bracket left open"
    if has_letters("".join(outside)):
        return "text outside the brackets: " + repr("".join(outside)[:60])
    if fold(text.replace(OPEN, "").replace(CLOSE, "")) != fold(source):
        return "differs from its source beyond the brackets"
    if has_letters(source) and OPEN not in text:
        return "not translated"
    if blanks_differ(source, text):
        return "blanks differ from its source"
    return None


def content_types(xml):
    return sorted((split(e.tag)[1], sorted(e.attrib.items())) for e in ET.fromstring(xml))


def main(argv):
    src_path, out_path = argv[1], argv[2]
    only = set(argv[argv.index("--only") + 1:]) if "--only" in argv else None
    problems = []
    src, out = zipfile.ZipFile(src_path), zipfile.ZipFile(out_path)
    src_names, out_names = set(src.namelist()), set(out.namelist())
    for name in sorted(out_names - src_names):
        problems.append(f"{name}: new part")
    for name in sorted(src_names):
        if name not in out_names:
            problems.append(f"{name}: part lost")
            continue
        a, b = src.read(name), out.read(name)
        if name == "[Content_Types].xml":
            if content_types(a) != content_types(b):
                problems.append(f"{name}: content types changed")
            continue
        if not EDITED.match(name):
            if a != b:
                problems.append(f"{name}: changed although the run does not edit it")
            continue
        sb, ob = bodies(a), bodies(b)
        if len(sb) != len(ob):
            problems.append(f"{name}: {len(sb)} text bodies became {len(ob)}")
            continue
        for i, ((kind, s), (_, t)) in enumerate(zip(sb, ob)):
            if kind == "covered" or (only is not None and name not in only and f"{name}#{i + 1}" not in only):
                if s != t:
                    problems.append(f"{name}: body {i + 1} changed: {t[:60]!r}")
                continue
            why = bracket_problem(s, t)
            if why:
                problems.append(f"{name}: body {i + 1} {why}: {s[:60]!r} -> {t[:60]!r}")
        if "diagrams/drawing" in name:
            data = name.replace("drawing", "data")
            if data in out_names:
                held = {p for _, t in bodies(out.read(data)) for p in t.split("\r")}
                for _, t in ob:
                    for p in t.split("\r"):
                        if p.strip() and p not in held:
                            problems.append(f"{name}: paragraph {p[:60]!r} is not in {data}")
    for p in problems:
        print(f"{out_path}: {p}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
