#!/usr/bin/env python3
"""Checks a deck translated by the bracket test engine against its source.

The engine answers every text it is sent with "⟦" + text + "⟧", so a text
that went through it exactly once is its source cut into bracketed pieces
with nothing but blanks and punctuation between them. This reads the
packages' XML directly (not through the program's own reader):

  - every part the run does not edit is byte for byte the same;
  - the edited parts (slides, notes pages, SmartArt data and drawings,
    comments, charts and the shapes drawn over them, slide masters and
    layouts) have the same text bodies as the source, in order; each body
    whose source has letters is bracketed exactly once (no "⟦⟦", no letter
    outside brackets) and, without the brackets, is its source again, blanks
    included (the sentence separator only where the source has no blank);
  - the cells a merged table area covers, the texts a chart reads from its
    data and the prompts of masters' and layouts' placeholders are left
    alone;
  - a SmartArt drawing shows no paragraph its data model does not hold;
  - fields (slide numbers, dates) stay fields with their type, id and text,
    and URLs, e-mail addresses and file paths stay byte for byte (neither
    is bracketed: they never reach the engine as words);
  - every link of a body is on a run of its translation whose text holds
    the words the link was on;
  - a run property (beyond the proofing marks, the language and the size
    fitting may change) that every run of a source paragraph states is on
    every run of its translation;
  - the alternative texts and titles of shapes and pictures (cNvPr descr and
    title), and the screen tips of the links on shapes (cNvPr's) and in text
    bodies, are bracketed exactly once where their source has letters
    (--keep KIND: left as they were, KIND alt or tips; --keep charts or
    masters: those parts unchanged).

Usage: check_bracketed.py SOURCE TRANSLATION [--real] [--keep alt|tips|charts|masters] [--shown JSON] [--only PART[#N]...]
       check_bracketed.py --each LIST [--real]
With --real the translation comes from a real engine: the bracketing and
the words under a link are not checked, only that every link is still on
some text of its body, and fields, addresses and run properties as above.
With --only, only those parts (or the N-th text body of a part) are
translated and every other body must be unchanged (a run over one slide or
a few shapes). With --shown, JSON is what `show --json` printed for the
translation and must be JSON. Prints one line per problem; exit status 1 if any.
"""
import json
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

OPEN, CLOSE = "\u27e6", "\u27e7"
EDITED = re.compile(
    r"^ppt/(slides/slide\d+\.xml|notesSlides/notesSlide\d+\.xml|diagrams/(data|drawing)\d*\.xml"
    r"|comments/(comment|modernComment)[^/]*\.xml|commentAuthors\.xml|authors\.xml"
    r"|charts/chart\d+\.xml|drawings/drawing\d+\.xml|slideMasters/slideMaster\d+\.xml"
    r"|slideLayouts/slideLayout\d+\.xml)$")
# Pages whose placeholders hold prompts no slide shows: those stay.
PROMPTS = re.compile(r"^ppt/(slideMasters|slideLayouts)/")
# The parts a switched-off kind lives in, left byte for byte as they were.
KEPT_PARTS = {"charts": re.compile(r"^ppt/(charts/chart|drawings/drawing)\d+\.xml$"), "masters": PROMPTS}
CHART = ("http://schemas.openxmlformats.org/drawingml/2006/chart", "http://purl.oclc.org/ooxml/drawingml/chart")
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


def paragraph_text(p, fields=True):
    out = []

    def walk(el):
        for child in el:
            ns, name = split(child.tag)
            if ns == MC and name == "Fallback":
                continue  # the choice is what a reader shows
            if not fields and is_a(child, "fld"):
                continue
            if is_a(child, "t"):
                out.append(child.text or "")
            elif is_a(child, "br"):
                out.append("\v")
            else:
                walk(child)

    walk(p)
    return "".join(out)


def bodies(xml, elements=False, prompts=False):
    """(kind, text) of every text body in document order: drawing text
    bodies as their paragraphs joined by CR, legacy comment texts, a chart's
    series names and the texts it reads from its data. Bodies the run must
    leave alone are "covered": merged-over cells, the data's texts, and with
    prompts the placeholders' texts. With elements, (kind, text, element)
    instead."""
    root = ET.fromstring(xml)
    found = []

    def walk(el, covered):
        ns, name = split(el.tag)
        if is_a(el, "tc") and (el.get("hMerge") in ("1", "true") or el.get("vMerge") in ("1", "true")):
            covered = True
        if prompts and name == "sp" and any(split(c.tag)[1] == "ph" for n in el for c in n.iter()
                                            if split(n.tag)[1] == "nvSpPr"):
            covered = True
        if ns in CHART and name == "v":
            found.append(("covered" if covered else "body", el.text or "", el))
            return
        if ns in CHART and name in ("strRef", "numRef", "cat", "val", "xVal", "yVal", "bubbleSize"):
            covered = True
        paragraphs = [c for c in el if is_a(c, "p")]
        if paragraphs:
            found.append(("covered" if covered else "body", "\r".join(paragraph_text(p) for p in paragraphs), el))
            return
        if name == "text" and ns in PRESENTATIONML:
            found.append(("body", el.text or "", el))
            return
        for child in el:
            walk(child, covered)

    walk(root, False)
    return found if elements else [(k, t) for k, t, _ in found]


# What the run keeps out of the engine: addresses, e-mail addresses, paths.
KEPT = re.compile(r"(?:[A-Za-z][A-Za-z0-9+.\-]*://|(?<![\w.@])www\.)[^\s<>\"\u27e6\u27e7]+"
                  r"|(?<![\w.@])(?:mailto:)?[A-Za-z0-9._%+\-]+@[A-Za-z0-9\-]+(?:\.[A-Za-z0-9\-]+)+"
                  r"|(?<!\w)[A-Za-z]:\\[^\s<>\"|*?\u27e6\u27e7]*|\\\\[A-Za-z0-9._$\-]+(?:\\[^\s<>\"|*?\u27e6\u27e7]*)?"
                  r"|(?<![^\s\"'(])/[A-Za-z0-9._~\-]+(?:/[A-Za-z0-9._~\-]+)+/?")


def kept_texts(text):
    return [m.group(0).rstrip(".,;:!?'\")]}>") for m in KEPT.finditer(text)]


def without_kept(text):
    return KEPT.sub(" ", text)


# Run properties that a translation may change or lose: proofing marks and
# bookkeeping, the language and the fonts the target language's font option
# sets, the size (fitting) and links (checked on their own).
MAY_CHANGE = {"err", "noProof", "dirty", "smtClean", "smtId", "lang", "altLang", "latin", "ea", "sz",
              "hlinkClick", "hlinkMouseOver"}


# Values that say what an absent attribute says.
DEFAULTS = {"b=0", "i=0", "u=none", "strike=noStrike", "cap=none", "baseline=0", "spc=0"}


def run_props(rpr):
    props = set()
    if rpr is None:
        return props
    for k, v in rpr.attrib.items():
        if split(k)[1] not in MAY_CHANGE:
            props.add(f"{split(k)[1]}={v}")
    props -= DEFAULTS
    for c in rpr:
        local = split(c.tag)[1]
        if local not in MAY_CHANGE:
            props.add(local + ("=" + c.get("typeface") if c.get("typeface") is not None else ""))
    return props


def text_runs(p):
    """The a:r elements of a paragraph that hold text."""
    return [r for r in p if is_a(r, "r") and any(is_a(t, "t") and t.text for t in r)]


def rpr_of(r):
    return next((c for c in r if is_a(c, "rPr")), None)


def run_text(r):
    return "".join(t.text or "" for t in r if is_a(t, "t"))


def link_of(r):
    rpr = rpr_of(r)
    if rpr is None:
        return None
    for c in rpr:
        if split(c.tag)[1] in ("hlinkClick", "hlinkMouseOver"):
            # The screen tip is translated; the link is the rest.
            return tuple(sorted((split(k)[1], v) for k, v in c.attrib.items() if k != "tooltip"))
    return None


def labels(xml):
    """The alternative text, title and the screen tips of the click and the
    hover link of every shape of a part, in order, a fallback's copies
    included: a reader that shows the fallback speaks those."""
    found = []

    def tip(el, local):
        return next((c.get("tooltip") for c in el if split(c.tag)[1] == local), None)

    def walk(el):
        for child in el:
            if split(child.tag)[1] == "cNvPr":
                found.append((child.get("descr"), child.get("title"), tip(child, "hlinkClick"), tip(child, "hlinkHover")))
            walk(child)

    walk(ET.fromstring(xml))
    return found


def tips(el):
    """The screen tips of the links on the runs and fields of a body."""
    return [link.get("tooltip") for r in el.iter() if is_a(r, "r") or is_a(r, "fld")
            for rpr in r if is_a(rpr, "rPr")
            for link in rpr if split(link.tag)[1] in ("hlinkClick", "hlinkMouseOver")]


def label_problem(source, text, translated, real):
    """Why a label (alternative text, title, screen tip) is not as the run
    should leave it, or None."""
    # Addresses stay out of the engine here as in text bodies.
    if source is None or not has_letters(without_kept(source)) or not translated:
        return None if text == source else "changed"
    if real:
        return None  # a real engine may give a name or a word back as it was
    return bracket_problem(without_kept(source), without_kept(text or ""))


def fields(el):
    return [(f.get("type"), f.get("id"), "".join(t.text or "" for t in f if is_a(t, "t")))
            for f in el.iter() if is_a(f, "fld")]


def kept_problems(s_el, o_el, s_text, o_text, real):
    """Fields, addresses, links and shared run properties of one body."""
    problems = []
    if fields(s_el) != fields(o_el):
        problems.append(f"fields changed: {fields(s_el)[:3]} -> {fields(o_el)[:3]}")
    for k in set(kept_texts(s_text)):
        if o_text.count(k) < s_text.count(k):
            problems.append(f"{k!r} did not stay as it was")
    links = {}
    for r in s_el.iter():
        if is_a(r, "r") and link_of(r):
            links.setdefault(link_of(r), []).append(run_text(r))
    out_links = {}
    for r in o_el.iter():
        if is_a(r, "r") and link_of(r):
            out_links.setdefault(link_of(r), []).append(run_text(r))
    for link, texts in links.items():
        linked = fold("".join(out_links.get(link, [])).replace(OPEN, "").replace(CLOSE, ""))
        if real:
            if not linked and fold("".join(texts)):
                problems.append(f"link {dict(link).get('id')} lost")
            continue
        for word in re.findall(r"\w+", " ".join(texts)):
            if word not in linked:
                problems.append(f"link {dict(link).get('id')} lost from {word!r}")
                break
    s_paras = [c for c in s_el if is_a(c, "p")]
    o_paras = [c for c in o_el if is_a(c, "p")]
    if len(s_paras) == len(o_paras):
        for sp, op in zip(s_paras, o_paras):
            runs = text_runs(sp)
            if not runs:
                continue
            shared = set.intersection(*(run_props(rpr_of(r)) for r in runs))
            for r in text_runs(op):
                missing = shared - run_props(rpr_of(r))
                if missing:
                    problems.append(f"run {run_text(r)[:30]!r} lost {sorted(missing)}")
                    break
    return problems


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
    real = "--real" in argv
    keep = {argv[i + 1] for i, a in enumerate(argv) if a == "--keep"}
    problems = []
    if "--shown" in argv:
        try:
            json.load(open(argv[argv.index("--shown") + 1], encoding="utf-8"))
        except ValueError as e:
            problems.append(f"show --json printed no JSON: {e}")
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
        if not EDITED.match(name) or any(KEPT_PARTS[k].match(name) for k in keep if k in KEPT_PARTS):
            if a != b:
                problems.append(f"{name}: changed although the run does not edit it")
            continue
        prompts = bool(PROMPTS.match(name))
        sb, ob = bodies(a, True, prompts), bodies(b, True, prompts)
        if len(sb) != len(ob):
            problems.append(f"{name}: {len(sb)} text bodies became {len(ob)}")
            continue
        for i, ((kind, s, s_el), (_, t, o_el)) in enumerate(zip(sb, ob)):
            if kind == "covered" or (only is not None and name not in only and f"{name}#{i + 1}" not in only):
                if s != t:
                    problems.append(f"{name}: body {i + 1} changed: {t[:60]!r}")
                continue
            # Fields and addresses stand outside the brackets where they are
            # all there is to a sentence.
            def bare(el, text):
                if any(is_a(c, "p") for c in el):
                    text = "\r".join(paragraph_text(p, fields=False) for p in el if is_a(p, "p"))
                return without_kept(text)
            why = None if real else bracket_problem(bare(s_el, s), bare(o_el, t))
            if why:
                problems.append(f"{name}: body {i + 1} {why}: {s[:60]!r} -> {t[:60]!r}")
            for why in kept_problems(s_el, o_el, s, t, real):
                problems.append(f"{name}: body {i + 1} {why}")
            s_tips, o_tips = tips(s_el), tips(o_el)
            if len(s_tips) == len(o_tips):
                # Runs split or join with the translation: compare tips as
                # the distinct texts they bracket.
                pairs = zip(s_tips, o_tips)
            else:
                by_text = {}
                for tip in o_tips:
                    by_text.setdefault((tip or "").replace(OPEN, "").replace(CLOSE, ""), tip)
                pairs = ((tip, by_text.get(tip)) for tip in s_tips)
            for st, ot in pairs:
                why = label_problem(st, ot, "tips" not in keep, real)
                if why:
                    problems.append(f"{name}: body {i + 1} screen tip {why}: {st!r} -> {ot!r}")
        if only is None or name in only:
            s_labels, o_labels = labels(a), labels(b)
            if len(s_labels) != len(o_labels):
                problems.append(f"{name}: {len(s_labels)} shapes became {len(o_labels)}")
            for n, (sl, ol) in enumerate(zip(s_labels, o_labels)):
                for what, st, ot, kind in (("alternative text", sl[0], ol[0], "alt"), ("title", sl[1], ol[1], "alt"),
                                           ("click tip", sl[2], ol[2], "tips"), ("hover tip", sl[3], ol[3], "tips")):
                    why = label_problem(st, ot, kind not in keep, real)
                    if why:
                        problems.append(f"{name}: shape {n + 1} {what} {why}: {st!r} -> {ot!r}")
        elif not any(o.startswith(name + "#") for o in only) and labels(a) != labels(b):
            problems.append(f"{name}: alternative texts or titles changed outside the run")
        if "diagrams/drawing" in name:
            data = name.replace("drawing", "data")
            if data in out_names:
                held = {p for _, t in bodies(out.read(data)) for p in t.split("\r")}
                for _, t, _ in ob:
                    for p in t.split("\r"):
                        if p.strip() and p not in held:
                            problems.append(f"{name}: paragraph {p[:60]!r} is not in {data}")
    for p in problems:
        print(f"{out_path}: {p}")
    return 1 if problems else 0


if __name__ == "__main__":
    if sys.argv[1] == "--each":
        # --each LIST [FLAG...]: every line of LIST is SOURCE, TRANSLATION and
        # what `show --json` printed for it, tab-separated.
        lines = [line.rstrip("\n").split("\t") for line in open(sys.argv[2], encoding="utf-8")]
        sys.exit(max([main(["", s, t, "--shown", j] + sys.argv[3:]) for s, t, j in lines], default=0))
    sys.exit(main(sys.argv))
