"""A small pure-Python model of the query executor (node and one-edge path
matches, creates, merges, set, delete, rows by index) and differential runs
of generated queries over small random graphs against it."""

import hashlib

from hypothesis import given, settings, strategies as st

from voralix import Application, Edge, Graph, Node, Term, Variable

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
    return Variable(t[1]) if t[0] == "var" else Application(build_type(t[1]), build_type(t[2]))


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
            if value.kind == "Node":
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


def ids(rows):
    return [{k: (type(x).__name__, x.uid()) for k, x in row.items()} for row in rows]


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
