"""Calls that the type checkers must reject: each line marked `# rejected`
must draw an error from both mypy and pyright, and no other line may. If the
stubs were not found, the checkers would report the import instead."""

from voralix import Application, Edge, Graph, Node, NodePattern, Query, Term, TypeSchema, Variable

A, B = Variable("A"), Variable("B")
f = Term("f", Application(A, B))
g = Graph()
q: Query = g.query()

Variable(1)  # rejected
Application(A, "B")  # rejected
Term("x", "A")  # rejected
f(A)  # rejected
Node(A, [("k", 1)])  # rejected
Edge(f, Node(A), B)  # rejected
TypeSchema("$A$").matches("A")  # rejected
NodePattern(properties={1: "x"})  # rejected
g.nodes = {}  # rejected
A.left  # rejected
q.match(node="n", term=f)  # rejected
q.match("(n)", node="m")  # rejected
q.merge("(n)")  # rejected
q.merge(edge="e", term=f)  # rejected
q.create(node="n")  # rejected
q.create(edge="e", start="a", end="b")  # rejected
q.delete(["a", "b"])  # rejected
q.order_by("n", "age", ascending=1)  # rejected
q.limit("3")  # rejected
count: str = q.return_count()  # rejected
node: Node = q.return_("n")[0]["n"]  # rejected
kind: int = g.check()[0]["kind"]  # rejected
g.add_node(f)  # rejected
Graph.from_json(b"{}")  # rejected
