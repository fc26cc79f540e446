"""The query language beyond single matches: direction, multi-hop paths, edge
narrowing and edge matches, row operations (skip, limit, with_), edge
creation, merges that create edges, path creation with edges, set and delete
on edges; then differential runs of generated queues against the reference
model in tests/models/query_model.py."""

import pytest
from hypothesis import given, settings, strategies as st

from models import query_model as qm
from voralix import Application as App, Edge, Graph, Node, Term, Variable as V

A, B, C, D = (V(x) for x in "ABCD")
R = V("R")


def chain(*links, types="ABCD"):
    """A graph with one node per type letter and edges given as "xy:name"
    (from the node of type x to the node of type y, a term of type R)."""
    g = Graph()
    nodes = {t: Node(V(t), {"name": t}) for t in types}
    for n in nodes.values():
        g.nodes[n.uid()] = n
    for link in links:
        ends, name = link.split(":")
        e = Edge(Term(name, R), nodes[ends[0]], nodes[ends[1]], {"w": len(g.edges)})
        g.edges[e.uid()] = e
    return g


def show(rows):
    """Rows as text: nodes by type, edges by term name, edge lists as lists."""
    def one(x):
        if isinstance(x, Node):
            return str(x.type)
        if isinstance(x, Edge):
            return x.term.name
        return [e.term.name for e in x]
    return [{k: one(v) for k, v in r.items()} for r in rows]


# --- direction, hops, narrowing ----------------------------------------------------

@pytest.mark.parametrize("pattern, expected", [
    ("(a)-[e]->(b)", [("A", "ab", "B"), ("B", "bc", "C"), ("C", "ca", "A"), ("D", "dd", "D")]),
    ("(a)<-[e]-(b)", [("B", "ab", "A"), ("C", "bc", "B"), ("A", "ca", "C"), ("D", "dd", "D")]),
    # forward before backward; a self-loop once
    ("(a)-[e]-(b)", [("A", "ab", "B"), ("B", "ab", "A"), ("B", "bc", "C"), ("C", "bc", "B"),
                     ("C", "ca", "A"), ("A", "ca", "C"), ("D", "dd", "D")]),
    ("(a:A)-[e]-(b)", [("A", "ab", "B"), ("A", "ca", "C")]),
    ("(a)-[e]-(b:A)", [("B", "ab", "A"), ("C", "ca", "A")]),
])
def test_direction(pattern, expected):
    g = chain("AB:ab", "BC:bc", "CA:ca", "DD:dd")
    rows = show(g.query().match(pattern).return_("a", "e", "b"))
    assert [(r["a"], r["e"], r["b"]) for r in rows] == expected


@pytest.mark.parametrize("pattern, expected", [
    # nested loops: first hop in edge order, the next hop from the reached node in edge order
    ("(a)-[e]->(b)-[f]->(c)", ["ab bc", "bc ca", "bc cb", "ca ab", "cb bc"]),
    ("(a:A)-[e]->(b)-[f]->(c)-[g]->(d)", ["ab bc ca", "ab bc cb"]),
    # no edge twice in one path: ab cannot come back as f
    ("(a)-[e]->(b)<-[f]-(c)", ["ab cb", "cb ab"]),
    ("(a)-[e]-(b)-[f]-(c:A)", ["bc ca", "bc ab", "cb ab", "cb ca"]),
])
def test_multi_hop(pattern, expected):
    g = chain("AB:ab", "BC:bc", "CA:ca", "CB:cb")
    edges = [v for v in "efg" if f"[{v}]" in pattern]
    rows = show(g.query().match(pattern).return_(*edges))
    assert [" ".join(r[v] for v in edges) for r in rows] == expected


def test_repeated_variable_does_not_join():
    g = chain("AB:ab", "BA:ba", "BC:bc")
    # the later position's cells win: a is bound to the third node of each path
    rows = show(g.query().match("(a)-[e]->(b)-[f]->(a)").return_("a", "e", "f"))
    assert rows == [{"a": "A", "e": "ab", "f": "ba"}, {"a": "C", "e": "ab", "f": "bc"},
                    {"a": "B", "e": "ba", "f": "ab"}]


def test_edge_narrowing_by_term_schema_and_properties():
    g = Graph()
    a, b = Node(A), Node(B)
    f, h = Term("f", App(A, B)), Term("h", R)
    for t, props in ((f, {"w": 1}), (h, {"w": 2})):
        e = Edge(t, a, b, props)
        g.edges[e.uid()] = e
    names = lambda q: [r["e"].term.name for r in q.return_("e")]
    assert names(g.query().match(edge="e", term=f)) == ["f"]
    assert names(g.query().match(edge="e", term=Term("f", R))) == []  # same name, other type
    assert names(g.query().match(edge="e", term_type_schema="$R$")) == ["h"]
    assert names(g.query().match(edge="e", properties={"w": 2.0})) == ["h"]
    assert names(g.query().match(edge="e", properties={"x": 2})) == []
    # the edge match binds its named ends
    rows = show(g.query().match(edge="e", term=h, start="s", end="t").return_("s", "e", "t"))
    assert rows == [{"s": "A", "e": "h", "t": "B"}]


def test_path_shape_checked_when_the_match_runs():
    q = chain().query().match("(a)(b)")  # the builder accepts it
    with pytest.raises(ValueError, match=r"^Invalid query: Path pattern must alternate nodes "
                                         r"and edges \(match\)$"):
        q.return_count()


# --- row operations ----------------------------------------------------------------------

def test_skip_and_limit_where_they_stand():
    g = chain("AB:ab", "BC:bc", "CA:ca", "DD:dd")
    q = g.query().match("(a)-[e]->(b)")
    names = lambda q: [r["e"] for r in show(q.return_("e"))]
    assert names(q.skip(1).limit(2)) == ["bc", "ca"]
    assert names(g.query().match("(a)-[e]->(b)").limit(3).skip(1)) == ["bc", "ca"]
    assert names(g.query().match("(a)-[e]->(b)").limit(0)) == []
    assert names(g.query().match("(a)-[e]->(b)").skip(2**64 - 1)) == []
    assert g.query().match("(a)-[e]->(b)").limit(2).return_count() == 2


def test_limit_stops_reading():
    # a comparison that raises far past the limit is never reached
    class Boom:
        def __eq__(self, other):
            raise AssertionError("read past the limit")
        __hash__ = None
    g = Graph()
    for i in range(3000):
        n = Node(V(f"T{i}"), {"k": 1 if i < 2000 else Boom()})
        g.nodes[n.uid()] = n
    q = g.query().match(node="n", properties={"k": 1}).limit(5)
    assert len(q.return_("n")) == 5
    with pytest.raises(AssertionError):
        g.query().match(node="n", properties={"k": 1}).return_count()


def test_with_keeps_columns():
    g = chain("AB:ab", "BC:bc")
    q = g.query().match("(n)").match("(a)-[e]->(b)").with_("e", "n", "e")
    assert show(q.return_("n", "e", "a")) == [{"n": "A", "e": "ab"}, {"n": "B", "e": "bc"},
                                            {"n": "C"}, {"n": "D"}]
    assert g.query().match("(n)").with_().return_count() == 0  # no columns, no rows


@pytest.mark.parametrize("build, context", [
    (lambda q: q.with_("x"), "with"),
    (lambda q: q.order_by("x", "k"), "order by"),
    (lambda q: q.match("(n)").with_("n").with_("n", "a"), "with"),
])
def test_undefined_variables(build, context):
    g = chain("AB:ab")
    q = build(g.query().match("(a)-[e]->(b)").create(node="m", type=V("M")))
    with pytest.raises(ValueError) as info:
        q.execute()
    assert str(info.value) in (f"Invalid query: Variable 'x' not defined ({context})",
                               f"Invalid query: Variable 'a' not defined ({context})")
    assert Node(V("M")).uid() in g.nodes  # the write before it ran


def test_defined_column_without_values():
    g = Graph()
    # a merge that finds nothing defines its column: with_ accepts it
    assert g.query().merge(node="n", type_schema="$Z$").with_("n").return_count() == 0
    q = g.query().match(node="n", type=A)
    q.return_count()  # the run leaves the column n, empty
    assert q.with_("n").return_count() == 0


def test_params_builder():
    q = Graph().query()
    q2 = q.params(a=1, b=[2]).params(a=3, values=4)
    assert q2 is not q and type(q2).__name__ == "Query"
    with pytest.raises(TypeError, match=r"^Query.params\(\) takes 0 positional arguments but 1 was given$"):
        q.params({"a": 1})
    assert type(q).params.__text_signature__ == "($self, /, **values)"


# --- writes ---------------------------------------------------------------------------

KNOWS = Term("knows", App(A, B))


def test_edge_create():
    g = chain(types="AB")
    q = g.query().match(node="a", type=A).match(node="b", type=B)
    rows = q.create(edge="k", term=KNOWS, start="a", end="b", properties={"since": 2020}).return_("k")
    (edge,) = g.edges.values()
    assert str(edge) == "Edge(knows: A -> B)" and edge.properties == {"since": 2020}
    assert show(rows) == [{"k": "knows"}] and rows[0]["k"].properties is edge.properties
    # an edge of the same term is replaced: uids depend on the term only
    q.execute()
    assert len(g.edges) == 1 and next(iter(g.edges.values())) is not edge


@pytest.mark.parametrize("build, message", [
    (lambda q: q.create(edge="k", start="a", end="b"), "Edge creation requires a term"),
    (lambda q: q.create(edge="k", term=KNOWS, start="u", end="b"), "Variable 'u' is not bound to a node"),
    (lambda q: q.create(edge="k", term=KNOWS, start="a", end="e"), "Variable 'e' is not bound to a node"),
    (lambda q: q.create(edge="k", term=KNOWS, start="z", end="b"), "Variable 'z' is not bound to a node"),
])
def test_edge_create_errors(build, message):
    g = chain("AB:ab", types="AB")
    q = build(g.query().match(node="a", type=A).match(node="b", type=B).match("(x)-[e]->(y)")
              .match(node="z", type=C))
    with pytest.raises(ValueError, match=f"^Invalid query: {message} \\(create\\)$"):
        q.execute()
    assert len(g.edges) == 1


def test_edge_merge_narrows_and_creates():
    g = chain("AB:ab", types="AB")
    q = g.query().match(node="a", type=A).match(node="b", type=B)
    found = q.merge(edge="e", start="a", end="b", properties={"w": 0})
    assert show(found.return_("e")) == [{"e": "ab"}]
    none = g.query().match(node="a", type=A).match(node="b", type=B).merge(
        edge="e", start="a", end="b", properties={"w": 5})
    assert none.return_("e") == [] and len(g.edges) == 1  # no term: nothing created
    made = g.query().match(node="a", type=A).match(node="b", type=B).merge(
        edge="e", term=KNOWS, start="a", end="b", properties={"w": 5})
    assert show(made.return_("e")) == [{"e": "knows"}] and len(g.edges) == 2
    assert show(made.return_("e")) == [{"e": "knows"}] * 2  # found now: appended


def test_path_create_edges():
    g = Graph()
    rows = g.query().create("(a:A)-[e]->(b:B)<-[f:F]-(c:C)").return_("a", "e", "b", "f", "c")
    assert [str(e) for e in g.edges.values()] == ["Edge(e: A -> B)", "Edge(f: C -> B)"]
    assert [str(e.term.type) for e in g.edges.values()] == ["(A -> B)", "F"]
    assert show(rows) == [{"a": "A", "e": "e", "b": "B", "f": "f", "c": "C"}]
    # untyped ends take the first node bound to their variable
    g.query().match(node="x", type=A).match(node="y", type=C).create("(x)-[k]->(y)").execute()
    assert str(list(g.edges.values())[-1]) == "Edge(k: A -> C)"


@pytest.mark.parametrize("pattern, message", [
    ("(a:A)-[e]-(b:B)", "Cannot create an undirected edge"),
    ("(a:A)-[:R]->(b:B)", "Edge creation requires an edge variable"),
    ("(a:A)-[e:*]->(b:B)", "Edge type must name exactly one type"),
    ("(a:A)-[e]->()", "Edge end node needs a type or a bound variable"),
    ("(a:A)-[e]->(z)", "Variable 'z' is not bound to a node"),
    ("(z)<-[e]-(a:A)", "Variable 'z' is not bound to a node"),
])
def test_path_create_errors(pattern, message):
    g = Graph()
    with pytest.raises(ValueError, match=f"^Invalid query: {message} \\(create\\)$"):
        g.query().create(pattern).execute()
    assert g.edges == {} and len(g.nodes) == 1 + ("b:B" in pattern)  # nodes made before stay


def test_path_create_shape():
    g = Graph()
    with pytest.raises(ValueError, match=r"^Invalid query: Path pattern must alternate nodes and "
                                         r"edges \(create\)$"):
        g.query().create("-[e]->(a:A)(b:B)(c:C)").execute()
    assert g.nodes == {}
    g.query().create("(a:A)(b:B)").execute()  # no edges: no shape to check
    assert len(g.nodes) == 2


def test_set_and_delete_on_edges():
    g = chain("AB:ab", "BC:bc", "CD:cd")
    g.query().match("(a:A)-[p]->(b)-[q]->(c)").set("p", {"seen": 1}).set("q", {"seen": 2}).execute()
    assert [e.properties.get("seen") for e in g.edges.values()] == [1, 2, None]
    g.query().match("(x)-[e]->(y:C)").delete("e").execute()
    assert [e.term.name for e in g.edges.values()] == ["ab", "cd"]
    g.query().match(node="n", type=D).delete("n", detach=True).execute()
    assert [e.term.name for e in g.edges.values()] == ["ab"] and len(g.nodes) == 3


# --- differential runs against the model ---------------------------------------------------

TYPES = {"A": ("var", "A"), "B": ("var", "B"), "C": ("var", "C")}
TERMS = [("f", ("var", "R")), ("g", ("var", "R")), ("ab", ("app", ("var", "A"), ("var", "B")))]
SCHEMAS = ["A", "B", "*", "A -> B", "R"]
VARS = ["n", "m", "e", "p"]


def build_type(t):
    return V(t[1]) if t[0] == "var" else App(build_type(t[1]), build_type(t[2]))


@st.composite
def layouts(draw):
    types = draw(st.lists(st.sampled_from(list(TYPES)), unique=True, min_size=1, max_size=3))
    props = [draw(st.dictionaries(st.just("k"), st.integers(0, 1), max_size=1)) for _ in types]
    index = st.integers(0, len(types) - 1)
    edges = draw(st.lists(st.tuples(st.integers(0, len(TERMS) - 1), index, index,
                                    st.integers(0, 1)), max_size=5))
    return types, props, edges


def build_both(layout):
    types, props, edges = layout
    g, recs, made = Graph(), [], []
    mnodes, medges = {}, {}
    for t, p in zip(types, props):
        n, r = Node(build_type(TYPES[t]), dict(p)), qm.Rec("node", TYPES[t], None)
        r.props = n.properties  # shared, as the extension shares them
        g.nodes[n.uid()] = n
        mnodes[r.uid()] = r
        made.append(n)
        recs.append(r)
    for term, s, e, w in edges:
        name, t = TERMS[term]
        edge = Edge(Term(name, build_type(t)), made[s], made[e], {"w": w})
        r = qm.Rec("edge", t, edge.properties, name, recs[s], recs[e])
        g.edges[edge.uid()] = edge
        medges[r.uid()] = r
    return g, qm.Model(mnodes, medges)


var = st.none() | st.sampled_from(VARS)
schema = st.none() | st.sampled_from(SCHEMAS)
block = st.none() | st.dictionaries(st.sampled_from(["k", "w"]), st.integers(0, 1), max_size=1)
path_node = st.tuples(var, schema, block)
# an arrow inside an edge's brackets would set its direction: edge schemas have none
hops = st.none() | st.tuples(st.integers(0, 2), st.none() | st.integers(0, 3))
path_edge = st.tuples(var, st.none() | st.sampled_from(["R", "*", "A"]),
                      st.sampled_from(["forward", "backward", "any"]), hops, block)


def block_text(props):
    return " {" + ", ".join(f"{k}: {v}" for k, v in props.items()) + "}" if props else ""


def node_text(v, s, props):
    return "(" + (v or "") + (":" + s if s else "") + block_text(props) + ")"


def edge_text(v, s, d, h, props):
    quantifier = "" if h is None else "*" + str(h[0]) + ".." + ("" if h[1] is None else str(h[1]))
    body = "[" + (v or "") + (":" + s if s else "") + quantifier + block_text(props) + "]"
    return {"forward": "-" + body + "->", "backward": "<-" + body + "-", "any": "-" + body + "-"}[d]


ops = st.one_of(
    st.tuples(st.just("path"), path_node, st.lists(st.tuples(path_edge, path_node), max_size=2)),
    st.tuples(st.just("match_node"), st.sampled_from(VARS), st.none() | st.sampled_from(list(TYPES)),
              st.none() | st.dictionaries(st.just("k"), st.integers(0, 1), max_size=1)),
    st.tuples(st.just("skip"), st.integers(0, 3)),
    st.tuples(st.just("limit"), st.integers(0, 3)),
    st.tuples(st.just("with"), st.lists(st.sampled_from(VARS), max_size=2)),
    st.tuples(st.just("create_node"), st.sampled_from(VARS), st.sampled_from(list(TYPES) + ["Z"])),
    st.tuples(st.just("create_edge"), st.sampled_from(VARS), st.sampled_from(VARS),
              st.sampled_from(VARS)),
    st.tuples(st.just("merge_node"), st.sampled_from(VARS), st.none() | st.sampled_from(list(TYPES))),
    st.tuples(st.just("merge_edge"), st.sampled_from(VARS), st.sampled_from(VARS),
              st.sampled_from(VARS), st.booleans()),
    st.tuples(st.just("set"), st.sampled_from(VARS), st.integers(0, 1)),
    st.tuples(st.just("delete"), st.lists(st.sampled_from(VARS), max_size=2), st.booleans()),
)

MADE = ("made", ("app", ("var", "A"), ("var", "B")))


def apply(q, op):
    """Queues `op` on the query `q` and returns (new query, model operation)."""
    kind = op[0]
    if kind == "path":
        first, hops = op[1], op[2]
        text = node_text(*first) + "".join(edge_text(*e) + node_text(*n) for e, n in hops)
        nodes = [(v, None, s, p or None) for v, s, p in [first] + [n for _, n in hops]]
        edges = [(v, None, s, p or None, d, h) for (v, s, d, h, p), _ in hops]
        return q.match(text), ("match", nodes, edges)
    if kind == "match_node":
        _, v, t, props = op
        t = TYPES[t] if t else None
        return (q.match(node=v, type=t and build_type(t), properties=props),
                ("match", [(v, t, None, props)], []))
    if kind in ("skip", "limit"):
        return getattr(q, kind)(op[1]), op
    if kind == "with":
        return q.with_(*op[1]), ("with", op[1])
    if kind == "create_node":
        t = TYPES.get(op[2], ("var", op[2]))
        return q.create(node=op[1], type=build_type(t)), ("create_node", (op[1], t, None, None))
    if kind == "create_edge":
        _, v, s, e = op
        return (q.create(edge=v, term=Term(*[MADE[0], build_type(MADE[1])]), start=s, end=e),
                ("create_edge", (v, MADE, None, None, "forward", None), s, e))
    if kind == "merge_node":
        t = TYPES[op[2]] if op[2] else None
        return q.merge(node=op[1], type=t and build_type(t)), ("merge_node", (op[1], t, None, None))
    if kind == "merge_edge":
        _, v, s, e, with_term = op
        term = MADE if with_term else None
        return (q.merge(edge=v, start=s, end=e, term=term and Term(term[0], build_type(term[1]))),
                ("merge_edge", (v, term, None, None, "forward", None), s, e))
    if kind == "set":
        return q.set(op[1], {"s": op[2]}), ("set", op[1], {"s": op[2]})
    return q.delete(*op[1], detach=op[2]), ("delete", op[1], op[2])


def graph_state(g):
    def t(x):
        return ("var", x.name) if isinstance(x, V) else ("app", t(x.left), t(x.right))
    return ([(k, t(n.type), n.properties) for k, n in g.nodes.items()],
            [(k, e.term.name, e.start.uid(), e.end.uid(), e.properties) for k, e in g.edges.items()])


def row_ids(rows):
    return [{k: [("Edge", e.uid()) for e in v] if isinstance(v, list) else
             (type(v).__name__, v.uid()) for k, v in r.items()} for r in rows]


@settings(max_examples=300, deadline=None)
@given(layouts(), st.lists(ops, min_size=1, max_size=6), st.lists(st.sampled_from(VARS), max_size=3))
def test_executor_matches_language_model(layout, queue, names):
    g, model = build_both(layout)
    q, mops = g.query(), []
    for op in queue:
        q, mop = apply(q, op)
        mops.append(mop)
    for terminal in ("return_", "return_distinct", "return_count"):  # bindings carry over
        try:
            model.run(mops)
        except qm.ModelError as e:
            with pytest.raises(ValueError) as info:
                getattr(q, terminal)(*names[:0 if terminal == "return_count" else 3])
            assert str(info.value) == str(e)
        else:
            if terminal == "return_count":
                assert q.return_count() == len(model.rows)
            else:
                rows = getattr(q, terminal)(*names)
                assert row_ids(rows) == model.rows_of(names, terminal == "return_distinct")
        assert graph_state(g) == model.state()


# --- variable-length hops -------------------------------------------------------------------

@pytest.mark.parametrize("pattern, expected", [
    # depth first, a trail before its extensions
    ("(a:A)-[p*1..3]->(b)", ["ab", "ab bc", "ab bc ca", "ab bc cb"]),
    ("(a:A)-[p*2]->(b)", ["ab bc"]),
    ("(a:A)-[p*2..]->(b)", ["ab bc", "ab bc ca", "ab bc cb"]),
    ("(a:A)-[p*0..1]->(b)", ["", "ab"]),  # zero hops: the start node, an empty list
    ("(a:A)-[p*..1]->(b)", ["ab"]),
    ("(a:A)-[p*3..2]->(b)", []),  # min above max: no rows
    ("(a:A)-[p*]->(b:A)", ["ab bc ca"]),  # a trail never repeats an edge: the cycle ends
    ("(a:A)<-[p*1..2]-(b)", ["ca", "ca bc"]),
    ("(a:A)-[p:R*1..2 {w: 0}]->(b)", ["ab"]),  # the pattern tests every edge of the trail
])
def test_variable_length(pattern, expected):
    g = chain("AB:ab", "BC:bc", "CA:ca", "CB:cb")
    rows = show(g.query().match(pattern).return_("p", "b"))
    assert [" ".join(r["p"]) for r in rows] == expected
    ends = {"": "A", "ab": "B", "ab bc": "C", "ab bc ca": "A", "ab bc cb": "B", "ca": "C",
            "ca bc": "B"}
    assert all(r["b"] == ends[" ".join(r["p"])] for r in rows)


def test_variable_length_rows_and_writes():
    g = chain("AB:ab", "BC:bc", "CD:cd")
    rows = g.query().match("(a:A)-[p*2..2]->(c)-[e]->(d)").return_("p", "e")
    assert [[x.term.name for x in r["p"]] for r in rows] == [["ab", "bc"]]
    assert type(rows[0]["p"]) is list and all(isinstance(x, Edge) for x in rows[0]["p"])
    # set and delete act on each edge of a list cell
    g.query().match("(a:A)-[p*1..2]->(c:C)").set("p", {"on": True}).execute()
    assert [e.properties.get("on") for e in g.edges.values()] == [True, True, None]
    g.query().match("(a:A)-[p*2]->(c)").delete("p").execute()
    assert [e.term.name for e in g.edges.values()] == ["cd"]


def test_variable_length_is_interruptible():
    # a complete graph has more trails than any run could walk: Ctrl-C must end it
    import signal
    g = Graph()
    nodes = [Node(V(f"K{i}")) for i in range(12)]
    for n in nodes:
        g.nodes[n.uid()] = n
    for i, s in enumerate(nodes):
        for j, e in enumerate(nodes):
            if i != j:
                edge = Edge(Term(f"k{i}_{j}", R), s, e)
                g.edges[edge.uid()] = edge
    def interrupt(*_):
        raise KeyboardInterrupt
    previous = signal.signal(signal.SIGALRM, interrupt)
    q = g.query().match("(a)-[p*]->(b:Nowhere)")  # no trail ends well: nothing is kept
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.2)  # a real signal: the query holds the GIL
        with pytest.raises(KeyboardInterrupt):
            q.return_count()
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    # nothing stays borrowed: the query and the graph stay usable
    assert type(q.skip(0)).__name__ == "Query"
    assert g.query().match("(a)-[p*]->(b)").limit(3).return_count() == 3


def test_readme_examples(run_snippet):
    """The query-language examples of README.md run and print what their comments say."""
    import os
    import re
    readme = open(os.path.join(os.path.dirname(__file__), "..", "README.md")).read()
    section = readme.split("## Query language", 1)[1].split("\n## ", 1)[0]
    blocks = re.findall(r"```python\n(.*?)```", section, re.S)
    assert len(blocks) >= 3
    for code in blocks:
        expected = [re.sub(r" \(.*\)$", "", line.split("# ", 1)[1]) for line in code.splitlines()
                    if line.startswith("print(") and "# " in line]
        proc = run_snippet(code)
        assert proc.returncode == 0, proc.stderr
        assert proc.stdout.splitlines() == expected


LEAK_SETUP = r"""
from voralix import Application, Edge, Graph, Node, Term, Variable
A, B, C = Variable("A"), Variable("B"), Variable("C")
g = Graph()
a, b, c = Node(A, {"k": 1}), Node(B, {"k": 2}), Node(C)
for n in (a, b, c):
    g.nodes[n.uid()] = n
for name, s, e in (("ab", a, b), ("bc", b, c), ("ca", c, a), ("cc", c, c)):
    edge = Edge(Term(name, Variable("R")), s, e, {"w": [1, 2]})
    g.edges[edge.uid()] = edge
t = Term("made", Application(A, B))
watched = [a, b, c, g, g.nodes, g.edges, t, A]
"""

LEAK_GROUPS = {
    "paths": "g.query().match('(x)-[e]-(y)<-[f]-(z)').return_('x', 'e', 'f', 'z'); "
             "g.query().match('(x:A)-[p*0..]->(y {k: 2})').return_('p', 'y')",
    "rows": "g.query().match('(x)-[e]->(y)').skip(1).limit(2).with_('e').return_distinct('e'); "
            "g.query().match('(x)').with_('q').return_count()",
    "writes": "g.query().match(node='x', type=A).match(node='y', type=B)"
              ".create(edge='m', term=t, start='x', end='y').merge(edge='n', term=t, start='x', end='y')"
              ".set('m', {'s': 1}).delete('m').execute(); "
              "g.query().create('(x:D)-[r]->(y:E)').delete('x', 'y', detach=True).execute(); "
              "g.query().create('(x:D)-[r]-(y:E)').execute()",
}


def test_new_features_memory_is_flat(measure_memory):
    results = measure_memory(LEAK_SETUP, LEAK_GROUPS, calls=20_000)
    for group, m in results.items():
        assert m["blocks"] < 1000 and m["refs"] < 100 and m["rss"] < 2 * 1024 * 1024, (group, m)


def test_long_queues_and_paths(run_snippet):
    # in a subprocess: a failure here would be a crash of the interpreter
    proc = run_snippet("""
        from voralix import Graph, Node, Variable
        g = Graph()
        n = Node(Variable("A"))
        g.nodes[n.uid()] = n
        q = g.query().match("(n)")
        for _ in range(100_000):
            q = q.limit(5)
        print(q.return_count())
        print(g.query().match("(a)" + "-[]->()" * 900).return_count())
        try:
            g.query().match("(a)" + "-[]->()" * 100_000).return_count()
        except RecursionError as e:
            print(type(e).__name__)
    """)
    assert proc.returncode == 0, proc.stderr[-2000:]
    assert proc.stdout.split() == ["1", "0", "RecursionError"]
