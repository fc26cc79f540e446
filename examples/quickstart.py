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
# Builders queue operations and return a copy; terminal methods run the whole queue.
print("all nodes:", graph.query().match("(n)").return_("n"))
print("a path:", graph.query().match("(p:Person)-[e]->(c:Company)").return_("p", "e", "c"))
print("by properties:", graph.query().match("(n {label: 'people'})").return_("n"))

# A small social graph. One node per type: each individual is a type of its own.
social = Graph()
names = {"Ada": 36, "Bob": 41, "Cleo": 29, "Dan": 52, "Eve": 33}
folks = {name: Node(Variable(name), {"name": name, "age": age}) for name, age in names.items()}
for node in folks.values():
    social.add_node(node)
for a, b in [("Ada", "Bob"), ("Ada", "Cleo"), ("Bob", "Dan"), ("Cleo", "Eve"), ("Bob", "Eve")]:
    social.add_edge(Edge(Term(f"{a}_knows_{b}", Variable("Knows")), folks[a], folks[b]))

# Two hops: friends of Ada's friends older than 30, oldest first, at most two.
fof = (social.query()
       .match("(a:Ada)-[k1]->(f)-[k2]->(ff)")
       .where("ff.age > $min")
       .params(min=30)
       .order_by("ff", "age", ascending=False)
       .limit(2))
for row in fof.return_("f", "ff"):
    print("friend of a friend:", row["ff"].properties["name"], "via", row["f"].properties["name"])

# Everyone Ada reaches in one to three steps, with the edges of the way.
reach = social.query().match("(a:Ada)-[way*1..3]->(x)").return_("way", "x")
print("reach:", [(r["x"].properties["name"], len(r["way"])) for r in reach])

# An edge created between two bound nodes, with properties of its own.
mentors = Term("mentors", Application(Variable("Dan"), Variable("Ada")))
social.query().match("(d:Dan)").match("(a:Ada)").create(
    edge="m", term=mentors, start="d", end="a", properties={"since": 2021}).execute()
print("mentor edge:", [str(e) for e in social.edges.values() if e.term.name == "mentors"])

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
