"""Query builders (argument conversion, selection, copies) and the executor as
seen from Python: matches, creates, merges, set, delete, and the rows, counts
and copies that the terminal methods return; then a small pure-Python model of
the executor (node and one-edge path matches, creates, merges, set, delete,
rows by index) and differential runs of generated queries over small random
graphs against it."""

import hashlib

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
    # NumPy is no dependency: its bool scalar is recognised by type name and read by truth.
    yes, no = (type(name, (), {"__bool__": lambda self, v=v: v})()
               for name, v in (("numpy.bool", True), ("numpy.bool_", False)))
    g, _ = make_graph("A", "B", edges=[("f", 0, 1)])
    g.query().match(node="n", type=B).order_by("n", "k", no).delete("n", detach=no).execute()
    assert len(g.nodes) == 1 and len(g.edges) == 1
    g.query().match(node="n", type=A).delete("n", detach=yes).execute()
    assert g.nodes == {} and g.edges == {}


def test_selection_rules():
    g, (na, nb) = make_graph("A", "B", edges=[("f", 0, 1)])
    q = g.query()
    assert q.match().return_count() == 0
    assert ids(q.match("(n:A)", node="m").return_("n", "m")) == [{"n": nid(na)}]  # pattern first
    assert ids(g.query().match(node="n", edge="e", type=B).return_("n", "e")) == [{"n": nid(nb)}]
    assert len(g.query().match(node="n", type_schema=5).return_("n")) == 2  # no schema
    # an edge match binds the edge and its named ends; a Node object names nothing
    assert ids(g.query().match(edge="e", start=Node(A), end="m", type=42).return_("e", "m")) == [
        {"e": ("Edge", next(iter(g.edges.values())).uid()), "m": nid(nb)}]
    assert len(g.query().match(node="n", term=42, term_type_schema=1, start=1).return_("n")) == 2
    q.skip(0).limit(2**64 - 1).delete(detach=True).with_().set("n", type("D", (dict,), {})())  # accepted
    assert type(q.match(edge="e", start="\ud800")) is Query  # an unencodable start names nothing
    assert g.query().merge("((( not parsed").merge("(x:C)").return_count() == 0 and len(g.nodes) == 2
    assert ids(g.query().create("(x:C)", node="y", type=A).return_("x", "y")) == [{"x": nid(Node(C))}]
    with pytest.raises(ValueError, match=r"^Invalid query: Variable 'x' is not bound to a node \(create\)$"):
        g.query().create(edge="e", term=T_AB, start="x", end="y").return_count()
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
    m2 = m.where("")
    assert [m2.return_count(), m.return_count(), m2.return_count()] == [3, 3, 4]
    e = m.execute()
    assert type(e) is Query and e is not m
    assert [m.return_count(), e.return_count()] == [5, 5]


# --- match ----------------------------------------------------------------------

def test_binding_rule():
    g, nodes = make_graph("A", "B", "C")
    nodes[0].properties["age"] = 30
    q = g.query().match("(n)").match(node="m", type=V("Z"))
    assert q.return_count() == 3 and q.return_("m") == []  # an empty list is bound
    g.nodes[Node(V("D")).uid()] = Node(V("D"))
    assert q.return_count() == 4  # the rerun's longer list replaced the old one
    assert g.query().match("(n)").match(node="n", properties={"age": 31}).return_count() == 0
    q = g.query().match("(n:B)").match("()").match("(:A)")  # no variable: bindings untouched
    assert ids(q.return_("n")) == [{"n": nid(nodes[1])}]


def test_path_match():
    g, (na, nb, nc) = make_graph("A", "B", "C", edges=[("g", 1, 2), ("f", 0, 1), ("h", 2, 2)])
    rows = g.query().match("(n)-[e]->(m)").return_("n", "e", "m")
    edges = g.edges.values()
    assert ids(rows) == [{"n": nid(x.start), "e": ("Edge", x.uid()), "m": nid(x.end)} for x in edges]
    # a backward arrow tests the edge's end against the left pattern
    assert ids(g.query().match("(m)<-[e]-(n:B)").return_("m", "n")) == [{"m": nid(nc), "n": nid(nb)}]
    # the same variable at both ends ends bound to the end nodes
    assert ids(g.query().match("(n)-[e]->(n)").return_("n")) == [{"n": nid(x)} for x in (nc, nb, nc)]


@pytest.mark.parametrize("pattern, expected", [
    ("(x)-[e:A -> B]->(y)", ["ab"]), ("(x)-[e:A]->(y)", ["f"]), ("(x)-[e]->(y)", ["f", "ab"]),
    ("(x)-[e:*]->(y:A)", ["ab"]), ("(a)-[e]->(b)-[r]->(c)", ["f", "ab"]), ("(a)(b)", ValueError),
    ("(a)-[e]->(b)(c)", ValueError),
])
def test_path_match_term_schema_and_shapes(pattern, expected):
    g, _ = make_graph("A", "B", edges=[("f", 0, 1), ("ab", 1, 0)])
    q = g.query().match(pattern)
    if expected is ValueError:
        with pytest.raises(ValueError, match=r"^Invalid query: Path pattern must alternate nodes and "
                                             r"edges \(match\)$"):
            q.return_count()
        return
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
    q = g.query().create("(a:A)-[e:f]->(x)<-[r]-(b:B)-[s]->(c:C)")
    with pytest.raises(ValueError, match=r"^Invalid query: Variable 'x' is not bound to a node \(create\)$"):
        q.execute()
    assert [str(n.type) for n in g.nodes.values()] == ["A", "B", "C"] and g.edges == {}
    g = Graph()
    rows = g.query().create("(a:A)-[e]->(a:B)").return_("a", "e")
    assert ids(rows) == [{"a": nid(Node(B)), "e": ("Edge", Edge(Term("e", App(A, B)), Node(A), Node(B)).uid())}]
    assert [str(e) for e in g.edges.values()] == ["Edge(e: A -> B)"]


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
    for setup in (lambda q: q.match(node="b", type=B),  # start unbound
                  lambda q: q.match(node="a", type=C).match(node="b", type=B),  # start empty
                  lambda q: q.match("(x)-[a]->(y)").match(node="b", type=B),  # start bound to edges
                  lambda q: q.match(node="a", type=A).match("(x)-[b]->(y)")):  # end bound to edges
        assert setup(g.query()).merge(edge="e", start="a", end="b").return_("e") == []
    assert len(g.edges) == 3


# --- set and delete ----------------------------------------------------------------

def test_set():
    g, _ = make_graph("A", "B", edges=[("f", 0, 1)])
    changes = {"t": "new", "k": 1}
    q = g.query().match("(n)").match("(x)-[e]->(y)").set("n", changes).set("e", {"x": 1}).set("z", {})
    changes["late"] = True  # held by reference
    q.execute()
    assert [n.properties for n in g.nodes.values()] == [{"t": "new", "k": 1, "late": True}] * 2
    assert list(g.edges.values())[0].properties == {"x": 1}


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
    r1, r2 = q.return_("a", "e"), q.return_("a", "e")  # new objects sharing the property dicts
    assert ids(r1) == ids(r2) and r1[0]["a"] is not r2[0]["a"] and r1[0]["a"] is not na
    assert r1[0]["a"].properties is na.properties
    assert r1[0]["e"].properties is next(iter(g.edges.values())).properties
    # row operations act on these rows: skip / limit where they stand, with_ keeps columns
    assert ids(q.skip(1).limit(1).return_("n", "a")) == [{"n": nid(nb), "a": nid(nb)}]
    assert ids(g.query().match("(n)").match("(a)-[e]->(b)").with_("n").return_("n", "a")) == [
        {"n": nid(n)} for n in (na, nb, nc)]


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


# --- differential runs against a model of the executor ----------------------------

TYPES = {"A": ("var", "A"), "B": ("var", "B"), "C": ("var", "C")}
TYPES["A -> B"] = ("app", TYPES["A"], TYPES["B"])
TERMS = [("f", TYPES["A"]), ("g", TYPES["A"]), ("h", TYPES["A -> B"]), ("k", TYPES["A -> B"])]
SCHEMAS = ["*", "A", "B", "C", "A -> B", "* -> *"]
VARS = ["n", "m", "e"]


def sha(text):
    return hashlib.sha256(text.encode()).hexdigest()


def type_uid(t):
    return sha("var:" + t[1] if t[0] == "var" else "app:" + type_uid(t[1]) + ":" + type_uid(t[2]))


def build_type(t):
    return V(t[1]) if t[0] == "var" else App(build_type(t[1]), build_type(t[2]))


def schema_accepts(text, t):
    """The schema texts above, read as the matcher reads "$" + text + "$"."""
    def side(s, x):
        return s == "*" or x == ("var", s)
    if "->" in text:
        left, right = (s.strip() for s in text.split("->"))
        return t[0] == "app" and side(left, t[1]) and side(right, t[2])
    return side(text, t)


class Rec:
    """A node record (kind "Node": type, props) or an edge record (kind "Edge":
    term name and type, start and end records, props). Copies of a record in
    the extension share its property dict: here they are the same object."""

    def __init__(self, kind, t, props, name=None, start=None, end=None):
        self.kind, self.type, self.props = kind, t, props
        self.name, self.start, self.end = name, start, end

    def uid(self):
        if self.kind == "Node":
            return sha("node:" + type_uid(self.type))
        return sha("edge:" + sha("term:" + self.name + ":" + type_uid(self.type)))


class Model:
    def __init__(self, layout):
        types, props, edges = layout
        made = [Rec("Node", TYPES[t], dict(p)) for t, p in zip(types, props)]
        self.nodes = {n.uid(): n for n in made}
        self.edges, self.bound = {}, {}
        for term, s, e in edges:
            edge = Rec("Edge", TERMS[term][1], {}, TERMS[term][0], made[s], made[e])
            self.edges[edge.uid()] = edge

    def run(self, ops):
        for op in ops:
            getattr(self, op[0])(*op[1:])

    @staticmethod
    def accepts(p, n):
        var, t, schema, props = p
        return ((t is None or n.type == TYPES[t]) and (schema is None or schema_accepts(schema, n.type))
                and all(k in n.props and n.props[k] == v for k, v in (props or {}).items()))

    def bind(self, var, values):
        if var is not None:
            self.bound[var] = values

    def found(self, p):
        return [n for n in self.nodes.values() if self.accepts(p, n)]

    def create_node(self, p):  # always typed here: schema-named types are checked elsewhere
        if p[1] is not None:
            n = Rec("Node", TYPES[p[1]], dict(p[3] or {}))
            self.nodes[n.uid()] = n
            self.bind(p[0], [n])

    def match_node(self, p):
        self.bind(p[0], self.found(p))

    def match_path(self, n0, edge, n1):
        p0, p1 = (n0[0], None, n0[1], None), (n1[0], None, n1[1], None)
        if edge is None:
            return self.match_node(p0)
        hits = [e for e in self.edges.values() if (edge[1] is None or schema_accepts(edge[1], e.type))
                and self.accepts(p0, e.start) and self.accepts(p1, e.end)]
        self.bind(n0[0], [e.start for e in hits])
        self.bind(edge[0], hits)
        self.bind(n1[0], [e.end for e in hits])

    def merge_node(self, p):
        hits = self.found(p)
        if hits:
            self.bound.setdefault(p[0], []).append(hits[0])
        elif p[1] is not None:
            self.create_node(p)

    def merge_edge(self, var, start, end):
        s, t = self.bound.get(start), self.bound.get(end)
        if s and t and s[0].kind == t[0].kind == "Node":
            ends = (s[0].type, t[0].type)
            hits = [e for e in self.edges.values() if (e.start.type, e.end.type) == ends]
            if hits:
                self.bound.setdefault(var, []).append(hits[0])

    def set(self, var, props):
        for value in self.bound.get(var, []):
            value.props.update(props)

    def delete(self, names, detach):
        values = [v for name in names for v in self.bound.get(name, [])]
        for v in values:
            (self.nodes if v.kind == "Node" else self.edges).pop(v.uid(), None)
        gone = {v.type for v in values if v.kind == "Node"}
        if detach:
            self.edges = {k: e for k, e in self.edges.items()
                          if e.start.type not in gone and e.end.type not in gone}

    def rows(self, names, distinct=False):
        rows = []
        for i in range(max(map(len, self.bound.values()), default=0)):
            row = {k: (self.bound[k][i].kind, self.bound[k][i].uid()) for k in names
                   if i < len(self.bound.get(k, ()))}
            if row and not (distinct and row in rows):
                rows.append(row)
        return rows

    def state(self):
        return ([(k, n.type, n.props) for k, n in self.nodes.items()],
                [(k, e.name, e.start.uid(), e.end.uid(), e.props) for k, e in self.edges.items()])


def build_graph(layout):
    types, props, edges = layout
    g, made = Graph(), [Node(build_type(TYPES[t]), dict(p)) for t, p in zip(types, props)]
    for n in made:
        g.nodes[n.uid()] = n
    for term, s, e in edges:
        edge = Edge(Term(TERMS[term][0], build_type(TERMS[term][1])), made[s], made[e])
        g.edges[edge.uid()] = edge
    return g


def graph_state(g):
    types = {build_type(t): t for t in TYPES.values()}
    return ([(k, types.get(n.type), n.properties) for k, n in g.nodes.items()],
            [(k, e.term.name, e.start.uid(), e.end.uid(), e.properties) for k, e in g.edges.items()])


def text(var, schema):
    return "(" + (var or "") + (":" + schema if schema else "") + ")"


def build_op(q, op):
    kind, *args = op
    if kind in ("match_node", "merge_node", "create_node"):
        var, t, schema, props = args[0]
        kw = dict(node=var, type=t and build_type(TYPES[t]), properties=props)
        if kind != "create_node":
            kw["type_schema"] = schema and "$" + schema + "$"
        return getattr(q, kind.split("_")[0])(**kw)
    if kind == "match_path":
        n0, edge, n1 = args
        return q.match(text(*n0) + ("-[" + text(*edge)[1:-1] + "]->" + text(*n1) if edge else ""))
    if kind == "merge_edge":
        return q.merge(edge=args[0], start=args[1], end=args[2])
    if kind == "set":
        return q.set(args[0], dict(args[1]))
    return q.delete(*args[0], detach=args[1])


props = st.dictionaries(st.sampled_from(["k", "j"]), st.integers(0, 1), max_size=2)
name = st.sampled_from(VARS)
type_key = st.sampled_from([None] * 4 + list(TYPES))  # mostly no constraint, so that matches find
schema = st.sampled_from([None] * 4 + SCHEMAS)


@st.composite
def graphs(draw):
    types = draw(st.lists(st.sampled_from(list(TYPES)), unique=True, min_size=1, max_size=4))
    index = st.integers(0, len(types) - 1)
    edges = st.lists(st.tuples(st.integers(0, len(TERMS) - 1), index, index), max_size=6)
    return types, [draw(props) for _ in types], draw(edges)


node_pattern = st.tuples(name, type_key, schema, st.none() | props)
path_node = st.tuples(st.none() | name, schema)
ops = st.one_of(
    st.tuples(st.sampled_from(["match_node", "merge_node"]), node_pattern),
    st.tuples(st.just("create_node"), st.tuples(name, type_key, st.none(), st.none() | props)),
    st.tuples(st.just("match_path"), path_node, st.none() | path_node, path_node),
    st.just(("match_path", ("n", None), ("e", None), ("m", None))),  # n and m joined by an edge
    st.tuples(st.just("merge_edge"), name, st.sampled_from("nm"), st.sampled_from("nm")),
    st.tuples(st.just("set"), name, props.map(lambda d: tuple(d.items()))),
    st.tuples(st.just("delete"), st.lists(name, max_size=2).map(tuple), st.booleans()),
)


@settings(max_examples=400, deadline=None)
@given(graphs(), st.lists(ops, min_size=1, max_size=8),
       st.lists(st.sampled_from([*VARS, "z"]), max_size=3))
def test_executor_matches_model(layout, queue, names):
    g, m = build_graph(layout), Model(layout)
    q = g.query()
    for op in queue:
        q = build_op(q, op)
    # three runs: bindings carry over, merges append, creates replace
    m.run(queue)
    assert ids(q.return_(*names)) == m.rows(names)
    m.run(queue)
    assert ids(q.return_distinct(*names)) == m.rows(names, distinct=True)
    m.run(queue)
    assert q.return_count() == max(map(len, m.bound.values()), default=0)
    assert graph_state(g) == m.state()
