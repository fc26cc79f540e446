"""NodePattern and EdgePattern: accepted arguments, reprs and name quoting,
and the node test as the query engine runs it. (Argument errors and text
signatures are in test_binding.py.)"""

import os
import sys

import pytest

from voralix import Application, EdgePattern, Graph, Node, NodePattern, Term, TypeSchema, Variable

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "models"))
from path_model import quote_name  # noqa: E402

A, B, C, P = Variable("A"), Variable("B"), Variable("C"), Variable("P")
NP, EP = NodePattern, EdgePattern


class Text(str):
    pass


class OtherHash(str):
    def __hash__(self):
        return 1


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


def test_attributes():
    n, e = NP("n"), EP("e", direction="sideways")
    assert (n.variable, e.variable, e.direction) == ("n", "e", "sideways")
    assert NP().variable is None and EP().direction == "forward"
    assert type(EP(direction=Text("x")).direction) is str
    assert not any(hasattr(n, name) for name in ["type_obj", "type_schema", "properties"])


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


EQ_ERROR, BOOL_ERROR = ZeroDivisionError("eq"), KeyError("bool")


# What the required value's == returns is judged by its truth; errors from
# == or from the truth test fail the match.
@pytest.mark.parametrize("outcome, expected", [
    (lambda: obj(__bool__=lambda: True), WITH_AGE), (lambda: obj(__bool__=lambda: False), []),
    (lambda: [], []), (lambda: "yes", WITH_AGE), (lambda: 0, []),
    (lambda: raise_(EQ_ERROR), EQ_ERROR), (lambda: obj(__bool__=lambda: raise_(BOOL_ERROR)), BOOL_ERROR),
])
def test_comparison_outcome(graph, outcome, expected):
    q = graph.query().match(node="n", properties={"age": obj(__eq__=outcome)})
    if isinstance(expected, list):
        assert selected(q) == expected
    else:
        with pytest.raises(type(expected)) as info:
            selected(q)
        assert info.value is expected


def test_node_value_is_the_left_operand(graph):
    calls = []
    node = Node(Variable("L"), {"v": obj(__eq__=lambda: calls.append("left") or True)})
    graph.nodes[node.uid()] = node
    right = obj(__eq__=lambda: calls.append("right") or False)
    assert selected(graph.query().match(node="n", properties={"v": right})) == ["L"]
    assert calls == ["left"]


@pytest.mark.parametrize("raised, counts_as_mismatch", [
    (RuntimeError("key comparison"), True),
    (KeyboardInterrupt(), False),  # an interrupt is never swallowed
])
def test_raising_lookup(graph, raised, counts_as_mismatch):
    class RudeKey(str):
        __hash__ = str.__hash__

        def __eq__(self, other):
            raise raised

    props = {RudeKey("age"): 30}
    with pytest.raises(type(raised)):
        props["age"]
    node = Node(Variable("R"), props)
    graph.nodes[node.uid()] = node
    q = graph.query().match(node="n", properties={"age": 30})
    if counts_as_mismatch:
        assert selected(q) == ["A", "(A -> B)"]
    else:
        with pytest.raises(KeyboardInterrupt):
            selected(q)
