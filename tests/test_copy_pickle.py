"""copy.copy, copy.deepcopy and pickle for every class but Query: shallow
copies share property dicts, deep copies copy them (keeping what is shared
within one copy shared), pickles reload in a fresh interpreter."""

import copy
import pickle

import pytest
from hypothesis import given, settings

from graph_samples import any_property_dicts, assert_same_graph, graphs
import voralix
from voralix import (Application, Edge, EdgePattern, Graph, Node, NodePattern, PathPattern,
                     Term, TypeSchema, Variable)

A, B = Variable("A"), Variable("B")
AB = Application(A, B)
F = Term("f", AB)


def pickled(obj, protocol=pickle.HIGHEST_PROTOCOL):
    return pickle.loads(pickle.dumps(obj, protocol))


COPIERS = {"copy": copy.copy, "deepcopy": copy.deepcopy,
           **{f"pickle{p}": (lambda o, p=p: pickled(o, p)) for p in range(pickle.HIGHEST_PROTOCOL + 1)}}


def pattern_state(p):
    """What a pattern shows: its text form, hop bounds and the patterns inside."""
    if isinstance(p, PathPattern):
        return repr(p), [repr(n) for n in p.nodes], [pattern_state(e) for e in p.edges]
    if isinstance(p, EdgePattern):
        return repr(p), p.min_hops, p.max_hops
    return repr(p)


VALUES = [
    Variable("A"), Variable(""), Variable("\u00e9 \"q\" \U0001f600"), AB, Application(AB, AB),
    Term("f", AB), Term("", A), TypeSchema("$ (x:*) -> (y:*) $"), TypeSchema(""),
]
PATTERNS = [
    NodePattern(), NodePattern("n", A, "$A$", {"k": [1]}), NodePattern(type_schema=TypeSchema("$*$")),
    EdgePattern(), EdgePattern("e", F, "$A -> B$", {"w": 2}, "any"), EdgePattern(direction=""),
    PathPattern(), PathPattern("(a:Person)<-[r:knows]-(b)-[s]-(c)"),
    PathPattern("(a)-[e*2..5]->(b)<-[f*]-(c)-[g*0..]-(d)-[h:R*..3 {w: 1}]->(x)"),
    PathPattern("(a)-[e*18446744073709551615]->(b)").edges[0],
    PathPattern().add_node(NodePattern("x", properties={"p": (1,)})).add_edge(EdgePattern("y")),
]


@pytest.mark.parametrize("how", COPIERS)
@pytest.mark.parametrize("value", VALUES, ids=repr)
def test_values_copy_equal_and_separate(value, how):
    c = COPIERS[how](value)
    assert c is not value and type(c) is type(value)
    assert repr(c) == repr(value)
    if not isinstance(value, TypeSchema):
        assert c == value and hash(c) == hash(value) and c.uid() == value.uid()
    else:
        assert c.capture(AB) == value.capture(AB)
    if isinstance(value, (Variable, Term)):
        c.name = "renamed"
        assert value.name != "renamed"


@pytest.mark.parametrize("how", COPIERS)
@pytest.mark.parametrize("pattern", PATTERNS, ids=repr)
def test_patterns_copy(pattern, how):
    c = COPIERS[how](pattern)
    assert c is not pattern and type(c) is type(pattern)
    assert pattern_state(c) == pattern_state(pattern)


def test_pattern_values_shared_or_copied():
    value = [1]

    def held(pattern):  # the required values, as the pattern would pickle them
        return pattern.__reduce__()[1][3]["k"]

    for p in (NodePattern("n", properties={"k": value}), EdgePattern("e", properties={"k": value})):
        assert held(copy.copy(p)) is value
        deep = held(copy.deepcopy(p))
        assert deep == value and deep is not value
    path = PathPattern().add_node(NodePattern("n", properties={"k": value}))
    assert held(copy.copy(path).nodes[0]) is value
    assert held(copy.deepcopy(path).nodes[0]) is not value


def test_path_setstate_checks_state():
    p = PathPattern()
    for bad in [None, ([], ), ([NodePattern()], [NodePattern()]), ((), [])]:
        with pytest.raises(TypeError):
            p.__setstate__(bad)
    assert repr(p) == "PathPattern(0 nodes, 0 edges)"
    p.__setstate__(([NodePattern("a")], [EdgePattern("e")]))
    assert repr(p) == "PathPattern(1 nodes, 1 edges)"


def test_node_and_edge_copies():
    props, start_props = {"k": [1]}, {"s": 1}
    n = Node(A, props)
    e = Edge(F, Node(A, start_props), Node(B), {"w": [2]})
    shallow_n, deep_n = copy.copy(n), copy.deepcopy(n)
    assert shallow_n.properties is props and deep_n.properties == props
    assert deep_n.properties is not props and deep_n.properties["k"] is not props["k"]
    shallow_e, deep_e = copy.copy(e), copy.deepcopy(e)
    assert shallow_e.start.properties is start_props and shallow_e.properties is e.properties
    assert deep_e.start.properties == start_props and deep_e.start.properties is not start_props
    assert deep_e.properties == e.properties and deep_e.properties["w"] is not e.properties["w"]
    assert (deep_e.uid(), deep_e.term, deep_e.start.type) == (e.uid(), F, A)


def test_graph_shallow_copy_has_own_dicts():
    g = Graph()
    n = Node(A, {"k": 1})
    g.add_node(n)
    h = copy.copy(g)
    assert h.nodes is not g.nodes and h.nodes[n.uid()] is n
    h.add_node(Node(B))
    assert len(g.nodes) == 1


def test_graph_deepcopy_keeps_sharing_and_cycles():
    g = Graph()
    a = Node(A, {"tags": ["x"]})
    a.properties["self"] = a
    a.properties["graph"] = g
    a.properties["node dict"] = g.nodes
    g.add_node(a)
    uid = g.add_edge(Edge(F, a, Node(B, {"b": 1}), {"shared": a.properties["tags"]}))
    h = copy.deepcopy(g)
    ha, he = h.nodes[a.uid()], h.edges[uid]
    assert ha is not a and ha.properties is not a.properties
    assert ha.properties["self"] is ha and ha.properties["graph"] is h
    assert ha.properties["node dict"] is h.nodes
    assert he.start.properties is ha.properties
    assert he.end.properties is h.nodes[Node(B).uid()].properties
    assert he.properties["shared"] is ha.properties["tags"]
    ha.properties["tags"].append("y")
    assert a.properties["tags"] == ["x"]


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_graph_pickle_keeps_identity_and_cycles(protocol):
    g = Graph()
    a = Node(A, {"tags": ["x"]})
    a.properties["self"] = a
    a.properties["graph"] = g
    g.add_node(a)
    uid = g.add_edge(Edge(F, a, Node(B), {"shared": a.properties["tags"]}))
    h = pickled(g, protocol)
    ha, he = h.nodes[a.uid()], h.edges[uid]
    assert ha.properties["self"] is ha and ha.properties["graph"] is h
    assert he.start.properties is ha.properties and he.properties["shared"] is ha.properties["tags"]
    assert list(h.nodes) == list(g.nodes) and list(h.edges) == list(g.edges)


@settings(max_examples=60, deadline=None)
@given(graphs(values=any_property_dicts))
def test_generated_graphs_pickle_and_deepcopy(g):
    for h in (pickled(g), copy.deepcopy(g)):
        assert_same_graph(g, h)
    shallow = copy.copy(g)
    assert all(shallow.nodes[k] is v for k, v in g.nodes.items())


@pytest.mark.parametrize("state, exc", [
    (None, TypeError), ((1,), TypeError), ((1, 2, 3), TypeError), (("1", None), TypeError),
    ((-1, None), OverflowError), ((0, 2 ** 64), OverflowError),
])
def test_edge_pattern_setstate_checks_state(state, exc):
    e = EdgePattern("e")
    with pytest.raises(exc):
        e.__setstate__(state)
    assert (e.min_hops, e.max_hops) == (None, None)
    e.__setstate__((0, None))
    assert (e.min_hops, e.max_hops) == (0, None)


def test_graph_setstate_checks_state():
    g = Graph()
    for bad in [None, ({},), ({}, []), [{}, {}]]:
        with pytest.raises(TypeError, match="expected a tuple of two dicts"):
            g.__setstate__(bad)
    n = Node(A)
    g.__setstate__(({n.uid(): n}, {}))
    assert g.nodes == {n.uid(): n}


@pytest.mark.parametrize("how", ["copy", "deepcopy", "pickle"])
def test_query_refuses_copies(how):
    q = Graph().query().match("(n)")
    call = {"copy": copy.copy, "deepcopy": copy.deepcopy, "pickle": pickle.dumps}[how]
    with pytest.raises(TypeError) as info:
        call(q)
    assert str(info.value) == "cannot copy or pickle 'Query' objects"


def test_pickles_load_in_a_fresh_interpreter(run_snippet):
    g = Graph()
    a = Node(A, {"k": (1, {2})})
    g.add_node(a)
    g.add_edge(Edge(F, a, Node(B)))
    objects = [g, AB, F, TypeSchema("$A$"), NodePattern("n", A), EdgePattern("e", F),
               PathPattern("(a)-[e]->(b)")]
    data = pickle.dumps(objects)
    # The stream names the module, never a class by its builtins path.
    assert b"voralix" in data and b"cbuiltins\nVariable" not in data
    code = """
        import pickle, sys
        objs = pickle.loads(bytes.fromhex(sys.stdin.read()))
        print([repr(o) for o in objs])
        print(objs[0].nodes[next(iter(objs[0].nodes))].properties)
    """
    r = run_snippet(code, stdin=data.hex())
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [str([repr(o) for o in objects]), "{'k': (1, {2})}"]


def test_class_references_are_not_module_attributes():
    reference, args = Variable("A").__reduce__()
    assert args == ("A",) and reference("B") == Variable("B")
    assert reference.__reduce__()[0] is getattr
    assert not any(type(v) is type(reference) for v in vars(voralix).values())
    assert sorted(k for k in vars(voralix) if not k.startswith("__")) == sorted(voralix.__all__)
    with pytest.raises(TypeError):
        type(reference)()


def test_deep_types_copy_without_recursion():
    t = A
    for _ in range(100_000):
        t = Application(t, B)
    n = Node(t, {"k": 1})
    assert copy.deepcopy(n).type == t and copy.copy(t) == t
    with pytest.raises(RecursionError):  # pickle follows the nesting; to_json does not
        pickle.dumps(t)


LEAK_SETUP = r"""
import copy, pickle
from voralix import *
A, B = Variable("A"), Variable("B")
F = Term("f", Application(A, B))
props = {"k": [1, 2.5, "x"], "n": None}
g = Graph()
a = Node(A, props)
g.add_node(a)
e = Edge(F, a, Node(B), {"w": 1})
g.add_edge(e)
bad = Graph()
bad.nodes["x"] = 1
bad.edges["y"] = Edge(Term("t", A), a, Node(Variable("C")))
text = g.to_json()
unwritable = Graph()
unwritable.add_node(Node(A, {"t": (1,)}))
np, ep, pp = NodePattern("n", A, "$A$", {"k": [1]}), EdgePattern("e", F), PathPattern("(a)-[e]->(b)")
q = g.query()
watched = [A, F, props, g, g.nodes, a, e, text, np, pp]
"""

LEAK_GROUPS = {
    "add": "g.add_node(a); g.add_edge(e); g.add_node(1)",
    "check": "g.check(); bad.check()",
    "json": "g.to_json(); Graph.from_json(text); unwritable.to_json(); Graph.from_json(text[:-5]); "
            "Graph.from_json('{\"format\": 1}')",
    "copies": "copy.copy(g); copy.deepcopy(g); copy.copy(a); copy.deepcopy(e); copy.deepcopy(F); "
              "copy.copy(np); copy.deepcopy(pp); copy.deepcopy(ep)",
    "pickle": "pickle.loads(pickle.dumps(g)); pickle.loads(pickle.dumps([A, F, np, ep, pp])); "
              "pickle.dumps(q); copy.copy(q)",
    "display": "g.to_dot(); g._repr_html_(); bad._repr_html_(); bad.to_dot()",
    "networkx": "Graph.from_networkx(g.to_networkx()); Graph.from_networkx(1); bad.to_networkx()",
}


def test_new_methods_flat_memory(measure_memory):
    pytest.importorskip("networkx")
    results = measure_memory(LEAK_SETUP, LEAK_GROUPS, calls=20_000)
    for group, m in results.items():
        assert m["blocks"] < 1000 and m["refs"] < 100 and m["rss"] < 2 * 1024 * 1024, (group, m)
