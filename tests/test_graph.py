"""Node, Edge and Graph: construction, property dicts held by reference, uids,
text forms, identity semantics, the typed node lookup behind queries, and
collection of reference cycles through property dicts."""

import gc
import hashlib
import weakref

import pytest

from voralix import Application, Edge, Graph, Node, Term, Variable

A, B = Variable("A"), Variable("B")
AB = Application(A, B)
F = Term("f", AB)
N = Node(A)
PROPS = "argument 'properties': '{}' object cannot be converted to 'PyDict'"


def raises(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc and info.value.args == (message,)


@pytest.mark.parametrize("call, message", [
    (lambda: Node(42, 5), PROPS.format("int")),
    (lambda: Node("A", properties=[("x", 1)]), PROPS.format("list")),
    (lambda: Node(42), "Expected Variable or Application"),
    (lambda: Node(F, {}), "Expected Variable or Application"),
    (lambda: Node(), "Node.__new__() missing 1 required positional argument: 'type'"),
    (lambda: Edge(1, 2, 3, 4), PROPS.format("int")),
    (lambda: Edge(N, F, N), "argument 'term': 'Node' object cannot be converted to 'Term'"),
    (lambda: Edge(F, 2, 3), "argument 'start': 'int' object cannot be converted to 'Node'"),
    (lambda: Edge(F, N, A), "argument 'end': 'Variable' object cannot be converted to 'Node'"),
    (lambda: Edge(F, N), "Edge.__new__() missing 1 required positional argument: 'end'"),
])
def test_constructor_errors_in_check_order(call, message):
    raises(call, TypeError, message)


@pytest.mark.parametrize("cls, args", [(Node, (A,)), (Edge, (F, N, N))])
def test_properties_held_by_reference(cls, args):
    class Props(dict):
        pass

    d, sub = {"x": 1}, Props(y=2)
    assert cls(*args, d).properties is d and cls(*args, properties=sub).properties is sub
    first, second = cls(*args), cls(*args, properties=None)
    assert first.properties == {} and first.properties is not second.properties
    obj = cls(*args, d)
    obj.properties = sub
    assert obj.properties is sub
    raises(lambda: setattr(obj, "properties", [1]), TypeError, PROPS.format("list"))
    raises(lambda: delattr(obj, "properties"), AttributeError, "can't delete attribute")
    assert obj.properties is sub
    for name in ("type", "term", "start", "end", "colour"):
        with pytest.raises(AttributeError):
            setattr(obj, name, N)


def test_edge_shares_node_dicts_not_nodes():
    a, b = Node(A, {"k": 1}), Node(B)
    e = Edge(F, a, b)
    assert e.start is not e.start and e.start.properties is a.properties
    assert e.end.properties is b.properties and e.term is not e.term
    a.properties["k"] = 2
    assert e.start.properties == {"k": 2}
    old = a.properties
    a.properties = {"new": True}
    assert e.start.properties is old
    # Writes through a temporary copy are lost.
    e.start.properties = {"lost": True}
    e.term.name = "lost"
    assert e.start.properties is old and e.term == F
    assert e.start.type == A and e.end.type == B and e.term.type == AB


def test_renaming_after_construction_changes_nothing():
    v, t = Variable("A"), Term("f", Variable("A"))
    n = Node(v)
    e = Edge(t, n, n)
    before = (str(n), n.uid(), str(e), e.uid())
    v.name, t.name = "Z", "g"
    assert (str(n), n.uid(), str(e), e.uid()) == before
    assert n.type == Variable("A") and e.term == Term("f", Variable("A"))


TREES = [("var", "A"), ("var", ""), ("var", "\u00e9\U0001d538"), ("app", ("var", "A"), ("var", "B")),
         ("app", ("app", ("var", "A"), ("var", "B")), ("var", "A"))]


def sha(text):
    return hashlib.sha256(text.encode()).hexdigest()


@pytest.mark.parametrize("tree", TREES)
@pytest.mark.parametrize("name", ["f", "", "a:b c"])
def test_uids(M, tree, name):
    # Properties and end nodes take no part.
    t = M.build_type(tree)
    uid = Node(t, {"ignored": 1}).uid()
    assert uid == Node(t).uid() == sha("node:" + M.type_uid(tree))
    assert len(uid) == 64 and uid == uid.lower()
    e1, e2 = Edge(Term(name, t), Node(A), Node(B), {"w": 1}), Edge(Term(name, t), N, N)
    assert e1.uid() == e2.uid() == sha("edge:" + M.term_uid(name, tree)) != uid


@pytest.mark.parametrize("obj, text", [
    (Node(Variable("Person")), "Node(Person)"),
    (Node(AB), "Node((A -> B))"),
    (Node(Variable('say "hi"')), 'Node(say "hi")'),
    (Edge(F, Node(A), Node(B)), "Edge(f: A -> B)"),
    (Edge(Term("x", A), Node(B), Node(Variable("C"))), "Edge(x: B -> C)"),
    (Edge(Term('(g "y")', B), Node(AB), Node(Variable(""))), 'Edge((g "y"): (A -> B) -> )'),
])
def test_text_forms(obj, text):
    assert str(obj) == repr(obj) == text


@pytest.mark.parametrize("make", [lambda: Node(A), lambda: Edge(F, N, N), Graph])
def test_identity_equality(make):
    x, y = make(), make()
    assert x == x and x != y and not (x == y)
    assert len({x, y, x}) == 2 and hash(x) == hash(x)
    with pytest.raises(TypeError):
        x < y  # noqa: B015


def test_graph_container():
    g = Graph()
    assert type(g.nodes) is dict and type(g.edges) is dict and g.nodes is not g.edges
    assert g.nodes is g.nodes and g.nodes == {} == g.edges
    for name in ("nodes", "edges"):
        with pytest.raises(AttributeError):
            setattr(g, name, {})
    raises(lambda: Graph(1), TypeError, "Graph.__new__() takes 0 positional arguments but 1 was given")
    assert str(g) == repr(g) == "Graph(0 nodes, 0 edges)"
    g.nodes[N.uid()] = N
    assert str(g) == "Graph(1 nodes, 0 edges)"
    g.nodes["junk"] = 5
    g.edges.update(a=1, b=2, c=3)
    assert repr(g) == "Graph(2 nodes, 3 edges)"


def nodes_of(graph, t):
    return [row["n"] for row in graph.query().match(node="n", type=t).return_("n")]


def test_typed_lookup_through_queries():
    g = Graph()
    before = g.query().match(node="n", type=A)
    a1, b, a2 = Node(A, {"i": 1}), Node(B), Node(A, {"i": 2})
    g.nodes.update({"k1": a1, b.uid(): b, "k2": a2})
    found = nodes_of(g, A)
    assert [n.properties for n in found] == [{"i": 1}, {"i": 2}]
    assert found[0].properties is a1.properties and found[0] is not a1
    assert [row["n"].properties for row in before.return_("n")] == [{"i": 1}, {"i": 2}]
    assert nodes_of(g, AB) == []
    # Storing a second node of one type under the uid keeps the first's place.
    g.nodes[b.uid()] = Node(B, {"later": 1})
    g.nodes["k3"] = Node(B)
    assert [n.properties for n in nodes_of(g, B)] == [{"later": 1}, {}]
    del g.nodes["k1"]
    assert [n.properties for n in nodes_of(g, A)] == [{"i": 2}]


@pytest.mark.parametrize("key, value, message", [
    (5, N, "'int' object cannot be converted to 'PyString'"),
    (5, 5, "'int' object cannot be converted to 'PyString'"),
    (("k",), N, "'tuple' object cannot be converted to 'PyString'"),
    ("k", 5, "'int' object cannot be converted to 'Node'"),
    ("k", Edge(F, N, N), "'Edge' object cannot be converted to 'Node'"),
])
@pytest.mark.parametrize("asked", [A, B, AB])
@pytest.mark.parametrize("first", [True, False])
def test_typed_lookup_checks_every_entry(key, value, message, asked, first):
    g = Graph()
    if not first:
        g.nodes[N.uid()] = N
    g.nodes[key] = value
    g.nodes["last"] = Node(B)
    raises(lambda: nodes_of(g, asked), TypeError, message)


def test_typed_lookup_takes_keys_as_text():
    g = Graph()
    g.nodes["\ud800"] = Node(A)
    with pytest.raises(UnicodeEncodeError):
        nodes_of(g, A)


def test_typed_lookup_looks_keys_up_again():
    class Colliding(str):  # same hash as the node's uid; == raises once armed
        armed = False
        __hash__ = lambda self: hash(uid)

        def __eq__(self, other):
            if Colliding.armed:
                raise KeyError("lookup")
            return str.__eq__(self, other)

    node = Node(A)
    uid = node.uid()
    g = Graph()
    g.nodes[Colliding("zzz")] = Node(B)
    g.nodes[uid] = node
    assert len(nodes_of(g, A)) == 1
    Colliding.armed = True
    with pytest.raises(KeyError, match="lookup"):
        nodes_of(g, A)


def test_replaced_properties_are_released_after_the_write():
    seen = []

    class Finalizer:
        def __del__(self):
            seen.append(dict(n.properties))

    n = Node(A, {"f": Finalizer()})
    n.properties = {"new": 1}
    assert seen == [{"new": 1}]


CYCLES = {
    "node": "n = Node(A, {'h': h}); n.properties['self'] = n",
    "edge": "n = Node(A); e = Edge(F, n, n, {'h': h}); e.properties['e'] = e; n.properties['e'] = e",
    "graph": "g = Graph(); n = Node(A, {'g': g, 'h': h}); g.nodes[n.uid()] = n;"
             "g.edges['e'] = Edge(F, n, n, {'g': g})",
    "query": "g = Graph(); n = Node(A, {'h': h}); g.nodes[n.uid()] = n;"
             "q = g.query().match(node='n', type=A); q.return_('n'); n.properties['q'] = q",
}


@pytest.mark.parametrize("code", list(CYCLES.values()), ids=list(CYCLES))
def test_cycles_are_collected(code):
    class Helper:
        pass

    h = Helper()
    ref = weakref.ref(h)
    exec(code, {"h": h, "A": A, "F": F, "Node": Node, "Edge": Edge, "Graph": Graph})
    del h
    gc.collect()
    assert ref() is None
