"""NodePattern and EdgePattern: constructors, reprs, and the node test as the
query engine runs it."""

import gc
import os
import sys
import weakref

import pytest

from voralix import (Application, EdgePattern, Graph, Node, NodePattern, PathPattern, Term,
                     TypeSchema, Variable)

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "models"))
from path_model import quote_name  # noqa: E402

A, B, C, P = Variable("A"), Variable("B"), Variable("C"), Variable("P")
NP, EP = NodePattern, EdgePattern


class Text(str):
    pass


class OtherHash(str):
    def __hash__(self):
        return 1


def test_text_signatures():
    assert NP.__text_signature__ == "(variable=None, type=..., type_schema=None, properties=None)"
    assert EP.__text_signature__ == (
        "(variable=None, term=None, term_type_schema=None, properties=None, direction=...)")


def conv(got, target, arg=None):
    msg = f"'{got}' object cannot be converted to '{target}'"
    return f"argument '{arg}': {msg}" if arg else msg


# Checks run in the order: variable, properties being a dict, direction,
# type / term, property keys.
@pytest.mark.parametrize("make, exc, message", [
    (lambda: NP(1, 2, 3, [1]), TypeError, conv("int", "PyString", "variable")),
    (lambda: NP("n", 2, 3, [1]), TypeError, conv("list", "PyDict", "properties")),
    (lambda: NP("n", 2, 3, {1: 2}), TypeError, "Expected Variable or Application"),
    (lambda: NP("n", Term("f", A)), TypeError, "Expected Variable or Application"),
    (lambda: NP("n", A, 3, {"a": 1, 1: 2}), TypeError, conv("int", "PyString")),
    (lambda: EP(1, 2, 3, 4, 5), TypeError, conv("int", "PyString", "variable")),
    (lambda: EP("e", 2, 3, 4, 5), TypeError, conv("int", "PyDict", "properties")),
    (lambda: EP("e", 2, 3, {1: 1}, 5), TypeError, conv("int", "PyString", "direction")),
    (lambda: EP("e", 2, 3, {1: 1}, "d"), TypeError, conv("int", "Term")),
    (lambda: EP("e", A), TypeError, conv("Variable", "Term")),
    (lambda: EP("e", None, 3, {1: 1}), TypeError, conv("int", "PyString")),
    (lambda: NP("n\ud800"), UnicodeEncodeError, None),
    (lambda: EP(direction="\udfff"), UnicodeEncodeError, None),
    (lambda: NP(properties={"\ud800": 1}), UnicodeEncodeError, None),
    (lambda: NP(type_schema="$\ud800$"), UnicodeEncodeError, None),
    (lambda: EP(term_type_schema="\ud800"), UnicodeEncodeError, None),
    (lambda: NP(1, 2, 3, 4, 5), TypeError,
     "NodePattern.__new__() takes from 0 to 4 positional arguments but 5 were given"),
    (lambda: EP("e", variable="f"), TypeError,
     "EdgePattern.__new__() got multiple values for argument 'variable'"),
])
def test_constructor_errors(make, exc, message):
    with pytest.raises(exc) as info:
        make()
    assert info.type is exc
    if message is not None:
        assert str(info.value) == message


@pytest.mark.parametrize("make, text", [
    (lambda: NP(None, None, None, None), "NodePattern(variable=None)"),
    (lambda: NP(Text("n"), Application(A, B), 42, type("D", (dict,), {})(a=1)),
     'NodePattern(variable=Some("n"))'),
    (lambda: EP("e", None, None, None, None), 'EdgePattern(variable=Some("e"), direction=forward)'),
    (lambda: EP(term=Term("f", A), term_type_schema=TypeSchema("$*$"), direction=""),
     "EdgePattern(variable=None, direction=)"),
    (lambda: EP(direction=Text('a "b"\n\x00\u0301')), 'EdgePattern(variable=None, direction=a "b"\n\x00\u0301)'),
])
def test_accepted_arguments_and_repr(make, text):
    p = make()
    assert repr(p) == str(p) == text


def test_attributes_are_read_only():
    n, e = NP("n"), EP("e", direction="sideways")
    assert (n.variable, e.variable, e.direction) == ("n", "e", "sideways")
    assert NP().variable is None and EP().direction == "forward"
    assert type(EP(direction=Text("x")).direction) is str
    for target, name in [(n, "variable"), (e, "variable"), (e, "direction"), (n, "properties")]:
        with pytest.raises(AttributeError):
            setattr(target, name, "x")
    assert not any(hasattr(n, name) for name in ["type_obj", "type_schema", "properties"])
    assert n != NP("n") and n == n


@pytest.mark.parametrize("name, quoted", [
    ('say "hi" \\', r'"say \"hi\" \\"'),
    ("\t\r\n\x00" + "1", r'"\t\r\n\01"'),
    ("\x1b\x7f\x85\u00a0\u2028\ue000\U0010ffff", r'"\u{1b}\u{7f}\u{85}\u{a0}\u{2028}\u{e000}\u{10ffff}"'),
    # Grapheme_Extend marks, printable or not
    ("e\u0301\u20dd\ufe0f\U000e0100\u200c", r'"e\u{301}\u{20dd}\u{fe0f}\u{e0100}\u{200c}"'),
    ("\u00e9 \u0903\U0001f600\U0001f3fb", '"\u00e9 \u0903\U0001f600\U0001f3fb"'),
])
def test_variable_quoting(name, quoted):
    assert repr(NP(name)) == f"NodePattern(variable=Some({quoted}))"
    assert repr(EP(name, direction="any")) == f"EdgePattern(variable=Some({quoted}), direction=any)"
    assert NP(name).variable == name


def test_quoting_of_every_code_point():
    path = "/usr/share/unicode/DerivedCoreProperties.txt"
    if not os.path.exists(path):
        pytest.skip("DerivedCoreProperties.txt not available")
    extend = set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = [x.strip() for x in line.split("#")[0].split(";")]
            if len(fields) == 2 and fields[1] == "Grapheme_Extend":
                first, _, last = fields[0].partition("..")
                extend.update(range(int(first, 16), int(last or first, 16) + 1))
    scalars = [c for c in range(0x110000) if not 0xD800 <= c < 0xE000]
    for i in range(0, len(scalars), 4096):
        name = "".join(map(chr, scalars[i:i + 4096]))
        expected = "NodePattern(variable=Some(" + quote_name(name, extend.__contains__) + "))"
        assert repr(NP(name)) == expected, f"block at U+{scalars[i]:04X}"


@pytest.mark.parametrize("make", [
    lambda v: NP(properties={"k": v}),
    lambda v: PathPattern().add_edge(EP(properties={"k": v})),
])
def test_cycles_through_property_values_are_collected(make):
    marker = type("Marker", (), {})()
    holder = [marker]
    holder.append(make(holder))
    ref = weakref.ref(marker)
    del marker, holder
    gc.collect()
    assert ref() is None


# --- the node test, through the query engine's node match -------------------

@pytest.fixture
def graph():
    g = Graph()
    for t, props in [(A, {"age": 30, "tags": [1]}), (B, {"age": 31}), (C, {}),
                     (Application(A, B), {"age": 30.0}), (P, {"age": True, "tags": []})]:
        node = Node(t, props)
        g.nodes[node.uid()] = node
    return g


def selected(query):
    return [str(r["n"].type) for r in query.return_("n")]


ALL = ["A", "B", "C", "(A -> B)", "P"]
WITH_AGE = ["A", "B", "(A -> B)", "P"]


@pytest.mark.parametrize("kwargs, expected", [
    ({}, ALL),
    ({"type": A}, ["A"]),
    ({"type": A, "type_schema": "$B$"}, []),
    ({"type": Application(A, B), "type_schema": "$* -> B$"}, ["(A -> B)"]),
    ({"type_schema": "$A -> B$"}, ["(A -> B)"]),
    ({"type_schema": TypeSchema("$B$")}, ["B"]),
    ({"type_schema": 42}, ALL),
    ({"type_schema": "$A"}, []),
    ({"properties": {"age": 30}}, ["A", "(A -> B)"]),
    ({"properties": {"age": 1}}, ["P"]),
    ({"properties": {"age": 30, "tags": [1]}}, ["A"]),
    ({"properties": {"missing": None}}, []),
    ({"type_schema": "$*$", "properties": {"age": 31}}, ["B"]),
    # Equal texts under distinct dict keys: the later value wins.
    ({"properties": {"age": 30, OtherHash("age"): 31}}, ["B"]),
    ({"properties": {OtherHash("age"): 31, "age": 30}}, ["A", "(A -> B)"]),
])
def test_node_selection(graph, kwargs, expected):
    assert selected(graph.query().match(node="n", **kwargs)) == expected


def test_required_values_are_held_by_reference(graph):
    tags = []
    q = graph.query().match(node="n", properties={"tags": tags})
    assert selected(q) == ["P"]
    tags.append(1)
    assert selected(q) == ["A"]


def obj(**methods):
    """An object whose special methods call the given functions of no argument."""
    return type("Obj", (), {k: (lambda f: lambda self, *args: f())(f) for k, f in methods.items()})()


def raise_(error):
    raise error


@pytest.mark.parametrize("outcome, expected", [
    (obj(__bool__=lambda: True), WITH_AGE), (obj(__bool__=lambda: False), []),
    ([], []), ("yes", WITH_AGE), (0, []),
])
def test_comparison_outcome_judged_by_truth(graph, outcome, expected):
    required = obj(__eq__=lambda: outcome)
    assert selected(graph.query().match(node="n", properties={"age": required})) == expected


EQ_ERROR, BOOL_ERROR = ZeroDivisionError("eq"), KeyError("bool")


@pytest.mark.parametrize("required, error", [
    (obj(__eq__=lambda: raise_(EQ_ERROR)), EQ_ERROR),
    (obj(__eq__=lambda: obj(__bool__=lambda: raise_(BOOL_ERROR))), BOOL_ERROR),
])
def test_raising_comparison_fails_the_match(graph, required, error):
    with pytest.raises(type(error)) as info:
        graph.query().match(node="n", properties={"age": required}).return_("n")
    assert info.value is error


def test_node_value_is_the_left_operand(graph):
    calls = []
    node = Node(Variable("L"), {"v": obj(__eq__=lambda: calls.append("left") or True)})
    graph.nodes[node.uid()] = node
    right = obj(__eq__=lambda: calls.append("right") or False)
    assert selected(graph.query().match(node="n", properties={"v": right})) == ["L"]
    assert calls == ["left"]


def test_raising_lookup_counts_as_mismatch(graph):
    class RudeKey(str):
        __hash__ = str.__hash__

        def __eq__(self, other):
            raise RuntimeError("key comparison")

    props = {RudeKey("age"): 30}
    with pytest.raises(RuntimeError):
        props["age"]
    node = Node(Variable("R"), props)
    graph.nodes[node.uid()] = node
    assert selected(graph.query().match(node="n", properties={"age": 30})) == ["A", "(A -> B)"]
