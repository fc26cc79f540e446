"""Fuzz target: the pattern-string parser against the Python model of it
(models/path_model.py), through the parser tests' own differential check,
with the parsed schemas observed by matching on a small graph."""

import unicodedata

import harness

with harness.instrumented("path_model", "test_parser"):
    import test_parser

from voralix import PathPattern

GRAPH = test_parser.graph.__wrapped__()  # the parser tests' graph fixture


def may_extend(ch):
    """A superset of Grapheme_Extend, whose characters the reprs escape and the
    parser tests' check does not expect."""
    return (unicodedata.category(ch) in ("Mn", "Me", "Mc", "Cf")
            or ch in "\uff9e\uff9f\u302e\u302f" or 0xE0000 <= ord(ch) <= 0xE0FFF)


def check(data):
    text = harness.text_of(data)
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        # Lone surrogates are no text to parse: refused before parsing.
        try:
            PathPattern.parse(text)
        except UnicodeEncodeError:
            return
        raise AssertionError(f"{text!r} with a lone surrogate was parsed")
    # Such characters are plain name characters to the parser: "x" reads alike.
    text = "".join("x" if may_extend(ch) else ch for ch in text)
    test_parser.check_against_model(text, GRAPH)


harness.main(check, max_len=256)
