"""A first tour of voralix: types, terms, a typed graph and queries on it."""

from voralix import (
    Application,
    Edge,
    Graph,
    Node,
    PathPattern,
    Term,
    TypeSchema,
    Variable,
)

# --- Types and terms -------------------------------------------------------
person = Variable("Person")
company = Variable("Company")
employs = Application(company, person)  # Company -> Person
print("types:", person, company, employs)
print("uid of Person:", person.uid())

acme_ceo = Term("ceo", employs)
acme = Term("acme", company)
print("applied:", acme_ceo(acme), "of type", acme_ceo(acme).type)
try:
    acme_ceo(Term("bob", person))
except TypeError as exc:
    print("type error:", exc)

# --- Schemas: patterns over types ------------------------------------------
schema = TypeSchema("$ (input:*) -> (output:*) $")
print(schema, "matches", employs, "->", schema.matches(employs), schema.capture(employs))

# --- A typed graph ----------------------------------------------------------
# Nodes stand for types (one node per type: a node's uid comes from its type),
# edges stand for terms. Both carry a property dict held by reference.
graph = Graph()
people = Node(person, {"label": "people", "count": 2})
companies = Node(company, {"label": "companies"})
for node in (people, companies):
    graph.nodes[node.uid()] = node

works_for = Edge(Term("works_for", Application(person, company)), people, companies,
                 {"since": 2020})
graph.edges[works_for.uid()] = works_for
print(graph)

# --- Queries ----------------------------------------------------------------
# Builders queue operations; terminal methods run the whole queue.
q = graph.query()
print("all nodes:", q.match("(n)").return_("n"))
print("a path:", q.match("(p:Person)-[e]->(c:Company)").return_("p", "e", "c"))
print("by properties:", q.match(node="n", properties={"label": "people"}).return_("n"))

# Create nodes from a pattern string (their types come from the schemas) ...
created = graph.query().create("(s:Skill)(t:Team -> Person)").return_("s", "t")
print("created:", created, "->", graph)

# ... merge a typed node (found here, so it is bound rather than created) ...
merged = graph.query().merge(node="p", type=person).return_("p")
print("merged:", merged)

# ... set properties on bound nodes (the graph's own Node objects see them) ...
graph.query().match(node="p", type=person).set("p", {"count": 3}).execute()
print("after set:", people.properties)

# ... and delete, removing the edges of deleted nodes as well.
graph.query().match(node="c", type=company).delete("c", detach=True).execute()
print("after delete:", graph)

print("pattern:", PathPattern.parse("(a:A)-[r1]->(b:B)<-[r2]-(c:C)"))
