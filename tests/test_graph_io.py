"""Graph helpers (add_node, add_edge, check), JSON documents, networkx and
display. Round trips run on generated graphs and compare uids, types, terms
and properties, end nodes of edges included."""

import json
import math

import pytest
from hypothesis import given, settings, strategies as st

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
