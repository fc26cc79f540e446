"""Node, Edge and Graph: property dicts held by reference, uids, text forms,
the typed node lookup behind queries, and collection of reference cycles
through every class that holds Python objects. (Argument errors are in
test_binding.py, identity equality in test_module.py.)"""

import gc
import hashlib
import weakref

import pytest

import voralix
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


def test_graph_container():
    g = Graph()
    assert type(g.nodes) is dict and type(g.edges) is dict and g.nodes is not g.edges
    assert g.nodes is g.nodes and g.nodes == {} == g.edges
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


@pytest.mark.parametrize("key, value, exc, message", [
    (5, N, TypeError, "'int' object cannot be converted to 'PyString'"),
    (5, 5, TypeError, "'int' object cannot be converted to 'PyString'"),
    (("k",), N, TypeError, "'tuple' object cannot be converted to 'PyString'"),
    ("k", 5, TypeError, "'int' object cannot be converted to 'Node'"),
    ("k", Edge(F, N, N), TypeError, "'Edge' object cannot be converted to 'Node'"),
    ("\ud800", N, UnicodeEncodeError, None),  # keys are taken as text
])
@pytest.mark.parametrize("asked", [A, B, AB])
@pytest.mark.parametrize("first", [True, False])
def test_typed_lookup_checks_every_entry(key, value, exc, message, asked, first):
    g = Graph()
    if not first:
        g.nodes[N.uid()] = N
    g.nodes[key] = value
    g.nodes["last"] = Node(B)
    with pytest.raises(exc) as info:
        nodes_of(g, asked)
    assert type(info.value) is exc and (message is None or info.value.args == (message,))


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


ON_GRAPH = "g = Graph(); n = Node(A, {'h': h}); g.nodes[n.uid()] = n; "
CYCLES = {  # each ties h into a reference cycle that runs through voralix objects
    "node": "n = Node(A, {'h': h}); n.properties['self'] = n",
    "edge": "n = Node(A); e = Edge(F, n, n, {'h': h}); e.properties['e'] = e; n.properties['e'] = e",
    "graph": "g = Graph(); n = Node(A, {'g': g, 'h': h}); g.nodes[n.uid()] = n;"
             "g.edges['e'] = Edge(F, n, n, {'g': g})",
    "node pattern": "h.p = NodePattern(properties={'k': h})",
    "edge pattern in a path": "h.p = PathPattern().add_edge(EdgePattern(properties={'k': h}))",
    "query on the graph": ON_GRAPH + "n.properties['q'] = g.query().match('(n)')",
    "query bindings": ON_GRAPH + "q = g.query().match('(n)'); n.properties['q'] = q; q.execute();"
                                 "g.nodes.clear()",
    "execute copy": ON_GRAPH + "n.properties['q'] = g.query().match('(n)').execute()",
    "set dict": "h.q = Graph().query().set('n', {'h': h})",
    "pattern value": "h.q = Graph().query().merge(node='n', properties={'k': h})",
}


@pytest.mark.parametrize("code", list(CYCLES.values()), ids=list(CYCLES))
def test_cycles_are_collected(code):
    class Helper:
        pass

    h = Helper()
    ref = weakref.ref(h)
    exec(code, dict(vars(voralix), h=h, A=A, F=F))
    del h
    gc.collect()
    assert ref() is None
