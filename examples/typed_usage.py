"""voralix in a type-checked code base: a small typed model of a company and
queries on it, written as a user would, with precise types throughout.

Runs as is, and passes `mypy --strict` and pyright in strict mode."""

from __future__ import annotations

from typing import TYPE_CHECKING

from voralix import Application, Edge, Graph, Node, PathPattern, Query, Term, TypeSchema, Variable

if TYPE_CHECKING:
    # `Type` (Variable | Application) exists for type checkers only.
    from voralix import Type


def function_type(*types: Type) -> Type:
    """A -> B -> C for (A, B, C): arrows associate to the right."""
    result = types[-1]
    for t in reversed(types[:-1]):
        result = Application(t, result)
    return result


def store(graph: Graph, *elements: Node | Edge) -> None:
    for element in elements:
        if isinstance(element, Node):
            graph.nodes[element.uid()] = element
        else:
            graph.edges[element.uid()] = element


def names_of(rows: list[dict[str, Node | Edge | list[Edge]]], variable: str) -> list[str]:
    names: list[str] = []
    for row in rows:
        value = row.get(variable)
        if isinstance(value, Node):
            names.append(str(value.properties.get("name", value.type)))
        elif isinstance(value, Edge):
            names.append(value.term.name)
        elif value is not None:
            names.extend(edge.term.name for edge in value)
    return names


person, company = Variable("Person"), Variable("Company")
works_for: Term = Term("works_for", function_type(person, company))
alice: Term = Term("alice", person)
employer_of_alice: Term = works_for(alice)
assert str(employer_of_alice.type) == "Company"

people, firms = Node(person, {"name": "people"}), Node(company, {"name": "firms"})
graph = Graph()
store(graph, people, firms, Edge(works_for, people, firms, {"since": 2020}))

query: Query = graph.query().match("(p:Person)-[e]->(c:Company)")
rows = query.return_("p", "e", "c")
assert names_of(rows, "e") == ["works_for"]
assert query.return_count() == 1

by_type = graph.query().match(node="n", type=person, properties={"name": "people"})
assert names_of(by_type.return_("n"), "n") == ["people"]

created = graph.query().create(node="s", type=Variable("Skill"), properties={"level": 3})
skills = created.return_("s")
assert len(skills) == 1 and len(graph.nodes) == 3

schema = TypeSchema("$ (input:*) -> (output:*) $")
captured: dict[str, Type] = schema.capture(works_for.type)
assert {k: str(v) for k, v in captured.items()} == {"input": "Person", "output": "Company"}

# Graph helpers, checks and JSON.
loose = Graph()
key: str = loose.add_edge(Edge(Term("misfit", person), people, firms))
kinds = [problem["kind"] for problem in loose.check()]
assert key in loose.edges and kinds == ["ill_typed"]
copy_of_graph = Graph.from_json(graph.to_json())
assert list(copy_of_graph.nodes) == list(graph.nodes)

path = PathPattern.parse("(a:A)-[r*1..3]->(b:B)")
variables: list[str | None] = [n.variable for n in path.nodes]
hops: tuple[int | None, int | None] = (path.edges[0].min_hops, path.edges[0].max_hops)
assert variables == ["a", "b"] and path.edges[0].direction == "forward" and hops == (1, 3)
print("typed usage: ok")
