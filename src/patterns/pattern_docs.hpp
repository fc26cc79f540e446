// Docstrings of NodePattern, EdgePattern and PathPattern: the text after each
// signature line.
#pragma once

namespace voralix::docs {

inline constexpr const char kNodePattern[] =
    R"doc(Selects graph nodes and names the variable they are bound to.

Args:
    variable (str | None): the name matched nodes are bound to; None binds
        nothing.
    type (Variable | Application | None): a node passes only if its type
        equals this one.
    type_schema (str | TypeSchema | None): a node passes only if the schema
        matches its type (see help(TypeSchema)). An object of any other
        kind is ignored.
    properties (dict[str, object] | None): a node passes only if each of
        these properties equals the node's property of that name (Python
        ==, the node's value on the left); a missing property fails.

Raises:
    TypeError: variable is not a str, properties is not a dict or has a key
        that is not a str, or "Expected Variable or Application" for type.

A pattern with no type, schema or properties accepts every node. Only the
variable can be read back; patterns compare by identity. str() and repr()
are NodePattern(variable=Some("name")) or NodePattern(variable=None).

Example:
    >>> NodePattern("n", type_schema="$Person$", properties={"age": 30})
    NodePattern(variable=Some("n"))
    >>> NodePattern().variable is None
    True)doc";

inline constexpr const char kNodePatternVariable[] =
    "The variable name (str), or None when matched nodes are not bound.";

inline constexpr const char kEdgePattern[] =
    R"doc(Selects graph edges and names the variable they are bound to.

Args:
    variable (str | None): the name matched edges are bound to.
    term (Term | None): an edge passes only if its term is this one.
    term_type_schema (str | TypeSchema | None): an edge passes only if the
        schema matches its term's type. An object of any other kind is
        ignored.
    properties (dict[str, object] | None): required property values, as for
        NodePattern.
    direction (str): "forward" (the default: from the path's left node to
        its right one), "backward" or "any" (either way). The text is
        stored as given.

Raises:
    TypeError: variable or direction is not a str, term is not a Term,
        properties is not a dict or has a key that is not a str.

In pattern strings, [e:knows] gives the variable e and the schema
$knows$; -[e]-> is forward, <-[e]- backward and -[e]- any. Patterns
compare by identity. str() and repr() are EdgePattern(variable=...,
direction=...).

Example:
    >>> EdgePattern("e", term_type_schema="$* -> B$")
    EdgePattern(variable=Some("e"), direction=forward)
    >>> EdgePattern(direction="any").direction
    'any')doc";

inline constexpr const char kEdgePatternVariable[] =
    "The variable name (str), or None when matched edges are not bound.";

inline constexpr const char kEdgePatternDirection[] =
    "The direction text (str): \"forward\", \"backward\" or \"any\" for patterns this library "
    "makes; an EdgePattern built by hand keeps whatever text it was given.";

inline constexpr const char kEdgePatternMinHops[] =
    "The least number of hops of a variable-length edge (int): 2 for [e*2..5], 1 for [e*] and "
    "[e*..3]; None for a plain single edge.";

inline constexpr const char kEdgePatternMaxHops[] =
    "The greatest number of hops of a variable-length edge (int): 5 for [e*2..5]; None when "
    "unbounded ([e*2..], [e*]) and for a plain single edge.";

inline constexpr const char kPathPattern[] =
    R"doc(A path of node and edge patterns, such as (n:Person)-[e:knows]->(m:Person).

Args:
    pattern (str | None): a pattern string to parse; None gives an empty
        path.

Raises:
    TypeError: pattern is neither a str nor None.
    ValueError: "Invalid pattern '...': reason" when the string does not
        parse.

Pattern strings: nodes in parentheses, edges in brackets between them,
with arrows for the direction: (a)-[e]->(b), (a)<-[e]-(b), (a)-[e]-(b).
Inside, an optional variable, then a colon and a type schema:
(n:Person) selects nodes whose type matches $Person$, [e:A -> B] edges
whose term type matches $A -> B$, (n:$(x:*)$) uses a schema as written.
Edge i of the path stands between node i and node i + 1.

A path can also be built step by step with add_node and add_edge. The
nodes and edges attributes return copies. str() and repr() give the
counts.

Example:
    >>> p = PathPattern("(a:A)-[r1]->(b:B)<-[r2]-(c:C)")
    >>> p
    PathPattern(3 nodes, 2 edges)
    >>> [e.direction for e in p.edges]
    ['forward', 'backward']
    >>> PathPattern("(a)-[e]->")
    Traceback (most recent call last):
    ValueError: Invalid pattern '(a)-[e]->': Pattern cannot end with an edge)doc";

inline constexpr const char kPathPatternParse[] =
    R"doc(Parses a pattern string into a new PathPattern (the same as PathPattern(pattern)).

Args:
    pattern (str): the pattern string, such as "(n:Person)-[e]->(m)".

Returns:
    PathPattern: the parsed path.

Raises:
    TypeError: pattern is not a str.
    ValueError: "Invalid pattern '...': reason" when it does not parse.

Example:
    >>> [n.variable for n in PathPattern.parse("(n:Person)-[e]->(m)").nodes]
    ['n', 'm'])doc";

inline constexpr const char kPathPatternAddNode[] =
    R"doc(Appends a copy of a node pattern to this path.

The path itself changes, and a separate copy of it is returned: later
changes to either do not reach the other.

Args:
    pattern (NodePattern): the node pattern to append.

Returns:
    PathPattern: a copy of this path after the append.

Raises:
    TypeError: pattern is not a NodePattern (nothing is appended).

Example:
    >>> p = PathPattern()
    >>> p.add_node(NodePattern("a"))
    PathPattern(1 nodes, 0 edges))doc";

inline constexpr const char kPathPatternAddEdge[] =
    R"doc(Appends a copy of an edge pattern to this path.

The path itself changes, and a separate copy of it is returned. The counts
of nodes and edges are not compared here; a query that runs the path
checks its shape.

Args:
    pattern (EdgePattern): the edge pattern to append.

Returns:
    PathPattern: a copy of this path after the append.

Raises:
    TypeError: pattern is not an EdgePattern (nothing is appended).

Example:
    >>> p = PathPattern("(a)")
    >>> p.add_edge(EdgePattern("e")).add_node(NodePattern("b"))
    PathPattern(2 nodes, 1 edges))doc";

inline constexpr const char kPathPatternNodes[] =
    "A new list of copies of the node patterns (NodePattern), in path order.";

inline constexpr const char kPathPatternEdges[] =
    "A new list of copies of the edge patterns (EdgePattern), in path order.";

} // namespace voralix::docs
