// Docstrings of Query: the text after each signature line. help(Query) reads
// as the reference of the builders and of the query language.
#pragma once

namespace voralix::docs {

inline constexpr const char kQuery[] = R"doc(A deferred, Cypher-like query on a graph.

Args:
    graph (Graph): the graph to query. graph.query() does the same.

Raises:
    TypeError: graph is not a Graph.

A query holds a queue of operations and a binding table: one column per
variable, one row per match, each cell empty or holding a node, an edge,
or (for a variable-length edge) a list of edges.

Builders queue one operation each and return a copy of the query; the
query they are called on keeps the operation too. Nothing touches the
graph while building:

    match       bind variables to what a pattern finds
    merge       bind an existing node or edge, or create it
    create      add nodes and edges, and bind them
    where       keep the rows where a condition is true
    params      give values to the $name parameters of conditions
    set         update the properties of bound nodes and edges
    delete      remove bound nodes and edges from the graph
    with_       keep only some columns
    order_by    sort the rows by a property
    skip, limit drop or keep the first rows

Terminal methods run the whole queue, in order, against the live graph,
then answer from the binding table:

    execute          run; return a copy of the query with its bindings
    return_          the rows, as dicts of the requested variables
    return_distinct  the same without repeated rows
    return_count     the number of rows

The queue is never consumed: every terminal call runs it again, starting
from the bindings the previous run left. A failing operation stops the
run and its exception is raised; what the operations before it wrote to
the graph stays. While a terminal method runs, the query is borrowed: a
call on it from a property's __eq__ raises RuntimeError.

Example:
    >>> A, B = Variable("A"), Variable("B")
    >>> g = Graph()
    >>> a, b = Node(A, {"name": "a"}), Node(B, {"name": "b"})
    >>> g.nodes.update({a.uid(): a, b.uid(): b})
    >>> e = Edge(Term("f", Application(A, B)), a, b)
    >>> g.edges[e.uid()] = e
    >>> q = g.query().match("(x:A)-[r]->(y)")
    >>> q.return_("x", "y")
    [{'x': Node(A), 'y': Node(B)}]
    >>> q.return_count()
    1)doc";

inline constexpr const char kQueryMatch[] =
    R"doc(Queues a match: binds variables to the nodes, edges or paths a pattern finds.

Three forms; the first of pattern, node and edge that is given decides,
and the arguments of the other forms are not read:

    match("(p:Person)-[e:knows]->(q)")        a path pattern string
    match(node="n", type=T, type_schema="$Person$", properties={...})
    match(edge="e", term=t, term_type_schema="$A -> B$", properties={...},
          start="s", end="t")

Args:
    pattern (str | None): a path pattern string (see help(PathPattern)).
    node (str | None): the variable of a node match.
    edge (str | None): the variable of an edge match.
    start, end (str | None): edge form: variables bound to each found
        edge's start and end node.
    type (Variable | Application | None): node form: the node's exact type.
    type_schema (str | TypeSchema | None): node form: a schema for the type.
    term (Term | None): edge form: the edge's exact term.
    term_type_schema (str | TypeSchema | None): edge form: a schema for the
        term's type.
    properties (dict[str, object] | None): required property values
        (Python ==).

Returns:
    Query: a copy of this query with the match queued.

Raises:
    TypeError: pattern, node or edge is not a str or None, properties is not
        a dict, or a type or term of the wrong class.
    ValueError: "Invalid pattern '...': reason" for a pattern string that
        does not parse. Nothing is queued.

When it runs, a match replaces the columns of its variables with what it
finds, one row per match, in the order of the graph's dicts.

Paths: every position of the path is bound, one row per path instance.
Hops go forward (a)-[e]->(b), backward (a)<-[e]-(b) or either way
(a)-[e]-(b) (a self-loop matches once). Paths of several hops are walked
like nested loops: by the first hop's edges, then each next hop's edges at
the node reached; an edge is used at most once in a path instance. A
variable-length hop [e*1..3] (also *n, *n.., *..m, *) binds e to the list
of edges walked, in path order, depth-first: a path comes before its
extensions; [e*0..] also matches the empty path. A property block
(n {name: 'Ann', age: 41}) filters like properties=. A variable repeated
in a path does not constrain it (the later position wins): for cycles,
name the positions apart and use where("a = c"). A path whose node count
is not its edge count + 1 raises ValueError "Invalid query: Path pattern
must alternate nodes and edges (match)" when it runs.

Example:
    >>> A, B = Variable("A"), Variable("B")
    >>> g = Graph()
    >>> a, b = Node(A, {"age": 41}), Node(B)
    >>> g.nodes.update({a.uid(): a, b.uid(): b})
    >>> e = Edge(Term("f", Application(A, B)), a, b)
    >>> g.edges[e.uid()] = e
    >>> g.query().match(node="n", properties={"age": 41}).return_("n")
    [{'n': Node(A)}]
    >>> g.query().match("(x)<-[r]-(y:A)").return_("x", "r")
    [{'x': Node(B), 'r': Edge(f: A -> B)}])doc";

inline constexpr const char kQueryMerge[] =
    R"doc(Queues a merge: binds an existing node or edge, or creates it when there is none.

Two forms (a merge has no pattern-string form; pattern is not read):

    merge(node="n", type=T, type_schema=..., properties={...})
    merge(edge="e", term=t, term_type_schema=..., properties={...},
          start="a", end="b")

Args:
    pattern: not read.
    node (str | None): the variable of a node merge.
    edge (str | None): the variable of an edge merge.
    type (Variable | Application | None): node form: the node's type; only
        a typed node merge can create its node.
    type_schema (str | TypeSchema | None): node form: a schema for the type.
    term (Term | None): edge form: the edge's term; only an edge merge with
        a term can create its edge.
    term_type_schema (str | TypeSchema | None): edge form: a schema for the
        term's type.
    start, end (str): edge form, required: the variables whose first bound
        node is the edge's start and end.
    properties (dict[str, object] | None): required property values; a
        created element gets exactly these.

Returns:
    Query: a copy of this query with the merge queued.

Raises:
    TypeError: argument classes, as for match.
    ValueError: "Invalid query: Variable name required" when the edge form
        lacks start or end; "Invalid query: Expected string variable name
        (variable extraction)" when one is not a str.

When it runs, a merge that finds an element appends it to its variable's
column; one that creates replaces the column with the new element. A node
merge finds the first node (in the node dict's order) that passes the
pattern. An edge merge looks only at edges from the first node bound to
start to the first node bound to end, narrowed by term, schema and
properties; when start or end holds no node it does nothing. Because a
node's uid is its type's, a typed merge that finds no node with the given
properties creates one that replaces the graph's node of that type.

Example:
    >>> g, person = Graph(), Variable("Person")
    >>> q = g.query().merge(node="p", type=person, properties={"n": 1})
    >>> q.return_("p")
    [{'p': Node(Person)}]
    >>> q.return_count(), len(g.nodes)
    (2, 1))doc";

inline constexpr const char kQueryCreate[] =
    R"doc(Queues a create: adds nodes and edges to the graph and binds them.

Three forms:

    create("(a:Person)-[k:knows]->(b:Person)")  a path pattern string
    create(node="n", type=T, properties={...})
    create(edge="e", term=t, start="a", end="b", properties={...})

Args:
    pattern (str | None): a path pattern string. Each typed node
        ((a:Person) creates a node of type Person) is created, then each
        edge between them.
    node (str | None): the variable of a created node.
    edge (str | None): the variable of a created edge.
    type (Variable | Application): node form: the new node's type. A node
        without a type is not created.
    term (Term | None): edge form: the new edge's term.
    start, end (str): edge form, required: variables whose first bound node
        is the new edge's start and end.
    properties (dict[str, object] | None): the new element's properties,
        copied into a new dict.

Returns:
    Query: a copy of this query with the create queued.

Raises:
    TypeError: argument classes, as for match.
    ValueError: "Invalid pattern ..." for a pattern string that does not
        parse; "Invalid query: Variable name required" or "Invalid query:
        Expected string variable name (variable extraction)" for a missing
        or non-str start or end of the edge form.

When it runs, each new element is stored under its uid, replacing an
element with the same uid (a node of the same type, an edge of an equal
term), and its variable's column is replaced by it. These raise ValueError
when the create runs, leaving earlier elements created: "Invalid query:
Edge creation requires a term (create)"; "Invalid query: Variable 'a' is
not bound to a node (create)"; and, for the edges of a path, "Cannot
create an undirected edge", "Cannot create a variable-length edge", "Edge
creation requires an edge variable", "Edge type must name exactly one
type", "Edge end node needs a type or a bound variable". In a path, an
edge's term is named by its variable and typed by its type text, or by
(start type -> end type) when it has none.

Example:
    >>> g = Graph()
    >>> q = g.query().create(node="p", type=Variable("Person"), properties={"name": "Ann"})
    >>> q.return_count()
    1
    >>> [n.properties for n in g.nodes.values()]
    [{'name': 'Ann'}]
    >>> g.query().create("(a:A)-[f]->(b:B)").return_("f")
    [{'f': Edge(f: A -> B)}])doc";

inline constexpr const char kQueryWhere[] =
    R"doc(Queues a filter: keeps the rows where a condition is true.

Args:
    condition (str): the condition, in the language below. Any str is
        accepted here; it is parsed when a terminal method starts, before
        any operation runs, so a syntax error never leaves half a run.

Returns:
    Query: a copy of this query with the filter queued.

Raises:
    TypeError: condition is not a str.

Terminal methods raise ValueError "Invalid query: <reason> at offset N
(where)" for a syntax error (N counts code points from 0), "Invalid query:
Variable 'x' not defined (where)" for a name that is no column, "Invalid
query: Parameter 'p' not given (where)" for a missing parameter, and
TypeError "Type mismatch: expected boolean, got <kind> (in where)" for a
condition or a logical operand that is neither boolean nor null, or
"Type mismatch: expected list, got <kind> (in where)" for the right side
of IN.

Language (keywords and function names in any case):

    condition  = [ or ] ;                      (empty: true)
    or         = xor { "OR" xor } ;
    xor        = and { "XOR" and } ;
    and        = not { "AND" not } ;
    not        = { "NOT" } test ;
    test       = operand [ ("=" | "<>" | "!=" | "<" | "<=" | ">" | ">=") operand
                         | "IS" [ "NOT" ] "NULL"
                         | "IN" operand
                         | ("STARTS" "WITH" | "ENDS" "WITH" | "CONTAINS") operand
                         | ":" ( Name | "$" schema "$" ) ] ;
    operand    = literal | "[" [ condition { "," condition } ] "]"
               | "$" name | variable | function "(" condition ")"
               | "(" condition ")" | operand "." key ;

Literals: 'text' or "text" (escapes \\ \' \" \n \t \r \uXXXX), integers,
floats, true, false, null. Names and keys may be back-quoted: `odd key`.
Functions: uid(x), type(x) (type text; an edge's term type), name(e)
(term name), start(e), end(e), size(list or string). v:Person tests a
node's type (an edge's term type) against the schema $Person$.

Values are null, boolean, number, string, list, map, node, edge, edge
list or other. Logic is three-valued (Kleene) and only true keeps a row.
An empty cell, a missing property and None are null; = and <> with a null
give null; numbers compare exactly (1 = 1.0; booleans are not numbers);
nodes and edges compare by uid; values of different kinds are not equal;
< > <= >= compare numbers, strings, booleans and lists, and give null for
other pairs. x IN list is true if an element is equal, null if a
comparison was null, else false.

Example:
    >>> g, person = Graph(), Variable("Person")
    >>> ann = Node(person, {"name": "Ann", "age": 41})
    >>> g.nodes[ann.uid()] = ann
    >>> people = g.query().match("(p:Person)")
    >>> people.where("p.age > 40 AND p.name STARTS WITH 'A'").return_count()
    1
    >>> g.query().match("(p:Person)").where("p.age > $min").params(min=50).return_count()
    0)doc";

inline constexpr const char kQueryParams[] =
    R"doc(Gives values to the $name parameters of the queued conditions.

Pass user input as parameters instead of pasting it into condition text.
Later values replace earlier ones of the same name.

Args:
    **values: parameter name to value. None is null, bool a boolean, int
        and float numbers, str a string, list and tuple lists, Node and Edge
        objects compare by uid; anything else is an opaque value.

Returns:
    Query: a copy of this query with the values recorded.

Example:
    >>> g, person = Graph(), Variable("Person")
    >>> ann = Node(person, {"name": "Ann"})
    >>> g.nodes[ann.uid()] = ann
    >>> q = g.query().match("(p:Person)").where("p.name = $name")
    >>> q.params(name="Ann").return_count()
    1)doc";

inline constexpr const char kQuerySet[] =
    R"doc(Queues a property update of the nodes and edges bound to a variable.

Every key of properties is stored into the property dict of every node
and edge bound to the variable (each edge of an edge list too), adding or
overwriting keys; other keys stay. The graph's own elements see the change:
they share their property dicts with the bound values. An unbound variable
is passed over.

Args:
    variable (str): the variable whose bound values to update.
    properties (dict): the keys and values to store; held, not copied, so
        it is read when the query runs.

Returns:
    Query: a copy of this query with the update queued.

Raises:
    TypeError: variable is not a str or properties is not a dict.

Example:
    >>> g, person = Graph(), Variable("Person")
    >>> ann = Node(person)
    >>> g.nodes[ann.uid()] = ann
    >>> q = g.query().match(node="p", type=person).set("p", {"age": 42}).execute()
    >>> ann.properties
    {'age': 42})doc";

inline constexpr const char kQueryDelete[] =
    R"doc(Queues the removal of the nodes and edges bound to variables.

Each bound node is removed from the graph's node dict and each bound edge
from the edge dict, by uid; an element already gone and an unbound name
are passed over. The bindings stay: deleted elements are still returned as
rows.

Args:
    *variables (str): the variables whose bound values to remove, each
        given separately.
    detach (bool): also remove every edge whose start or end node was
        removed. Without it such edges stay in the graph.

Returns:
    Query: a copy of this query with the removal queued.

Raises:
    TypeError: a name is not a str or detach is not a bool.

Example:
    >>> A, B = Variable("A"), Variable("B")
    >>> g = Graph()
    >>> a, b = Node(A), Node(B)
    >>> g.nodes.update({a.uid(): a, b.uid(): b})
    >>> e = Edge(Term("f", Application(A, B)), a, b)
    >>> g.edges[e.uid()] = e
    >>> q = g.query().match(node="n", type=A).delete("n", detach=True).execute()
    >>> g
    Graph(1 nodes, 0 edges))doc";

inline constexpr const char kQueryWith[] =
    R"doc(Queues a projection: keeps only the named columns of the binding table.

Later operations see only these variables; naming one that is not a column
raises ValueError "Invalid query: Variable 'x' not defined (with)" when the
query runs.

Args:
    *variables (str): the variables to keep, each given separately.

Returns:
    Query: a copy of this query with the projection queued.

Raises:
    TypeError: a name is not a str.

Example:
    >>> A, B = Variable("A"), Variable("B")
    >>> g = Graph()
    >>> a, b = Node(A), Node(B)
    >>> g.nodes.update({a.uid(): a, b.uid(): b})
    >>> e = Edge(Term("f", Application(A, B)), a, b)
    >>> g.edges[e.uid()] = e
    >>> g.query().match("(x)-[r]->(y)").with_("x").return_("x", "y")
    [{'x': Node(A)}])doc";

inline constexpr const char kQueryOrderBy[] =
    R"doc(Queues a sort of the rows by a property of a variable.

The sort is stable. Consecutive order_by calls form one compound key, the
first call the primary one. Ascending order across kinds of values: dicts
< lists and tuples (element by element) < strings < booleans < numbers <
NaN < other objects (by type name, then <) < null (an empty cell, a
missing key or None). Descending reverses it; tied rows keep their order
either way.

Args:
    variable (str): the variable whose property to sort by.
    key (str): the property key.
    ascending (bool): True (the default) for ascending order.

Returns:
    Query: a copy of this query with the sort queued.

Raises:
    TypeError: variable or key is not a str, or ascending is not a bool.

A variable that is not a column raises ValueError "Invalid query:
Variable 'x' not defined (order by)" when the query runs; a comparison
that raises ends the run with that exception.

Example:
    >>> g = Graph()
    >>> for name, age in (("A", 41), ("B", 29), ("C", 35)):
    ...     n = Node(Variable(name), {"age": age})
    ...     g.nodes[n.uid()] = n
    >>> rows = g.query().match("(p)").order_by("p", "age").return_("p")
    >>> [r["p"].properties["age"] for r in rows]
    [29, 35, 41])doc";

inline constexpr const char kQuerySkip[] = R"doc(Queues dropping the first rows.

Args:
    count (int): how many rows to drop, from 0 to 2**64 - 1.

Returns:
    Query: a copy of this query with the operation queued.

Raises:
    OverflowError: count is negative or too large.
    TypeError: count is not an int.

skip and limit act where they stand in the queue: order_by(...).skip(20)
.limit(10) gives the third page of ten.

Example:
    >>> g = Graph()
    >>> for name in "ABCDE":
    ...     n = Node(Variable(name))
    ...     g.nodes[n.uid()] = n
    >>> g.query().match("(p)").skip(3).return_count()
    2)doc";

inline constexpr const char kQueryLimit[] = R"doc(Queues keeping only the first rows.

A limit stops the reads before it as soon as it has its rows, so a
limited match over a large graph reads only what it needs; conditions on
rows past the limit may never run. Writes before it still see all their
input.

Args:
    count (int): how many rows to keep, from 0 to 2**64 - 1.

Returns:
    Query: a copy of this query with the operation queued.

Raises:
    OverflowError: count is negative or too large.
    TypeError: count is not an int.

Example:
    >>> g = Graph()
    >>> for name in "ABCDE":
    ...     n = Node(Variable(name))
    ...     g.nodes[n.uid()] = n
    >>> g.query().match("(p)").limit(2).return_("p")
    [{'p': Node(A)}, {'p': Node(B)}])doc";

inline constexpr const char kQueryExecute[] =
    R"doc(Runs the queue and returns a copy of the query with its bindings.

Use it to run writes (create, merge, set, delete) without building rows.

Returns:
    Query: a new query with the same graph, queue and bindings. This query
    keeps them too.

Raises:
    Whatever an operation raises (see help(Query)).

Example:
    >>> g = Graph()
    >>> q = g.query().create(node="p", type=Variable("Person")).execute()
    >>> len(g.nodes), q.return_count()
    (1, 1))doc";

inline constexpr const char kQueryReturn[] =
    R"doc(Runs the queue and returns the rows for the requested variables.

Row i maps each requested variable whose cell in row i is filled to a new
Node or Edge object (for a variable-length edge: a list of Edge objects in
path order). The objects share their type, term and property dict with
the graph's element. Rows in which none of the requested variables is
filled are left out.

Args:
    *variables (str): the variables to return, each given separately. An
        unbound name is passed over.

Returns:
    list[dict[str, Node | Edge | list[Edge]]]: the rows, in order.

Raises:
    TypeError: a name is not a str (before anything runs).
    Whatever an operation raises (see help(Query)).

Example:
    >>> g = Graph()
    >>> for name in "AB":
    ...     n = Node(Variable(name))
    ...     g.nodes[n.uid()] = n
    >>> g.query().match("(n)").return_("n")
    [{'n': Node(A)}, {'n': Node(B)}]
    >>> g.query().match("(n)").return_()
    [])doc";

inline constexpr const char kQueryReturnDistinct[] =
    R"doc(Runs the queue and returns the rows for the requested variables, each row once.

As return_, but a row whose values are the same elements (by kind and uid)
as an earlier row's is left out.

Args:
    *variables (str): the variables to return, each given separately.

Returns:
    list[dict[str, Node | Edge | list[Edge]]]: the distinct rows, in order
    of first appearance.

Raises:
    TypeError: a name is not a str (before anything runs).
    Whatever an operation raises (see help(Query)).

Example:
    >>> A, B = Variable("A"), Variable("B")
    >>> g = Graph()
    >>> a, b = Node(A), Node(B)
    >>> g.nodes.update({a.uid(): a, b.uid(): b})
    >>> for name in ("f", "g"):
    ...     e = Edge(Term(name, Application(A, B)), a, b)
    ...     g.edges[e.uid()] = e
    >>> g.query().match("(x)-[r]->(y)").return_distinct("x")
    [{'x': Node(A)}])doc";

inline constexpr const char kQueryReturnCount[] =
    R"doc(Runs the queue and returns the number of rows.

The count is the length of the binding table: every row with a filled
cell, whichever variables it binds. No row objects are built.

Returns:
    int: the number of rows (0 when nothing is bound).

Raises:
    Whatever an operation raises (see help(Query)).

Example:
    >>> g = Graph()
    >>> for name in "ABC":
    ...     n = Node(Variable(name))
    ...     g.nodes[n.uid()] = n
    >>> g.query().match("(n)").return_count()
    3)doc";

} // namespace voralix::docs
