#!/usr/bin/env python3
"""Prints the text of a deck's slides and notes, one paragraph a line, for
apertium_compare: deck_sentences.py DECK.pptx > texts.txt"""
import re
import sys
import zipfile
from xml.etree import ElementTree

A = "{http://schemas.openxmlformats.org/drawingml/2006/main}"


def paragraphs(deck):
    with zipfile.ZipFile(deck) as z:
        parts = [n for n in z.namelist() if re.match(r"ppt/(slides/slide|notesSlides/notesSlide)\d+\.xml$", n)]
        for name in sorted(parts, key=lambda n: (n.split("/")[1], int(re.findall(r"\d+", n)[-1]))):
            root = ElementTree.fromstring(z.read(name))
            for p in root.iter(A + "p"):
                text = "".join(t.text or "" for t in p.iter(A + "t")).strip()
                if text:
                    yield text


if __name__ == "__main__":
    for line in paragraphs(sys.argv[1]):
        print(line)
