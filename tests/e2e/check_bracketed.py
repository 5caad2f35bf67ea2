#!/usr/bin/env python3
"""Checks a deck the bracket test engine translated (it answers every text with "⟦" + text + "⟧")
against its source, reading the XML itself: parts of no kind in PARTS stay byte for byte; edited
parts keep their text bodies in order, each bracketed exactly once where it has letters and, without
the brackets, its source again, blanks included; merged-over cells, a chart's data texts and
placeholder prompts stay; a SmartArt drawing shows only its data model's paragraphs; fields, URLs,
e-mail addresses and paths stay; a link stays on its words; a run property every run of a source
paragraph states stays on every run; alternative texts, titles and screen tips are bracketed once.

Usage: check_bracketed.py SOURCE TRANSLATION [--real] [--keep KIND]... [--shown JSON] [--only PART[#N]...]
       check_bracketed.py --each LIST [FLAG...]
--keep alt|tips: those labels stay; --keep charts|masters: those parts stay. --real: a real engine
translated: only check that each link is still on some text. --only: only those parts (or a part's
N-th body) are translated. --shown: what `show --json` printed, which must be JSON. --each: LIST's
lines are SOURCE, TRANSLATION and that JSON, tab-separated. Prints a line per problem; status 1 if any.
"""
import json
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

OPEN, CLOSE = "\u27e6", "\u27e7"
# The parts the run edits, by kind (under ppt/, without .xml).
PARTS = {
    "slides": r"slides/slide\d+|notesSlides/notesSlide\d+",
    "smartart": r"diagrams/(data|drawing)\d*",
    "comments": r"comments/(comment|modernComment)[^/]*|commentAuthors|authors",
    # A chart of the newer kind (charts/chartEx) is left whole: of no kind.
    "charts": r"(charts/chart|drawings/drawing)\d+",
    # Their placeholders hold prompts no slide shows: those stay.
    "masters": r"(slideMasters/slideMaster|slideLayouts/slideLayout)\d+",
}
CHART = ("http://schemas.openxmlformats.org/drawingml/2006/chart", "http://purl.oclc.org/ooxml/drawingml/chart")
DRAWINGML = ("http://schemas.openxmlformats.org/drawingml/2006/main", "http://purl.oclc.org/ooxml/drawingml/main")
PRESENTATIONML = ("http://schemas.openxmlformats.org/presentationml/2006/main",
                  "http://purl.oclc.org/ooxml/presentationml/main")
FALLBACK = "{http://schemas.openxmlformats.org/markup-compatibility/2006}Fallback"
LINKS = ("hlinkClick", "hlinkMouseOver")
KINDS = ("alt", "alt", "tips", "tips")  # what --keep names each label by
# What the run keeps out of the engine: addresses, e-mail addresses, paths.
KEPT = re.compile(r"(?:[A-Za-z][A-Za-z0-9+.\-]*://|(?<![\w.@])www\.)[^\s<>\"\u27e6\u27e7]+"
                  r"|(?<![\w.@])(?:mailto:)?[A-Za-z0-9._%+\-]+@[A-Za-z0-9\-]+(?:\.[A-Za-z0-9\-]+)+"
                  r"|(?<!\w)[A-Za-z]:\\[^\s<>\"|*?\u27e6\u27e7]*|\\\\[A-Za-z0-9._$\-]+(?:\\[^\s<>\"|*?\u27e6\u27e7]*)?"
                  r"|(?<![^\s\"'(])/[A-Za-z0-9._~\-]+(?:/[A-Za-z0-9._~\-]+)+/?")
# Run properties a translation may change or lose: proofing and bookkeeping,
# the language, the fonts the target's font option sets, the size (fitting),
# links (checked on their own); and values an absent attribute stands for.
MAY_CHANGE = {"err", "noProof", "dirty", "smtClean", "smtId", "lang", "altLang", "latin", "ea", "sz", *LINKS}
DEFAULTS = {"b=0", "i=0", "u=none", "strike=noStrike", "cap=none", "baseline=0", "spc=0"}
# What the engine side folds before translating: typographic quotes and
# dashes, odd blanks, control characters (fold leaves blanks out).
FOLD = {**{c: "-" for c in "\u001e\u001f\u2013\u2014\u2212"},
        **{c: " " for c in "\u00a0\u2002\u2003\u2005\u200c\u200d\u3000"},
        **{c: "'" for c in "\u2018\u2019\u201a"}, **{c: '"' for c in "\u201c\u201d\u201e"},
        **{chr(c): " " for c in range(1, 0x1e)}}
# What the run puts between two sentences with no blank between them.
SEPARATOR = CLOSE + "  " + OPEN


def split(tag):
    return tuple(tag[1:].split("}", 1)) if tag.startswith("{") else ("", tag)


def local(el):
    return split(el.tag)[1]


def is_a(el, name):
    ns, n = split(el.tag)
    return n == name and ns in DRAWINGML


def paragraph_text(p, fields=True):
    return "".join("" if c.tag == FALLBACK or (not fields and is_a(c, "fld"))
                   else c.text or "" if is_a(c, "t") else "\v" if is_a(c, "br") else paragraph_text(c, fields)
                   for c in p)


def paragraphs(el):
    return [c for c in el if is_a(c, "p")]


def bodies(xml, prompts=False):
    """(kind, text, element) of every text body in document order, paragraphs
    joined by CR; "covered" ones stay: merged-over cells, a chart's data
    texts and, with prompts, the placeholders' texts."""
    found = []

    def walk(el, covered):
        ns, name = split(el.tag)
        covered = (covered or (is_a(el, "tc") and bool({el.get("hMerge"), el.get("vMerge")} & {"1", "true"}))
                   or (prompts and name == "sp"
                       and any(local(c) == "ph" for n in el if local(n) == "nvSpPr" for c in n.iter()))
                   or (ns in CHART and name in ("strRef", "numRef", "cat", "val", "xVal", "yVal", "bubbleSize")))
        kind = "covered" if covered else "body"
        if ns in CHART and name == "v":
            found.append((kind, el.text or "", el))
        elif paragraphs(el):
            found.append((kind, "\r".join(map(paragraph_text, paragraphs(el))), el))
        elif name == "text" and ns in PRESENTATIONML:
            found.append(("body", el.text or "", el))
        else:
            for child in el:
                walk(child, covered)

    walk(ET.fromstring(xml), False)
    return found


def run_props(rpr):
    if rpr is None:
        return set()
    props = {f"{split(k)[1]}={v}" for k, v in rpr.attrib.items() if split(k)[1] not in MAY_CHANGE} - DEFAULTS
    return props | {local(c) + ("=" + c.get("typeface") if c.get("typeface") is not None else "")
                    for c in rpr if local(c) not in MAY_CHANGE}


def rpr_of(r):
    return next((c for c in r if is_a(c, "rPr")), None)


def run_text(r):
    return "".join(t.text or "" for t in r if is_a(t, "t"))


def links(el):
    """A body's run texts by the link (without its screen tip) they are on."""
    found = {}
    for r in el.iter():
        for c in (rpr_of(r) if is_a(r, "r") and rpr_of(r) is not None else ()):
            if local(c) in LINKS:
                link = tuple(sorted((split(k)[1], v) for k, v in c.attrib.items() if k != "tooltip"))
                found.setdefault(link, []).append(run_text(r))
                break
    return found


def labels(xml):
    """Each shape's (fallbacks' too) alternative text, title, click and hover tips."""
    def tip(el, name):
        return next((c.get("tooltip") for c in el if local(c) == name), None)
    return [(c.get("descr"), c.get("title"), tip(c, "hlinkClick"), tip(c, "hlinkHover"))
            for c in ET.fromstring(xml).iter() if local(c) == "cNvPr"]


def label_problem(source, text, translated, real):
    """Why a label is not as the run should leave it, or None."""
    if source is None or not has_letters(KEPT.sub(" ", source)) or not translated:
        return None if text == source else "changed"
    # A real engine may give a name or a word back as it was.
    return None if real else bracket_problem(KEPT.sub(" ", source), KEPT.sub(" ", text or ""))


def fold(text):
    return "".join(FOLD.get(c, c) for c in text if not c.isspace() and FOLD.get(c) != " ")


def unbracketed(text):
    return text.replace(OPEN, "").replace(CLOSE, "")


def has_letters(text):
    return any(c.isalpha() for c in text)


def bracket_problem(source, text):
    """Why text is not source bracketed exactly once, or None."""
    if OPEN + OPEN in text or CLOSE + CLOSE in text:
        return "bracketed twice"
    depth, outside = 0, []
    for c in text:
        if c == OPEN and depth:
            return "brackets nested"
        if c == CLOSE and not depth:
            return "closing bracket without an opening one"
        if c in (OPEN, CLOSE):
            depth = c == OPEN
        elif not depth:
            outside.append(c)
    if depth:
        return "bracket left open"
    if has_letters("".join(outside)):
        return "text outside the brackets: " + repr("".join(outside)[:60])
    if fold(unbracketed(text)) != fold(source):
        return "differs from its source beyond the brackets"
    if has_letters(source) and OPEN not in text:
        return "not translated"
    # The blanks (folded as the engine folds, line ends kept) must be the
    # source's, where the separator between two sentences may stand for nothing.
    def blanks(t):
        return "".join(c if c in "\r\n\v" else FOLD.get(c, c) for c in t)
    pattern = "(?:  )?".join(re.escape(blanks(unbracketed(p))) for p in text.split(SEPARATOR))
    return "blanks differ from its source" if re.fullmatch(pattern, blanks(source)) is None else None


def body_problems(name, i, s, t, s_el, o_el, keep, real):
    def bare(el, text):  # without its fields and addresses, which stand outside the brackets
        if paragraphs(el):
            text = "\r".join(paragraph_text(p, fields=False) for p in paragraphs(el))
        return KEPT.sub(" ", text)
    why = None if real else bracket_problem(bare(s_el, s), bare(o_el, t))
    problems = [f"{why}: {s[:60]!r} -> {t[:60]!r}"] if why else []
    fields = [[(f.get("type"), f.get("id"), run_text(f)) for f in el.iter() if is_a(f, "fld")] for el in (s_el, o_el)]
    if fields[0] != fields[1]:
        problems.append(f"fields changed: {fields[0][:3]} -> {fields[1][:3]}")
    for k in {m.group(0).rstrip(".,;:!?'\")]}>") for m in KEPT.finditer(s)}:
        if t.count(k) < s.count(k):
            problems.append(f"{k!r} did not stay as it was")
    out_links = links(o_el)
    for link, texts in links(s_el).items():
        linked = fold(unbracketed("".join(out_links.get(link, []))))
        lost = [w for w in re.findall(r"\w+", " ".join(texts)) if w not in linked]
        if real and not linked and fold("".join(texts)):
            problems.append(f"link {dict(link).get('id')} lost")
        elif not real and lost:
            problems.append(f"link {dict(link).get('id')} lost from {lost[0]!r}")
    s_paras, o_paras = paragraphs(s_el), paragraphs(o_el)
    for sp, op in zip(s_paras, o_paras) if len(s_paras) == len(o_paras) else ():
        runs = [r for r in sp if is_a(r, "r") and run_text(r)]
        shared = set.intersection(*(run_props(rpr_of(r)) for r in runs)) if runs else set()
        for r in [r for r in op if is_a(r, "r") and run_text(r)] if shared else ():
            if missing := shared - run_props(rpr_of(r)):
                problems.append(f"run {run_text(r)[:30]!r} lost {sorted(missing)}")
                break
    # The screen tips of the links on the runs and fields of a body.
    s_tips, o_tips = ([link.get("tooltip") for r in el.iter() if is_a(r, "r") or is_a(r, "fld")
                       for rpr in r if is_a(rpr, "rPr") for link in rpr if local(link) in LINKS]
                      for el in (s_el, o_el))
    # Runs split or join with the translation: then tips pair up by the texts they bracket.
    by_text = {unbracketed(tip or ""): tip for tip in reversed(o_tips)}
    pairs = zip(s_tips, o_tips) if len(s_tips) == len(o_tips) else ((tip, by_text.get(tip)) for tip in s_tips)
    for st, ot in pairs:
        if why := label_problem(st, ot, "tips" not in keep, real):
            problems.append(f"screen tip {why}: {st!r} -> {ot!r}")
    return [f"{name}: body {i + 1} {p}" for p in problems]


def part_problems(name, a, b, out, only, keep, real):
    kind = next((k for k, p in PARTS.items() if re.fullmatch(rf"ppt/({p})\.xml", name)), None)
    if name == "[Content_Types].xml":
        types = [sorted((local(e), sorted(e.attrib.items())) for e in ET.fromstring(x)) for x in (a, b)]
        return [] if types[0] == types[1] else [f"{name}: content types changed"]
    if kind is None or kind in keep:
        return [] if a == b else [f"{name}: changed although the run does not edit it"]
    sb, ob = bodies(a, kind == "masters"), bodies(b, kind == "masters")
    if len(sb) != len(ob):
        return [f"{name}: {len(sb)} text bodies became {len(ob)}"]
    problems = []
    for i, ((covered, s, s_el), (_, t, o_el)) in enumerate(zip(sb, ob)):
        if covered != "covered" and (only is None or name in only or f"{name}#{i + 1}" in only):
            problems += body_problems(name, i, s, t, s_el, o_el, keep, real)
        elif s != t:
            problems.append(f"{name}: body {i + 1} changed: {t[:60]!r}")
    s_labels, o_labels = labels(a), labels(b)
    if only is None or name in only:
        if len(s_labels) != len(o_labels):
            problems.append(f"{name}: {len(s_labels)} shapes became {len(o_labels)}")
        for n, (sl, ol) in enumerate(zip(s_labels, o_labels)):
            for what, kind, st, ot in zip(("alternative text", "title", "click tip", "hover tip"), KINDS, sl, ol):
                if why := label_problem(st, ot, kind not in keep, real):
                    problems.append(f"{name}: shape {n + 1} {what} {why}: {st!r} -> {ot!r}")
    elif not any(o.startswith(name + "#") for o in only) and s_labels != o_labels:
        problems.append(f"{name}: alternative texts or titles changed outside the run")
    data = name.replace("drawing", "data")
    if "diagrams/drawing" in name and data in out.namelist():
        held = {p for _, t, _ in bodies(out.read(data)) for p in t.split("\r")}
        problems += [f"{name}: paragraph {p[:60]!r} is not in {data}"
                     for _, t, _ in ob for p in t.split("\r") if p.strip() and p not in held]
    return problems


def main(argv):
    only = set(argv[argv.index("--only") + 1:]) if "--only" in argv else None
    keep = {argv[i + 1] for i, a in enumerate(argv) if a == "--keep"}
    problems = []
    if "--shown" in argv:
        try:
            json.load(open(argv[argv.index("--shown") + 1], encoding="utf-8"))
        except ValueError as e:
            problems.append(f"show --json printed no JSON: {e}")
    src, out = zipfile.ZipFile(argv[1]), zipfile.ZipFile(argv[2])
    problems += [f"{name}: new part" for name in sorted(set(out.namelist()) - set(src.namelist()))]
    for name in sorted(set(src.namelist())):
        problems += ([f"{name}: part lost"] if name not in out.namelist() else
                     part_problems(name, src.read(name), out.read(name), out, only, keep, "--real" in argv))
    print("".join(f"{argv[2]}: {p}\n" for p in problems), end="")
    return 1 if problems else 0


if __name__ == "__main__":
    if sys.argv[1] == "--each":
        lines = [line.rstrip("\n").split("\t") for line in open(sys.argv[2], encoding="utf-8")]
        sys.exit(max([main(["", s, t, "--shown", j] + sys.argv[3:]) for s, t, j in lines], default=0))
    sys.exit(main(sys.argv))
