"""Memory and reference counts stay flat over 100,000 calls of every
constructor, attribute, method and special method of the types, terms, graph
classes and TypeSchema, on success and error paths alike. One subprocess runs
all groups; each group is reported apart."""

import pytest

SETUP = r"""
from voralix import Application, Edge, Graph, Node, Term, TypeSchema, Variable

name = "a-name-long-enough-to-live-on-the-heap-" + "x" * 24
surrogate = "bad\ud800"
A, B, A2 = Variable("A"), Variable("B"), Variable("A")
app, app2 = Application(A, B), Application(A2, B)
v, t, t2 = Variable(name), Term(name, app), Term(name, app2)
f, x, y = Term("f", app), Term("x", A), Term("y", B)
d = {"key": "value"}
n, m = Node(A, d), Node(B)
e, g, broken = Edge(f, n, m, d), Graph(), Graph()
g.nodes.update({n.uid(): n, m.uid(): m})
broken.nodes["k"] = 5
q, bad = g.query().match(node="n", type=A), broken.query().match(node="n", type=A)
text = "$ (x:*) -> (y" + "z" * 40 + ":*) $"  # captures under a name that lives on the heap
s = TypeSchema(text)

class Other:
    def __eq__(self, o):
        return []

other = Other()
watched = [Variable, Application, Term, A, B, app, f, x, name, other, d, n, m, e, g, g.nodes, s, text]
"""

GROUPS = {
    "Variable()": "Variable(name); Variable(name=name); Variable.__new__(Variable, name)",
    "Application()": "Application(A, B); Application(left=app, right=B)",
    "Term()": "Term(name, app); Term(name=name, type=A); Term.__new__(Term, name, A)",
    "attributes": "v.name; t.name; t.type; app.left; app.right",
    "name setters": "v.name = name; t.name = name",
    "uid": "A.uid(); app.uid(); t.uid(); Application(app, A).uid(); Term(name, app).uid()",
    "str/repr": "str(A); repr(A); str(app); repr(app); str(t); repr(t)",
    "hash": "hash(A); hash(app); hash(t); hash(Application(app, A)); hash(Term(name, app))",
    "==": "A == A2; app == app2; t == t2; A == B; app == A; t == 1",
    "!=": "A != A2; app != app2; t != t2; A != B; app != A; t != 1; A != other; t != other",
    "apply": "f(x); f(other=x); f.__call__(x)",
    "binding errors": "Variable(); Variable(1); Variable(name, name); Variable(name, nm=1); "
                      "Term(name, A, name=name); Variable(surrogate); f(); A.uid(1)",
    "conversion errors": "Application(A, 'B'); Term(name, 'A'); Term(1, A); f(5)",
    "mismatch errors": "f(y); x(f)",
    "attribute errors": "A < B; del v.name; app.left = A; v.foo = 1; v.name = 5; "
                        "t.name = surrogate",
    "Node()": "Node(A); Node(app, d); Node(type=A, properties=None)",
    "Node reads": "n.type; n.properties; n.uid(); str(n); repr(n); n == m; hash(n)",
    "Node errors": "Node(1); Node(A, 1); Node(); del n.properties; n.properties = 1; n.type = A",
    "Node cycle": "z = Node(A); z.properties['self'] = z; n.properties = d",
    "Edge()": "Edge(f, n, m); Edge(f, n, m, d); e.properties = d",
    "Edge reads": "e.term; e.start; e.end; e.properties; e.uid(); str(e); e == e",
    "Edge errors": "Edge(1, n, m); Edge(f, 1, m); Edge(f, n, 1); Edge(f, n, m, 1); del e.properties",
    "Graph": "Graph(); g.nodes; g.edges; str(g); g.query(); Graph(1); g.nodes = d",
    "typed lookup": "q.return_('n'); bad.return_('n')",
    "TypeSchema": "TypeSchema(text); s.matches(app); s.capture(app); s.capture(A); str(s)",
    "TypeSchema errors": "TypeSchema(1); TypeSchema(surrogate); s.matches(1); s.capture(None)",
}


@pytest.fixture(scope="module")
def measurements(measure_memory):
    return measure_memory(SETUP, GROUPS)


@pytest.mark.parametrize("group", list(GROUPS))
def test_flat_memory(measurements, group):
    m = measurements[group]
    # One leaked object or reference per call would show as ~100,000; a leaked
    # C++ record, name buffer or dict of >= 32 bytes per call as >= 3 MB.
    assert m["blocks"] < 1000 and m["refs"] < 100 and m["rss"] < 2 * 1024 * 1024, m
