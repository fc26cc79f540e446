"""TypeSchema: the matcher's reading rules, captures and text forms, checked
by example and against the pure-Python model in models/schema_model.py.
(Argument errors and text signatures are in test_binding.py.)"""

import pytest
from hypothesis import given, settings, strategies as st

from models import schema_model as sm
from voralix import Application, TypeSchema, Variable

var, app = sm.var, sm.app
A, B, C = var("A"), var("B"), var("C")
AB = app(A, B)


def build(t):
    return sm.to_voralix(t, Variable, Application)


def run(pattern, t):
    schema, obj = TypeSchema(pattern), build(t)
    captures = schema.capture(obj)
    return schema.matches(obj), {k: sm.from_voralix(v) for k, v in captures.items()}


MATCHING = [
    # Wildcard, plain names; only the whole text is trimmed.
    ("$*$", A), ("$*$", app(AB, C)), ("*", var("*")), ("$Person$", var("Person")),
    ("Person", var("Person")), ("$ Person $", var(" Person ")), ("$\u00a0A$", var("\u00a0A")),
    ("\u3000\t $A$\u2029\u00a0", A), ("$A$B$", var("A$B")), ("", var("")), (" \u205f\n", var("")),
    ("$$", var("")), ("(x:A)", var("(x:A)")),
    # Function types: sides wrapped in dollars again, arrows to the right.
    ("$A -> B$", AB), ("$ A -> B $", AB), ("A->B", AB), ("(A -> B)", AB), ("$* -> *$", app(AB, AB)),
    ("$A -> B -> C$", app(A, app(B, C))), ("$é -> B$", app(var("é"), B)),
    ("$A -> B", app(var("$A"), B)), ("$ -> $", app(var(""), var(""))),
]
NOT_MATCHING = [
    ("*", A), ("$ Person $", var("Person")), ("\u200b$A$", A), ("((A -> B))", AB), ("$A -> B$", A),
    ("$A -> B -> C$", app(AB, C)), ("$A -> (B -> C)$", app(A, app(B, C))), ("$(A -> B$", AB),
    ("$A) -> (B$", app(var("A)"), var("(B"))), ("$(A -> B) -> C$", app(AB, C)), ("$(A -> B)$", AB),
    ("$(x:A)$", B), ("$(x:*) -> $(y:*)$", AB), ("$(x:$(y:*)$)$", A), ("$(A)$", A),
    # Captures written before a failure are not reported.
    ("$ (x:A) -> (y:C) $", AB), ("$(x:(y:A) -> C)$", AB),
    # A lone dollar sign matches nothing.
    ("$", var("")), (" \u00a0$\t", var("")), ("$", var("$")), ("$", AB),
]
CAPTURING = [
    ("$(x:*)$", A, {"x": A}), ("$( x : * )$", A, {"x": A}), ("$(:*)$", AB, {"": AB}),
    ("$(f:A -> B) -> C$", app(AB, C), {"f": AB}), ("$ (x:*) -> (y:*) $", AB, {"x": A, "y": B}),
    ("$(x:(y:A))$", A, {"x": A, "y": A}), ("$(x:y:A)$", var("$y:A$"), {"x": var("$y:A$")}),
    ("$(outer:(inner:A) -> B)$", AB, {"inner": A, "outer": AB}),
    # The input side is written before the output side, inner groups before outer.
    ("$ (x:A) -> (x:B) $", AB, {"x": B}), ("$(x:(x:A) -> *)$", AB, {"x": AB}),
]


@pytest.mark.parametrize("pattern, t, matched, captures", [(p, t, True, {}) for p, t in MATCHING]
                         + [(p, t, False, {}) for p, t in NOT_MATCHING]
                         + [(p, t, True, c) for p, t, c in CAPTURING])
def test_reading_rules(pattern, t, matched, captures):
    assert run(pattern, t) == (matched, captures)
    model_matched, model_captures = sm.match(pattern, t)
    assert (model_matched, dict(model_captures)) == (matched, captures)


def test_trimming_uses_exactly_the_white_space_set():
    a, ab = Variable("A"), Application(Variable("A"), Variable("B"))
    chars = (chr(cp) for cp in range(0x110000) if not 0xD800 <= cp < 0xE000)
    assert {c for c in chars if TypeSchema(c + "$A$" + c).matches(a)} == set(sm.WHITE_SPACE)
    for c in sm.WHITE_SPACE:
        assert TypeSchema(f"$ (x{c}:{c}A{c}){c}->{c}B{c}$").capture(ab) == {"x": a}, hex(ord(c))
        assert not TypeSchema("$" + c + "A$").matches(a) and TypeSchema("$A" + c + "$").matches(
            Variable("A" + c))


@pytest.mark.parametrize("groups, names", [(3, 3), (20, 20), (40, 17), (60, 1)])
def test_many_groups_later_entries_replace(groups, names):
    t = var("end")
    for i in reversed(range(groups)):
        t = app(var(f"V{i}"), t)
    text = "$ " + " -> ".join(f"(n{i % names}:*)" for i in range(groups)) + " -> end $"
    expected = {f"n{i % names}": var(f"V{i}") for i in range(groups)}
    assert run(text, t) == (True, expected)


def test_capture_builds_new_objects():
    v = Variable("A")
    t = Application(v, Variable("B"))
    first, second = TypeSchema("$ (x:*) -> * $").capture(type=t), TypeSchema("$(f:*)$").capture(t)
    assert first == {"x": v} and second == {"f": t} and second["f"] is not t
    v.name = "Z"
    assert first["x"] == Variable("A") and type(second["f"]) is Application


def test_class_surface():
    for text in ["$*$", 'say "hi"\\n', "", " \u00e9\U0001d538 ", "a\x00b"]:
        assert str(TypeSchema(text)) == repr(TypeSchema(text)) == 'TypeSchema("' + text + '")'
    with pytest.raises(AttributeError):
        TypeSchema("$*$").pattern  # noqa: B018


# --- Differential tests against the model -----------------------------------

ALPHABET = ["$", "*", "(", ")", ":", "-", ">", " ", "\u00a0", "A", "B", "x", "é"]
texts = st.lists(st.sampled_from(ALPHABET), max_size=14).map("".join)
names = st.lists(st.sampled_from(ALPHABET), max_size=3).map("".join)
types = st.recursive(names.map(var), lambda sub: st.builds(app, sub, sub), max_leaves=6)
SPACE = st.sampled_from(["", " ", "\u00a0", "\u2003 ", " " * 40])  # long texts index on the heap


@st.composite
def pattern_for(draw, t):
    """A schema text shaped after `t`, perturbed, so that many texts match."""
    kind = draw(st.integers(0, 3))
    if kind == 0:
        return "*"
    if kind == 1:
        name = draw(st.sampled_from(["x", "y", " x", ""]))
        return "(" + name + draw(SPACE) + ":" + draw(SPACE) + draw(pattern_for(t)) + ")"
    if t[0] == "var":
        return t[1] if kind == 2 else draw(st.sampled_from(["A", "B"]))
    sides = [draw(pattern_for(t[1])), draw(pattern_for(t[2]))]
    sides = ["(" + s + ")" if draw(st.booleans()) else s for s in sides]
    return sides[0] + draw(SPACE) + "->" + draw(SPACE) + sides[1]


@st.composite
def shaped_cases(draw):
    t = draw(types)
    text = draw(pattern_for(t))
    if draw(st.booleans()):
        i = draw(st.integers(0, len(text)))
        text = text[:i] + draw(st.sampled_from(ALPHABET)) + text[i + 1:]
    return draw(st.sampled_from(["$%s$", "$ %s $", "%s", "\u3000$%s$\n"])) % text, t


def check_against_model(pattern, t):
    matched, captures = sm.match(pattern, t)
    assert run(pattern, t) == (matched, dict(captures))


@settings(max_examples=1500, deadline=None)
@given(texts, types)
def test_random_texts_agree_with_model(pattern, t):
    check_against_model(pattern, t)


@settings(max_examples=1500, deadline=None)
@given(shaped_cases())
def test_shaped_texts_agree_with_model(case):
    check_against_model(*case)


@settings(max_examples=500, deadline=None)
@given(types)
def test_text_form_between_dollars(t):
    # Without a colon no group can succeed, so "$" + text form + "$" matches
    # just the variables whose name the simple-name rule reads back. (With a
    # colon one can: "$(x:* -> B)$" matches the function type that prints as
    # "(x:* -> B)".)
    obj = build(t)
    if ":" not in str(obj):
        plain = t[0] == "var" and "->" not in t[1] and "(" not in t[1]
        assert TypeSchema("$" + str(obj) + "$").matches(obj) is plain
    assert TypeSchema("$*$").matches(obj) and TypeSchema("$(x:*)$").capture(obj) == {"x": obj}
