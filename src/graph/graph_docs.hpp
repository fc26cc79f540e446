// Docstrings of Node, Edge and Graph: the text after each signature line.
#pragma once

namespace voralix::docs {

inline constexpr const char kNode[] =
    R"doc(A graph node standing for one type, with a dict of properties.

Args:
    type (Variable | Application): the type the node stands for.
    properties (dict | None): the node's properties; the dict itself is
        held, not copied. None gives a new empty dict.

Raises:
    TypeError: properties is not a dict (checked first), or "Expected
        Variable or Application" when type is anything else.

A node's uid depends only on its type, so a graph keyed by uid holds at most
one node per type: storing a second node of the same type replaces the
first. To model individuals (Alice and Bob, both people), give each its own
type (Variable("alice") with a property kind="Person"), or keep them as
data in the properties of one node per type.

Nodes compare by identity: two Node objects with equal uids are still
different objects. str() and repr() are Node(type).

Example:
    >>> people = Node(Variable("Person"), {"count": 2})
    >>> people, people.properties
    (Node(Person), {'count': 2})
    >>> people.uid() == Node(Variable("Person")).uid()
    True)doc";

inline constexpr const char kNodeUid[] =
    R"doc(Returns the unique identifier of this node: the SHA256 hash of "node:"
followed by the uid of its type.

It depends on the type only, never on the properties, and is the node's
key in Graph.nodes.

Returns:
    str: 64 hexadecimal digits.

Example:
    >>> import hashlib
    >>> A = Variable("A")
    >>> Node(A).uid() == hashlib.sha256(("node:" + A.uid()).encode()).hexdigest()
    True)doc";

inline constexpr const char kNodeType[] =
    "The type this node stands for: a new Variable or Application object on every read.";

inline constexpr const char kNodeProperties[] =
    "The node's property dict itself, not a copy: changes to it are seen by every copy of the "
    "node (edges' ends, query results). Assigning a dict replaces this node's dict only; "
    "assigning anything else raises TypeError and deleting raises AttributeError.";

inline constexpr const char kEdge[] =
    R"doc(A directed graph edge standing for one term, from a start node to an end
node, with a dict of properties.

Args:
    term (Term): the term the edge stands for.
    start (Node): the start node.
    end (Node): the end node.
    properties (dict | None): the edge's properties; the dict itself is
        held, not copied. None gives a new empty dict.

Raises:
    TypeError: properties is not a dict (checked first), or term, start or
        end is not of its class.

The edge keeps copies of its end nodes that share their types and
property dicts: a change inside a node's dict is seen through edge.start,
while a node whose properties attribute is given a new dict afterwards is
not. No relation between the term's type and the nodes' types is
required; in a well-typed graph a term of type (A -> B) joins a node of
type A to a node of type B.

An edge's uid depends only on its term. Edges compare by identity. str()
and repr() are Edge(name: start type -> end type).

Example:
    >>> A, B = Variable("A"), Variable("B")
    >>> a, b = Node(A), Node(B)
    >>> e = Edge(Term("f", Application(A, B)), a, b, {"weight": 2})
    >>> e, e.term, e.start
    (Edge(f: A -> B), Term("f", (A -> B)), Node(A))
    >>> e.start.properties is a.properties
    True)doc";

inline constexpr const char kEdgeUid[] =
    R"doc(Returns the unique identifier of this edge: the SHA256 hash of "edge:"
followed by the uid of its term.

It depends on the term only, never on the end nodes or the properties, and
is the edge's key in Graph.edges: two edges of equal terms share a key.

Returns:
    str: 64 hexadecimal digits.

Example:
    >>> A = Variable("A")
    >>> t = Term("t", A)
    >>> Edge(t, Node(A), Node(A)).uid() == Edge(t, Node(Variable("B")), Node(A)).uid()
    True)doc";

inline constexpr const char kEdgeTerm[] =
    "The term this edge stands for: a new Term object on every read (renaming it does not "
    "change the edge).";

inline constexpr const char kEdgeStart[] =
    "The start node: a new Node object on every read, sharing the node's type and property "
    "dict.";

inline constexpr const char kEdgeEnd[] =
    "The end node: a new Node object on every read, sharing the node's type and property dict.";

inline constexpr const char kEdgeProperties[] =
    "The edge's property dict itself, not a copy. Assigning a dict replaces this edge's dict "
    "only; assigning anything else raises TypeError and deleting raises AttributeError.";

inline constexpr const char kGraph[] =
    R"doc(A typed graph: nodes that stand for types, edges that stand for terms.

The graph is two dicts: nodes maps node uids to Node objects and edges
maps edge uids to Edge objects. Fill them with add_node and add_edge
(add_edge also adds missing end nodes), directly, keyed by uid
(graph.nodes[n.uid()] = n), or through queries made with query(). Every
query made from the graph reads and changes the same two dicts, so changes
are seen at once everywhere. The dicts keep insertion order, which is the
order of matches and result rows.

Nothing checks what Python code stores in the dicts: a key that is not the
element's uid, or a value of another class, makes queries fail when they
meet it. check() lists such entries, dangling edges and ill-typed edges.
to_json and from_json save and load a graph; to_networkx, from_networkx
and to_dot convert it. Graphs compare by identity; str() and repr() give
the counts.

Example:
    >>> A, B = Variable("A"), Variable("B")
    >>> g = Graph()
    >>> a, b = Node(A), Node(B)
    >>> for n in (a, b):
    ...     g.nodes[n.uid()] = n
    >>> e = Edge(Term("f", Application(A, B)), a, b)
    >>> g.edges[e.uid()] = e
    >>> g
    Graph(2 nodes, 1 edges)
    >>> g.query().match("(x:A)-[r]->(y)").return_("y")
    [{'y': Node(B)}])doc";

inline constexpr const char kGraphQuery[] = R"doc(Starts a query on this graph.

Returns:
    Query: a new query on this graph's two dicts, with an empty queue and no
    bindings. See help(Query) for the builders and the query language.

Example:
    >>> g = Graph()
    >>> g.query().create(node="p", type=Variable("Person")).return_count()
    1
    >>> g
    Graph(1 nodes, 0 edges))doc";

inline constexpr const char kGraphNodes[] =
    "The node dict itself (not a copy): node uid (str) -> Node. Read only: the attribute "
    "cannot be replaced, but the dict can be changed.";

inline constexpr const char kGraphEdges[] =
    "The edge dict itself (not a copy): edge uid (str) -> Edge. Read only: the attribute "
    "cannot be replaced, but the dict can be changed.";

} // namespace voralix::docs
