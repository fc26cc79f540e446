"""Query builders (signatures, argument conversion, selection, copies) and the
executor as seen from Python: matches, creates, merges, set, delete, and the
rows, counts and copies that the terminal methods return."""

import importlib.util

import pytest
from hypothesis import given, settings, strategies as st

from voralix import Application as App, Edge, Graph, Node, Query, Term, TypeSchema, Variable as V

A, B, C = V("A"), V("B"), V("C")
T_AB = Term("f", App(A, B))


def make_graph(*types, edges=()):
    """Nodes of the given types (property t: the type's text) and edges given as
    (term name, start index, end index); a term named ab... has type A -> B."""
    g, nodes = Graph(), []
    for t in types:
        n = Node(V(t) if isinstance(t, str) else t, {"t": str(t)})
        g.nodes[n.uid()] = n
        nodes.append(n)
    for name, s, e in edges:
        edge = Edge(Term(name, App(A, B) if name.startswith("ab") else A), nodes[s], nodes[e])
        g.edges[edge.uid()] = edge
    return g, nodes


def ids(rows):  # what identifies a bound graph element: its kind and uid
    return [{k: (type(x).__name__, x.uid()) for k, x in row.items()} for row in rows]


def nid(n):
    return ("Node", n.uid())


# --- builders -----------------------------------------------------------------

KW = "pattern=None, *, node=None, edge=None, "
SIGNATURES = {
    "match": KW + "start=None, end=None, type=..., type_schema=None, term=None, "
                  "term_type_schema=None, properties=None",
    "merge": KW + "type=..., type_schema=None, term=None, term_type_schema=None, start=None, "
                  "end=None, properties=None",
    "create": KW + "type=..., term=None, start=None, end=None, properties=None",
    "where": "condition", "set": "variable, properties", "delete": "*variables, detach=False",
    "with_": "*variables", "order_by": "variable, key, ascending=True", "skip": "count",
    "limit": "count", "execute": "", "return_": "*variables", "return_distinct": "*variables",
    "return_count": "",
}


@pytest.mark.parametrize("name", SIGNATURES)
def test_text_signatures(name):
    params = SIGNATURES[name]
    assert getattr(Query, name).__text_signature__ == "($self" + (", " if params else "") + params + ")"


CONV = "'int' object cannot be converted to 'PyString'"
NEED = "Invalid query: Variable name required"
NOT_STR = "Invalid query: Expected string variable name (variable extraction)"

BAD_ARGS = [
    # conversion in signature order (pattern, node, edge, properties), then the
    # pattern (type or term, then property keys), then start, then end
    (lambda q: q.match(1, node=2, properties=3), TypeError, "argument 'pattern': " + CONV),
    (lambda q: q.merge(node=2, edge=3), TypeError, "argument 'node': " + CONV),
    (lambda q: q.return_distinct("p", 2), TypeError, "argument 'variables': " + CONV),  # runs nothing
    (lambda q: q.match(node="n", type=42, properties=[]), TypeError, "argument 'properties': 'list'"),
    (lambda q: q.merge(node="n", type=42, properties={1: 1}), TypeError, "Expected Variable or Appl"),
    (lambda q: q.match(node="n", properties={1: 1}), TypeError, CONV),
    (lambda q: q.create(edge="e", term=A), TypeError, "'Variable' object cannot be converted to 'Term'"),
    (lambda q: q.merge(edge="e", term=T_AB, properties={2: 0}, start=5), TypeError, CONV),
    (lambda q: q.create(edge="e", term=T_AB), ValueError, NEED),
    (lambda q: q.create(edge="e", start=None, end=5), ValueError, NEED),
    (lambda q: q.merge(edge="e", start=Node(A), end=None), ValueError, NOT_STR),
    (lambda q: q.match("(a)-[e]->"), ValueError, "Invalid pattern '(a)-[e]->': Pattern cannot end with"),
    (lambda q: q.where(1), TypeError, "argument 'condition': " + CONV),
    (lambda q: q.set("n", [1]), TypeError, "argument 'properties': 'list' object"),
    (lambda q: q.delete("a", 1), TypeError, "argument 'variables': " + CONV),
    (lambda q: q.with_(["a"]), TypeError, "argument 'variables': 'list' object cannot be converted"),
    (lambda q: q.delete(detach=0), TypeError, "argument 'detach': 'int' object cannot be converted to"),
    (lambda q: q.order_by("n", "k", ascending=1), TypeError, "argument 'ascending'"),
    (lambda q: q.skip(-1), OverflowError, ""),
    (lambda q: q.limit(2**64), OverflowError, ""),
    (lambda q: q.limit("3"), TypeError, "argument 'count'"),
]


@pytest.mark.parametrize("call, exc, message", BAD_ARGS)
def test_failed_builder_appends_nothing(call, exc, message):
    g = Graph()
    q = g.query().create(node="p", type=A)
    with pytest.raises(exc) as info:
        call(q)
    assert type(info.value) is exc and str(info.value).startswith(message) and g.nodes == {}
    assert ids(q.return_("p", "n", "e")) == [{"p": nid(Node(A))}] and len(g.nodes) == 1


def test_numpy_bool_accepted():
    if importlib.util.find_spec("numpy") is None:
        pytest.skip("numpy is not installed")
    import numpy
    g, _ = make_graph("A")
    yes, no = numpy.bool_(True), numpy.bool_(False)
    g.query().match("(n)").order_by("n", "k", no).delete("n", detach=yes).execute()
    assert g.nodes == {}


def test_edge_match_ignores_unencodable_start():
    assert type(Graph().query().match(edge="e", start="\ud800")) is Query


def test_selection_rules():
    g, (na, nb) = make_graph("A", "B", edges=[("f", 0, 1)])
    q = g.query()
    assert q.match().return_count() == 0
    assert ids(q.match("(n:A)", node="m").return_("n", "m")) == [{"n": nid(na)}]  # pattern first
    assert ids(g.query().match(node="n", edge="e", type=B).return_("n", "e")) == [{"n": nid(nb)}]
    assert len(g.query().match(node="n", type_schema=5).return_("n")) == 2  # no schema
    assert g.query().match(edge="e", start=Node(A), end="m", type=42).return_count() == 0  # no binding
    assert len(g.query().match(node="n", term=42, term_type_schema=1, start=1).return_("n")) == 2
    q.skip(0).limit(2**64 - 1).delete(detach=True).with_().set("n", type("D", (dict,), {})())  # accepted
    assert g.query().merge("((( not parsed").merge("(x:C)").return_count() == 0 and len(g.nodes) == 2
    assert ids(g.query().create("(x:C)", node="y", type=A).return_("x", "y")) == [{"x": nid(Node(C))}]
    assert g.query().create(edge="e", term=T_AB, start="x", end="y").return_count() == 0
    assert len(g.nodes) == 3 and len(g.edges) == 1


def test_builders_return_independent_copies():
    g = Graph()
    q = g.query()
    q2 = q.match(node="n", type=A)
    q2.create(node="n", type=A)  # appended to q2 (and the copy) only
    assert q.return_("n") == [] and g.nodes == {}
    assert ids(q2.return_("n")) == [{"n": nid(Node(A))}]
    assert ids(q.return_("n")) == [{"n": nid(Node(A))}]
    # bindings are copied too: a typed merge appends one entry per run
    m = g.query().merge(node="m", type=B)
    assert [m.return_count(), m.return_count()] == [1, 2]
    m2 = m.where("copy")
    assert [m2.return_count(), m.return_count(), m2.return_count()] == [3, 3, 4]
    e = m.execute()
    assert type(e) is Query and e is not m
    assert [m.return_count(), e.return_count()] == [5, 5]


# --- match ----------------------------------------------------------------------

@pytest.mark.parametrize("kwargs, expected", [
    ({}, ["B", "A", "(A -> B)", "(B -> A)"]),
    ({"type": A}, ["A"]),
    ({"type": App(A, B)}, ["(A -> B)"]),
    ({"type_schema": "$* -> *$"}, ["(A -> B)", "(B -> A)"]),
    ({"type_schema": TypeSchema("B")}, ["B"]),
    ({"type": A, "type_schema": "$B$"}, []),
    ({"properties": {"t": "A"}}, ["A"]),
    ({"properties": {"t": "A", "u": 1}}, []),
    ({"type": C}, []),
])
def test_node_match(kwargs, expected):
    g, _ = make_graph("B", "A", App(A, B), App(B, A))
    q = g.query().match(node="n", **kwargs)
    assert [str(r["n"].type) for r in q.return_("n")] == expected
    if not kwargs:  # rerun after a node was added: the longer list replaces the old one
        g.nodes[Node(C).uid()] = Node(C)
        assert len(q.return_("n")) == 5


def test_binding_rule_and_python_equality():
    g, nodes = make_graph("A", "B", "C")
    nodes[0].properties["age"] = 30
    assert len(g.query().match(node="n", properties={"age": 30.0}).return_("n")) == 1
    q = g.query().match("(n)").match(node="m", type=V("Z"))
    assert q.return_count() == 3 and q.return_("m") == []  # an empty list is bound
    assert g.query().match("(n)").match(node="n", properties={"age": 31}).return_count() == 0
    q = g.query().match("(n:B)").match("()").match("(:A)")  # no variable: bindings untouched
    assert ids(q.return_("n")) == [{"n": nid(nodes[1])}]


def test_path_match():
    g, (na, nb, nc) = make_graph("A", "B", "C", edges=[("g", 1, 2), ("f", 0, 1), ("h", 2, 2)])
    rows = g.query().match("(n)-[e]->(m)").return_("n", "e", "m")
    edges = g.edges.values()
    assert ids(rows) == [{"n": nid(x.start), "e": ("Edge", x.uid()), "m": nid(x.end)} for x in edges]
    # the arrow's direction is not consulted
    assert ids(g.query().match("(m)<-[e]-(n:B)").return_("m", "n")) == [{"m": nid(na), "n": nid(nb)}]
    # the same variable at both ends ends bound to the end nodes
    assert ids(g.query().match("(n)-[e]->(n)").return_("n")) == [{"n": nid(x)} for x in (nc, nb, nc)]


@pytest.mark.parametrize("pattern, expected", [
    ("(x)-[e:A -> B]->(y)", ["ab"]), ("(x)-[e:A]->(y)", ["f"]), ("(x)-[e]->(y)", ["f", "ab"]),
    ("(x)-[e:*]->(y:A)", ["ab"]), ("(a)-[e]->(b)-[r]->(c)", []), ("(a)(b)", []), ("(a)-[e]->(b)(c)", []),
])
def test_path_match_term_schema_and_shapes(pattern, expected):
    g, _ = make_graph("A", "B", edges=[("f", 0, 1), ("ab", 1, 0)])
    q = g.query().match(pattern)
    assert [r["e"].term.name for r in q.return_("e")] == expected
    assert q.return_count() == len(expected)


def test_non_graph_values_fail_with_conversion_error():
    g, _ = make_graph("A", edges=[("f", 0, 0)])
    g.nodes["x"] = 5
    for q in (g.query().match("(n)"), g.query().match(node="n", type=B),
              g.query().merge(node="n", type=C)):
        with pytest.raises(TypeError, match=r"^'int' object cannot be converted to 'Node'$"):
            q.return_count()
    del g.nodes["x"]
    g.nodes[7] = Node(B)
    with pytest.raises(TypeError, match=r"^'int' object cannot be converted to 'PyString'$"):
        g.query().match(node="n", type=A).return_count()
    del g.nodes[7]
    g.edges["y"] = Node(A)
    with pytest.raises(TypeError, match=r"^'Node' object cannot be converted to 'Edge'$"):
        g.query().match("(a)-[e]->(b)").return_count()


# --- create and merge -------------------------------------------------------------

def test_create_node_replaces_same_type_in_place():
    g, (nb,) = make_graph("B")
    person = Node(V("Person")).uid()
    q = g.query().create(node="p", type=V("Person"), properties={"name": "Alice"})
    rows = q.return_("p")
    assert list(g.nodes) == [nb.uid(), person] and ids(rows) == [{"p": ("Node", person)}]
    assert rows[0]["p"].properties is g.nodes[person].properties == {"name": "Alice"}
    first = g.nodes[person]
    q.create(node="p", type=V("Person"), properties={"name": "Bob"}).create(node="z", type=B).execute()
    assert list(g.nodes) == [nb.uid(), person]
    assert g.nodes[person] is not first and g.nodes[person].properties == {"name": "Bob"}
    assert g.nodes[nb.uid()].properties == {}


@pytest.mark.parametrize("pattern, expected", [
    ("(p:Person)", V("Person")), ("(p:$ Person $)", V(" Person ")), ("(p: $Person$ )", V("Person")),
    ("(p:A -> B)", App(A, B)), ("(p:(A -> B) -> C)", App(App(A, B), C)),
    ("(p:A -> B -> C)", App(A, App(B, C))), ("(p:$ (A->B) -> (C) $)", App(App(A, B), C)),
    ("(p:A -> B {k: 1})", App(A, B)),
    *[(p, None) for p in ("(p:*)", "(p:$*$)", "(p:$(x:A)$)", "(p:A:B)", "(p:A -> )", "(p:(A -> B) C)",
                          "(p:())", "(p:$A)", "(p)", "(p:)")],
])
def test_create_from_schema(pattern, expected):
    g = Graph()
    rows = g.query().create(pattern).return_("p")
    assert [n.type for n in g.nodes.values()] == ([expected] if expected else [])
    assert [r["p"].type for r in rows] == ([expected] if expected else [])


names = st.text("ABCXYZabcxyz019", min_size=1, max_size=3)
types = st.recursive(names.map(V), lambda s: st.builds(App, s, s), max_leaves=8)


@settings(max_examples=150, deadline=None)
@given(types)
def test_create_from_type_text(t):
    g = Graph()
    for text in ("(x:" + str(t) + ")", "(x:$" + str(t) + "$)"):
        assert g.query().create(text).return_("x")[0]["x"].type == t
        assert list(g.nodes) == [Node(t).uid()]


def test_path_create():
    g = Graph()
    rows = g.query().create("(a:A)-[e:f]->(x)<-[r]-(b:B)-[s]->(c:C)").return_("a", "b", "c", "x")
    assert [str(n.type) for n in g.nodes.values()] == ["A", "B", "C"] and g.edges == {}
    assert ids(rows) == [{"a": nid(Node(A)), "b": nid(Node(B)), "c": nid(Node(C))}]
    assert ids(Graph().query().create("(a:A)-[e]->(a:B)").return_("a")) == [{"a": nid(Node(B))}]


def test_merge_node():
    g = Graph()
    q = g.query().merge(node="n", type=A, properties={"k": 1})
    assert ids(q.return_("n")) == [{"n": nid(Node(A))}]
    assert ids(q.return_("n")) == [{"n": nid(Node(A))}] * 2  # found and appended
    g.nodes[Node(A).uid()].properties["k"] = 2  # differs: a new node replaces it
    assert q.return_count() == 1 and g.nodes[Node(A).uid()].properties == {"k": 1}
    g, (na, nb) = make_graph("A", "B")  # untyped: the first match, never a new node
    assert g.query().merge(node="n", type_schema="$C$").return_count() == 0 and len(g.nodes) == 2
    assert ids(g.query().merge(node="n", type_schema="$*$").return_("n")) == [{"n": nid(na)}]


def test_merge_edge_binds_first_edge_between_first_nodes():
    g, (na, nb) = make_graph("A", "B", edges=[("g", 1, 0), ("f", 0, 1), ("h", 0, 1)])
    first = ("Edge", list(g.edges.values())[1].uid())
    q = g.query().match("(a)").match(node="b", type=B).merge(edge="e", start="a", end="b")
    assert ids(q.return_("e")) == [{"e": first}]
    assert ids(q.return_("e")) == [{"e": first}] * 2
    assert g.query().match("(a)").merge(edge="e", start="a", end="a").return_("e") == []
    assert len(g.edges) == 3


@pytest.mark.parametrize("setup", [
    lambda q: q.match(node="b", type=B),                            # start unbound
    lambda q: q.match(node="a", type=C).match(node="b", type=B),    # start empty
    lambda q: q.match("(x)-[a]->(y)").match(node="b", type=B),      # start bound to edges
    lambda q: q.match(node="a", type=A).match("(x)-[b]->(y)"),      # end bound to edges
])
def test_merge_edge_without_start_or_end_node(setup):
    g, _ = make_graph("A", "B", edges=[("f", 0, 1)])
    assert setup(g.query()).merge(edge="e", start="a", end="b").return_("e") == []


# --- set and delete ----------------------------------------------------------------

def test_set():
    g, _ = make_graph("A", "B", edges=[("f", 0, 1)])
    changes = {"t": "new", "k": 1}
    q = g.query().match("(n)").match("(x)-[e]->(y)").set("n", changes).set("e", {"x": 1}).set("z", {})
    changes["late"] = True  # held by reference
    q.execute()
    assert [n.properties for n in g.nodes.values()] == [{"t": "new", "k": 1, "late": True}] * 2
    assert list(g.edges.values())[0].properties == {}


def test_delete():
    g, (na, nb, nc) = make_graph("A", "B", "C", edges=[("f", 0, 1), ("g", 1, 2), ("h", 2, 2)])
    q = g.query().match(node="a", type=A).delete("a", "unbound").delete("a")
    assert ids(q.return_("a")) == [{"a": nid(na)}]  # still bound and returned
    assert list(g.nodes) == [nb.uid(), nc.uid()] and len(g.edges) == 3
    g.query().match("(x)-[e:A]->(y:C)").delete("e").execute()
    assert [e.term.name for e in g.edges.values()] == ["f"]
    g, (na, nb, nc) = make_graph("A", "B", "C", edges=[("f", 0, 1), ("g", 1, 2), ("h", 2, 0)])
    g.query().match(node="c", type=C).delete("c", detach=True).execute()
    assert list(g.nodes) == [na.uid(), nb.uid()] and [e.term.name for e in g.edges.values()] == ["f"]


# --- terminal methods ----------------------------------------------------------------

def test_rows_by_index():
    assert Graph().query().return_() == [] and Graph().query().return_count() == 0
    g, (na, nb, nc) = make_graph("A", "B", "C", edges=[("f", 0, 1), ("g", 1, 2)])
    q = g.query().match("(n)").match("(a)-[e]->(b)")
    assert ids(q.return_("a")) == [{"a": nid(na)}, {"a": nid(nb)}]
    assert ids(q.return_("n", "a")) == [{"n": nid(na), "a": nid(na)}, {"n": nid(nb), "a": nid(nb)},
                                        {"n": nid(nc)}]
    assert ids(q.return_("n", "n")) == [{"n": nid(n)} for n in (na, nb, nc)]
    assert q.return_count() == 3 and q.return_() == [] and q.return_("x") == []
    assert ids(q.return_("x", "b")) == [{"b": nid(nb)}, {"b": nid(nc)}]  # empty rows dropped
    noisy = q.where("n.x > 1").order_by("n", "x", ascending=False).skip(1).limit(1).with_("n")
    assert ids(noisy.return_("n", "e", "b")) == ids(q.return_("n", "e", "b"))
    r1, r2 = q.return_("a", "e"), q.return_("a", "e")  # new objects sharing the property dicts
    assert ids(r1) == ids(r2) and r1[0]["a"] is not r2[0]["a"] and r1[0]["a"] is not na
    assert r1[0]["a"].properties is na.properties
    assert r1[0]["e"].properties is next(iter(g.edges.values())).properties


def test_return_distinct():
    g, (na, nb, nc) = make_graph("A", "B", "C", edges=[("f", 0, 2), ("g", 1, 2), ("h", 0, 1)])
    q = g.query().match("(a)-[e]->(c)")
    assert ids(q.return_distinct("c")) == [{"c": nid(nc)}, {"c": nid(nb)}]
    assert ids(q.return_distinct("a")) == [{"a": nid(na)}, {"a": nid(nb)}]
    assert len(q.return_distinct("a", "c")) == 3 and q.return_distinct() == []
    q = g.query().merge(node="n", type=A).match(node="m", type=B)
    q.execute()
    both = [{"n": nid(na), "m": nid(nb)}, {"n": nid(na)}]
    assert ids(q.return_("n", "m")) == both
    assert ids(q.return_distinct("n", "m")) == both  # rows binding other names are kept
    assert ids(q.return_distinct("n")) == [{"n": nid(na)}]
