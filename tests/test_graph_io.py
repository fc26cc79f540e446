"""Graph helpers (add_node, add_edge, check), JSON documents, networkx and
display. Round trips run on generated graphs and compare uids, types, terms
and properties, end nodes of edges included."""

import json
import math

import pytest
from hypothesis import given, settings

from graph_samples import assert_same_graph, graphs, same
from voralix import Application, Edge, Graph, Node, Term, Variable

A, B, C = Variable("A"), Variable("B"), Variable("C")
AB, AC = Application(A, B), Application(A, C)
F = Term("f", AB)


def well_typed_edge(name, start, end, props=None):
    return Edge(Term(name, Application(start.type, end.type)), start, end, props)


# --- add_node / add_edge ----------------------------------------------------

def test_add_node_stores_under_uid_and_replaces_same_type():
    g = Graph()
    first, second = Node(A, {"v": 1}), Node(A, {"v": 2})
    assert g.add_node(first) == first.uid()
    g.add_node(Node(B))
    assert g.add_node(second) == first.uid()
    assert list(g.nodes) == [A_uid := first.uid(), Node(B).uid()]
    assert g.nodes[A_uid] is second


def test_add_edge_adds_missing_end_nodes_only():
    g = Graph()
    stored = Node(A, {"stored": True})
    g.add_node(stored)
    start_props, end_props = {"s": 1}, {"e": 1}
    e = Edge(F, Node(A, start_props), Node(B, end_props), {"w": 3})
    assert g.add_edge(e) == e.uid()
    assert g.edges[e.uid()] is e
    assert g.nodes[Node(A).uid()] is stored  # present: left alone
    added = g.nodes[Node(B).uid()]
    assert added.properties is end_props and added.type == B
    loop = Edge(Term("l", Application(C, C)), Node(C), Node(C))
    g.add_edge(loop)
    assert len(g.nodes) == 3 and g.check() == []


@pytest.mark.parametrize("method, arg, target", [
    ("add_node", 1, "Node"), ("add_node", F, "Node"), ("add_edge", Node(A), "Edge"),
])
def test_add_wrong_class(method, arg, target):
    g = Graph()
    with pytest.raises(TypeError) as info:
        getattr(g, method)(arg)
    name = method.split("_")[1]
    assert str(info.value) == (f"argument '{name}': '{type(arg).__name__}' object cannot be "
                               f"converted to '{target}'")
    assert not g.nodes and not g.edges


# --- check ------------------------------------------------------------------

def kinds(g):
    return [(p["kind"], p["dict"], p["key"]) for p in g.check()]


def test_check_well_formed_graph_is_empty():
    g = Graph()
    a, b = Node(A), Node(B)
    g.add_node(a)
    g.add_node(b)
    g.add_edge(well_typed_edge("f", a, b))
    g.add_edge(well_typed_edge("loop", a, a))
    assert g.check() == [] and Graph().check() == []


def test_check_reports_each_kind_with_message():
    g = Graph()
    a, b, c = Node(A), Node(B), Node(C)
    g.add_node(a)
    g.add_node(b)
    g.nodes["not-a-uid"] = c
    g.nodes[7] = "seven"
    ill = Edge(Term("g", A), a, b)
    g.edges[ill.uid()] = ill
    dangling = well_typed_edge("h", a, c)
    g.edges[dangling.uid()] = dangling
    g.edges["wrong"] = well_typed_edge("f", a, b)
    g.edges[ill.uid() + "x"] = 3.5
    problems = g.check()
    assert [(p["kind"], p["dict"], p["key"]) for p in problems] == [
        ("wrong_key", "nodes", "not-a-uid"),
        ("wrong_class", "nodes", 7),
        ("ill_typed", "edges", ill.uid()),
        ("dangling", "edges", dangling.uid()),
        ("wrong_key", "edges", "wrong"),
        ("wrong_class", "edges", ill.uid() + "x"),
    ]
    messages = [p["message"] for p in problems]
    assert messages[0] == f"nodes['not-a-uid']: Node(C) belongs under its uid {c.uid()}"
    assert messages[1] == "nodes[7]: the value's class is str, not Node"
    assert messages[2] == (f"edges['{ill.uid()}']: the term g has type A, but an edge from "
                           "Node(A) to Node(B) needs type (A -> B)")
    assert messages[3] == (f"edges['{dangling.uid()}']: the end node Node(C) (uid {c.uid()}) "
                           "is not in the graph")
    assert messages[5].endswith("the value's class is float, not Edge")


@pytest.mark.parametrize("term_type, start, end, ok", [
    (AB, A, B, True),
    (Application(B, A), A, B, False),           # reversed
    (Application(AB, C), AB, C, True),          # function-typed node
    (Application(Application(A, B), C), A, C, False),
    (Application(A, Application(B, C)), A, Application(B, C), True),
    (Variable("AB"), A, B, False),
])
def test_check_typing_is_structural(term_type, start, end, ok):
    g = Graph()
    g.add_edge(Edge(Term("t", term_type), Node(start), Node(end)))
    assert kinds(g) == ([] if ok else [("ill_typed", "edges", next(iter(g.edges)))])


def test_check_dangling_start_and_end_separately():
    g = Graph()
    e = well_typed_edge("f", Node(A), Node(B))
    g.edges[e.uid()] = e
    assert [p["message"].split(": ", 1)[1].split(" ")[1] for p in g.check()] == ["start", "end"]
    g.nodes[Node(A).uid()] = Node(B)  # an A key holding a B node does not make A present
    assert [p["kind"] for p in g.check()] == ["wrong_key", "dangling", "dangling"]


def test_check_key_text_compared_not_identity():
    class Key(str):
        pass

    g = Graph()
    n = Node(A)
    g.nodes[Key(n.uid())] = n
    g.nodes[n.uid().upper()] = Node(A)  # a different key: upper-case hex is not the uid
    assert kinds(g) == [("wrong_key", "nodes", n.uid().upper())]


# --- JSON -------------------------------------------------------------------

@settings(max_examples=150, deadline=None)
@given(graphs())
def test_json_round_trip(g):
    text = g.to_json()
    h = Graph.from_json(text)
    assert_same_graph(g, h)
    assert h.to_json() == text
    assert json.loads(text)["version"] == 1


def test_json_document_shape():
    g = Graph()
    a, b = Node(A, {"n": 1}), Node(B)
    g.add_node(a)
    g.add_node(b)
    g.add_edge(Edge(F, a, Node(B, {"own": True}), {"w": 0.5}))
    doc = json.loads(g.to_json())
    assert doc["format"] == "voralix-graph" and doc["types"] == ["A", "B", [0, 1]]
    assert doc["nodes"] == [{"key": a.uid(), "type": 0, "properties": {"n": 1}},
                            {"key": b.uid(), "type": 1, "properties": {}}]
    [edge] = doc["edges"]
    assert edge["term"] == {"name": "f", "type": 2} and edge["start"] == 0
    assert edge["end"] == {"type": 1, "properties": {"own": True}}


def test_json_shared_type_table_and_deep_types():
    t = A
    for _ in range(50_000):
        t = Application(t, B)
    g = Graph()
    g.add_node(Node(t))
    g.add_node(Node(A))
    doc = json.loads(g.to_json())
    assert len(doc["types"]) == 50_002  # A, B and each application once
    h = Graph.from_json(g.to_json())
    assert list(h.nodes) == list(g.nodes) and h.nodes[Node(t).uid()].type == t


@pytest.mark.parametrize("value, detail", [
    ((1, 2), "properties['p'] is a tuple"),
    ({1: "x"}, "properties['p'] has a key of class int (1)"),
    ([1, {2.5: 1}], "properties['p'][1] has a key of class float (2.5)"),
    (float("nan"), "properties['p'] is the float nan"),
    ([float("-inf")], "properties['p'][0] is the float -inf"),
    ({"a": {"b": {1, 2}}}, "properties['p']['a']['b'] is a set"),
    (int, "properties['p'] is a type"),
])
def test_json_refuses_values_it_cannot_hold(value, detail):
    g = Graph()
    n = Node(A, {"ok": 1, "p": value})
    g.add_node(n)
    with pytest.raises(TypeError) as info:
        g.to_json()
    assert str(info.value) == (f"cannot write nodes['{n.uid()}'] (Node(A)) as JSON: {detail}; JSON "
                               "holds dicts with str keys, lists, str, int, finite float, bool "
                               "and None")


def test_json_refuses_subclasses_cycles_and_names_edges():
    from collections import OrderedDict
    from enum import IntEnum

    class Level(IntEnum):
        LOW = 1

    for value, what in [(Level.LOW, "a Level"), (OrderedDict(), "an OrderedDict")]:
        g = Graph()
        g.add_node(Node(A, {"p": value}))
        with pytest.raises(TypeError, match=f"properties\\['p'\\] is {what};"):
            g.to_json()
    cyclic = {}
    cyclic["again"] = [cyclic]
    g = Graph()
    e = Edge(F, Node(A), Node(B, cyclic))
    g.add_edge(Edge(F, Node(A), Node(B)))
    g.edges[e.uid()] = e
    with pytest.raises(TypeError) as info:
        g.to_json()
    assert str(info.value).startswith(
        f"cannot write the end node of edges['{e.uid()}'] (Node(B)) as JSON: "
        "properties['again'][0] is a circular reference;")


@pytest.mark.parametrize("mutate, message", [
    (lambda g: g.nodes.__setitem__(3, Node(A)), "cannot write nodes[3] as JSON: its key is not a str"),
    (lambda g: g.edges.__setitem__("e", "x"),
     "cannot write edges['e'] as JSON: the value's class is str, not Edge"),
])
def test_json_refuses_malformed_entries(mutate, message):
    g = Graph()
    g.add_edge(Edge(F, Node(A), Node(B)))
    mutate(g)
    with pytest.raises(TypeError) as info:
        g.to_json()
    assert str(info.value) == message


def test_json_subclass_property_dict_reads_back_as_dict():
    class Props(dict):
        pass

    g = Graph()
    g.add_node(Node(A, Props(x=1)))
    [n] = Graph.from_json(g.to_json()).nodes.values()
    assert type(n.properties) is dict and n.properties == {"x": 1}


def test_json_values_exact():
    big = -(10 ** 5000) + 7  # beyond int()'s default digit limit
    values = {"big": big, "f": 1.0, "tiny": 5e-324, "neg0": -0.0, "s": "\x00\x1f\"\\/\u2028\ud800x",
              "astral": "\U0001f600", "nested": [[[]], {}], "max": 2 ** 64}
    g = Graph()
    g.add_node(Node(A, values))
    text = g.to_json()
    assert '"f":1.0,' in text and '"neg0":-0.0,' in text
    [n] = Graph.from_json(text).nodes.values()
    assert same(n.properties, values) and math.copysign(1, n.properties["neg0"]) == -1


def test_json_deep_values_use_no_c_stack():
    deep = []
    for _ in range(100_000):
        deep = [deep]
    g = Graph()
    g.add_node(Node(A, {"deep": deep}))
    [n] = Graph.from_json(g.to_json()).nodes.values()
    x, depth = n.properties["deep"], 0
    while x:
        x, depth = x[0], depth + 1
    assert depth == 100_000


EMPTY = '{"format": "voralix-graph", "version": 1, "types": [], "nodes": [], "edges": []}'


def doc(types="[]", nodes="[]", edges="[]", extra=""):
    return ('{"format": "voralix-graph", "version": 1, "types": %s, "nodes": %s, "edges": %s%s}'
            % (types, nodes, edges, extra))


NODE = '{"key": "k", "type": 0}'


# Each case: the text, the message, and where the position points (the first
# occurrence of a marker, or an index).
@pytest.mark.parametrize("text, message, at", [
    ("", "Expecting '{'", 0),
    ("[]", "Expecting '{'", 0),
    ('{"format": "voralix-graph"', "Expecting ',' delimiter", 26),
    (EMPTY + " x", "Extra data", len(EMPTY) + 1),
    (EMPTY.replace('"version": 1', '"version": 2'),
     "Unsupported graph document version 2 (this reader reads version 1)", "2"),
    (EMPTY.replace('"version": 1', '"version": "1"'), "Expecting an index (an integer from 0)",
     '"1"'),
    (EMPTY.replace("voralix-graph", "other"),
     'Not a graph document: format "other", expected "voralix-graph"', '"other"'),
    (EMPTY.replace(', "edges": []', ''), 'the graph document has no member "edges"', 0),
    (doc(extra=', "more": 1'), 'Unknown member "more" in the graph document', '"more"'),
    (doc(extra=', "nodes": []'), 'Repeated member "nodes" in the graph document', '"nodes": []}'),
    (doc('["A", [0, 1]]'), "Type 1 may refer to types 0 to 1 (exclusive) only", "1]]"),
    (doc('["A", [0]]'), "A type is a name or a list of two earlier type indices", "[0]"),
    (doc('["A", [0, 0, 0]]'), "A function type has two parts", "0]]"),
    (doc('[1]'), "Expecting '['", "1]"),
    (doc('["A"]', '[{"key": "k", "type": 1}]'), "No type 1 in the type table", "1}"),
    (doc('["A"]', "[%s, %s]" % (NODE, NODE)), "Repeated node key", '"k", "type": 0}]'),
    (doc('["A"]', '[{"key": 5, "type": 0}]'), "Expecting string", "5"),
    (doc('["A"]', '[{"key": "k", "type": 0, "properties": []}]'),
     "Expecting an object of properties", "[]}"),
    (doc('["A"]', '[{"key": "k"}]'), 'a node has no member "type"', '{"key": "k"}'),
    (doc('["A"]', "[]", '[{"key": "e", "term": {"name": "f", "type": 0}, "start": 0, "end": 0}]'),
     "No node 0 in the node list", "0, "),
    (doc('["\\ud800"]'), "A name cannot hold a lone surrogate", '"\\ud800"'),
    (doc('["A"]', '[{"key": "k", "type": 0, "properties": {"x": [1,]}}]'), "Expecting value",
     "]}}"),
    (doc('["A"]', '[{"key": "k", "type": 0, "properties": {"x": 01}}]'),
     "Expecting ',' delimiter", "1}"),
    (doc('["A"]', '[{"key": "k", "type": 0, "properties": {"x": "a\nb"}}]'),
     "Invalid control character at", "\n"),
    (doc('["A"]', '[{"key": "k", "type": 0, "properties": {"x": "\\q"}}]'), "Invalid \\escape",
     "\\q"),
    (doc('["A"]', '[{"key": "k", "type": 0, "properties": {"x": NaN}}]'), "Expecting value",
     "NaN"),
    ('{"format": "voralix-graph", "types": ["unterminated', "Unterminated string starting at",
     '"unterminated'),
])
def test_from_json_errors_carry_position(text, message, at):
    with pytest.raises(json.JSONDecodeError) as info:
        Graph.from_json(text)
    assert isinstance(info.value, ValueError)
    pos = at if isinstance(at, int) else text.index(at)
    assert (info.value.msg, info.value.pos) == (message, pos)
    assert info.value.doc is text


def test_from_json_positions_count_characters():
    text = doc('["\u00e9\U0001f600"]', '[{"key": "k", "type": 3}]')
    with pytest.raises(json.JSONDecodeError) as info:
        Graph.from_json(text)
    assert info.value.pos == text.index('3}')


def test_from_json_reads_what_json_allows():
    text = doc('["A", [0, 0]]', '[{"type": 1, "key": "k", "properties": {"a": 1, "a": 2, '
               '"e": 1E400, "u": "\\u00e9\\ud83d\\ude00\\/"}}]',
               '[{"key": "e", "properties": {}, "end": {"type": 0}, "start": 0, '
               '"term": {"type": 1, "name": "f"}}]')
    g = Graph.from_json(text)
    [n] = g.nodes.values()
    assert n.type == Application(A, A) and n.properties == {"a": 2, "e": math.inf,
                                                             "u": "\u00e9\U0001f600/"}
    [e] = g.edges.values()
    assert e.start.properties is n.properties and e.end.properties == {} and e.end.type == A


def test_from_json_argument_and_classmethod():
    with pytest.raises(TypeError, match="argument 'text': 'bytes' object cannot be converted"):
        Graph.from_json(b"{}")
    assert isinstance(Graph().from_json(EMPTY), Graph)
    assert Graph.from_json.__text_signature__ == "($type, text)"


# --- networkx -----------------------------------------------------------------

@settings(max_examples=100, deadline=None)
@given(graphs(faithful=True))
def test_networkx_round_trip(g):
    pytest.importorskip("networkx")
    nxg = g.to_networkx()
    assert nxg.is_multigraph() and nxg.is_directed()
    assert list(nxg.nodes) == list(g.nodes)
    assert sorted(k for _, _, k in nxg.edges(keys=True)) == sorted(g.edges)
    for uid, n in g.nodes.items():
        attrs = dict(nxg.nodes[uid])
        assert attrs.pop("type") == n.type and same(attrs, n.properties)
    # networkx keeps edges by node, not in one order: compare them sorted.
    assert_same_graph(g, Graph.from_networkx(nxg), edges_in_order=False)


def test_networkx_dangling_end_nodes_become_nodes():
    pytest.importorskip("networkx")
    g = Graph()
    e = Edge(F, Node(A, {"a": 1}), Node(B))
    g.edges[e.uid()] = e
    nxg = g.to_networkx()
    assert nxg.nodes[Node(A).uid()] == {"a": 1, "type": A}
    h = Graph.from_networkx(nxg)
    assert list(h.nodes) == [Node(A).uid(), Node(B).uid()] and h.check() == []


def test_networkx_attribute_dicts_are_new():
    pytest.importorskip("networkx")
    g = Graph()
    n = Node(A, {"tags": ["x"]})
    g.add_node(n)
    attrs = g.to_networkx().nodes[n.uid()]
    attrs["added"] = 1
    assert n.properties == {"tags": ["x"]} and attrs["tags"] is n.properties["tags"]


def test_from_networkx_plain_digraph_keys_by_uid():
    nx = pytest.importorskip("networkx")
    d = nx.DiGraph()
    d.add_node("ada", type=A, born=1815)
    d.add_node(42, type=B)
    d.add_edge("ada", 42, term=F, since=1842)
    g = Graph.from_networkx(d)
    ada = g.nodes[Node(A).uid()]
    assert ada.properties == {"born": 1815}
    [e] = g.edges.values()
    assert e.uid() in g.edges and e.properties == {"since": 1842}
    assert e.start.properties is ada.properties and g.check() == []


def bad_digraphs(nx):
    def graph(*nodes, edges=()):
        d = nx.MultiDiGraph()
        for name, attrs in nodes:
            d.add_node(name, **attrs)
        for u, v, attrs in edges:
            d.add_edge(u, v, key="k", **attrs)
        return d

    return [
        (graph(("ada", {"born": 1})), ValueError, "networkx node 'ada' has no 'type' attribute"),
        (graph(("ada", {"type": "A"})), TypeError,
         "networkx node 'ada': the class of its 'type' attribute is str, not Variable or "
         "Application"),
        (graph(("a", {"type": A}), ("b", {"type": Variable("A")})), ValueError,
         "networkx nodes 'a' and 'b' both have the type A: a graph holds one node per type"),
        (graph(("a", {"type": A}), edges=[("a", "a", {"w": 1})]), ValueError,
         "networkx edge 'a' -> 'a' (key 'k') has no 'term' attribute"),
        (graph(("a", {"type": A}), edges=[("a", "a", {"term": A})]), TypeError,
         "networkx edge 'a' -> 'a' (key 'k'): the class of its 'term' attribute is Variable, not "
         "Term"),
        (graph(("a", {"type": A}), edges=[("a", "a", {"term": F}), ("a", "a", {"term": F})]),
         None, None),  # the second edge of one key replaces the first in networkx
        (nx.Graph(), ValueError, "Graph.from_networkx() needs a directed graph (a DiGraph or "
         "MultiDiGraph): an edge has a start and an end"),
        ([1, 2], TypeError, "argument 'g': expected a networkx graph, not list"),
    ]


def test_from_networkx_errors_name_the_element():
    nx = pytest.importorskip("networkx")
    for d, exc, message in bad_digraphs(nx):
        if exc is None:
            assert len(Graph.from_networkx(d).edges) == 1
            continue
        with pytest.raises(exc) as info:
            Graph.from_networkx(d)
        assert str(info.value) == message
    d = nx.MultiDiGraph()
    d.add_node("a", type=A)
    d.add_edge("a", "a", key=1, term=F)
    d.add_edge("a", "a", key=2, term=F)
    with pytest.raises(ValueError, match=r"key 2\) has the term f:\(A -> B\) of an earlier edge"):
        Graph.from_networkx(d)


@pytest.mark.parametrize("setup, exc, message", [
    (lambda g: g.add_node(Node(A, {"type": 1})), ValueError,
     "nodes[{uid}] has a property named 'type', which to_networkx() uses for the element's type"),
    (lambda g: g.add_edge(Edge(F, Node(A), Node(B), {"term": 1})), ValueError,
     "edges[{uid}] has a property named 'term', which to_networkx() uses for the element's term"),
    (lambda g: g.nodes.__setitem__("x", 1), TypeError,
     "nodes['x']: the value's class is int, not Node"),
])
def test_to_networkx_refuses_what_it_would_lose(setup, exc, message):
    pytest.importorskip("networkx")
    g = Graph()
    setup(g)
    key = next(iter(g.edges or g.nodes))
    with pytest.raises(exc) as info:
        g.to_networkx()
    assert str(info.value) == message.format(uid=repr(key))


def test_to_networkx_refuses_two_entries_of_one_uid():
    pytest.importorskip("networkx")
    g = Graph()
    n = Node(A)
    g.add_node(n)
    g.nodes["alias"] = n
    with pytest.raises(ValueError, match=r"nodes\[.*\] and nodes\['alias'\] hold nodes of one uid"):
        g.to_networkx()


@pytest.mark.parametrize("method", ["to_networkx", "from_networkx"])
def test_networkx_missing_says_how_to_install(method, monkeypatch):
    import sys

    monkeypatch.setitem(sys.modules, "networkx", None)
    call = Graph().to_networkx if method == "to_networkx" else lambda: Graph.from_networkx(None)
    with pytest.raises(ImportError) as info:
        call()
    assert str(info.value) == (f"Graph.{method}() needs the networkx package: pip install networkx "
                               "(or pip install \"voralix[networkx]\")")
    assert isinstance(info.value.__cause__, ImportError)


# --- DOT and HTML -------------------------------------------------------------

LABELS = ['plain', 'say "hi"', "back\\slash", "\\N\\l\\G", "two\nlines", "cr\r\nlf", "a&amp;b",
          "<b>tag</b>", "\u00e9\u4e2d\U0001f600", "tab\there", ""]


@pytest.mark.parametrize("label", LABELS)
def test_dot_labels_escaped(label):
    g = Graph()
    n = Node(Variable(label))
    g.add_node(n)
    g.add_edge(Edge(Term(label, Application(n.type, n.type)), n, n))
    dot = g.to_dot()
    lines = dot.splitlines()
    assert lines[0] == "digraph {" and lines[-1] == "}"
    escaped = (label.replace("\\", "\\\\").replace('"', '\\"').replace("\r\n", "\\n")
               .replace("\n", "\\n").replace("&", "&amp;").replace("\t", "&#9;"))
    assert lines[1] == f'  "{n.uid()}" [label="{escaped}"];'
    assert lines[2] == f'  "{n.uid()}" -> "{n.uid()}" [label="{escaped}"];'


def test_dot_renders_labels_exactly():
    import html
    import re
    import shutil
    import subprocess

    if shutil.which("dot") is None:
        pytest.skip("Graphviz (dot) is not installed")
    for label in LABELS[:-1]:
        g = Graph()
        g.add_node(Node(Variable(label)))
        svg = subprocess.run(["dot", "-Tsvg"], input=g.to_dot(), capture_output=True, text=True,
                             check=True).stdout
        shown = [html.unescape(t) for t in re.findall(r"<text[^>]*>(.*?)</text>", svg)]
        assert "\n".join(shown) == label.replace("\r\n", "\n"), label


def test_dot_draws_dangling_end_nodes_dashed():
    g = Graph()
    g.add_node(Node(A))
    e = Edge(F, Node(A), Node(B))
    g.edges[e.uid()] = e
    lines = g.to_dot().splitlines()
    assert lines[2] == f'  "{Node(B).uid()}" [label="B", style=dashed];'
    assert lines[3] == f'  "{Node(A).uid()}" -> "{Node(B).uid()}" [label="f"];'
    g.edges["x"] = 1
    with pytest.raises(TypeError, match=r"edges\['x'\]: the value's class is int, not Edge"):
        g.to_dot()


def test_repr_html_escapes_and_limits():
    g = Graph()
    for i in range(12):
        g.add_node(Node(Variable(f"<T{i}>"), {"s": "&'\"" + "x" * 200}))
    g.nodes["<key>"] = 5
    g.add_edge(Edge(Term("<f>", A), Node(A), Node(B), {"w": "<w>"}))
    html = g._repr_html_()
    assert html.startswith('<div class="voralix-graph">\n<p><b>Graph</b>: 15 nodes, 1 edges</p>')
    assert "<caption>Nodes (the first 10 of 15)</caption>" in html
    assert "&lt;T0&gt;" in html and "&lt;T9&gt;" in html and "T10" not in html
    assert "&amp;\\&#39;&quot;" in html and "x" * 121 not in html and "\u2026" in html
    assert "<" + "T0>" not in html and "&lt;f&gt;:A" in html and "&#39;&lt;w&gt;&#39;" in html
    assert "<caption>Edges</caption>" in html


def test_repr_html_shows_wrong_entries():
    g = Graph()
    g.nodes[b"k"] = "<not a node>"
    html = g._repr_html_()
    assert ("<td><code>b&#39;k&#39;</code></td><td colspan=\"2\">the value&#39;s class is str, "
            "not Node</td>") in html


# --- Python code that changes the graph mid-walk ------------------------------

class Hostile:
    """A property value whose hooks add a node to `graph` when called."""

    def __init__(self, graph, exc=None):
        self.graph, self.exc = graph, exc

    def _strike(self):
        if self.exc is not None:
            raise self.exc
        self.graph.add_node(Node(Variable(f"added {len(self.graph.nodes)}")))

    def __repr__(self):
        self._strike()
        return "Hostile()"

    def __deepcopy__(self, memo):
        self._strike()
        return self

    def __reduce__(self):
        self._strike()
        return (Hostile, (None,))


def hostile_graph(exc=None):
    g = Graph()
    g.add_node(Node(A, {"h": Hostile(g, exc)}))
    g.add_node(Node(B))
    return g


@pytest.mark.parametrize("call", [
    lambda g: g._repr_html_(),
    lambda g: __import__("copy").deepcopy(g),
])
def test_changes_mid_walk_raise(call):
    g = hostile_graph()
    with pytest.raises(RuntimeError, match="dictionary changed size during iteration"):
        call(g)
    assert len(g.nodes) == 3  # the change itself stays


@pytest.mark.parametrize("call", [
    lambda g: g._repr_html_(),
    lambda g: __import__("copy").deepcopy(g),
    lambda g: __import__("pickle").dumps(g),
])
@pytest.mark.parametrize("exc", [KeyboardInterrupt, SystemExit, ValueError])
def test_exceptions_from_python_code_pass_through(call, exc):
    with pytest.raises(exc):
        call(hostile_graph(exc("from a hook")))


def test_to_networkx_key_comparison_that_changes_the_graph():
    pytest.importorskip("networkx")

    class Key:  # collides with "type" and changes the graph when compared
        def __init__(self, graph):
            self.graph = graph

        def __hash__(self):
            return hash("type")

        def __eq__(self, other):
            self.graph.add_node(Node(Variable(f"n{len(self.graph.nodes)}")))
            return False

    g = Graph()
    g.add_node(Node(A, {Key(g): 1}))
    g.add_node(Node(B))
    with pytest.raises(RuntimeError, match="dictionary changed size during iteration"):
        g.to_networkx()


@pytest.mark.parametrize("enabled", [True, False])
def test_from_json_leaves_the_collector_as_it_was(enabled):
    import gc

    was = gc.isenabled()
    try:
        (gc.enable if enabled else gc.disable)()
        Graph.from_json(EMPTY)
        with pytest.raises(ValueError):
            Graph.from_json("{")
        assert gc.isenabled() is enabled
    finally:
        (gc.enable if was else gc.disable)()
