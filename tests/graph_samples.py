"""Generated graphs and their comparison, shared by the round-trip tests
(JSON, pickle, copies, networkx)."""

import math

from hypothesis import strategies as st

from voralix import Application, Edge, Graph, Node, Term, Variable


def same(a, b):
    """Equal values of the same classes, all the way down (1 == 1.0 == True
    would hide a changed class)."""
    if type(a) is not type(b):
        return False
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, (list, tuple)):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, float) and math.isnan(a):
        return math.isnan(b)
    return a == b


def snapshot(g):
    """Everything a round trip keeps: keys in order, uids, types, terms,
    properties, end nodes, and which end nodes share the graph node's dict."""
    def node_view(n):
        return (n.uid(), n.type, n.properties)

    def shares(n):
        stored = g.nodes.get(n.uid())
        return stored is not None and stored.properties is n.properties

    nodes = [(k, node_view(n)) for k, n in g.nodes.items()]
    edges = [(k, e.uid(), e.term, node_view(e.start), node_view(e.end), e.properties,
              shares(e.start), shares(e.end)) for k, e in g.edges.items()]
    return nodes, edges


def assert_same_graph(g, h, edges_in_order=True):
    (g_nodes, g_edges), (h_nodes, h_edges) = snapshot(g), snapshot(h)
    if not edges_in_order:
        g_edges, h_edges = (sorted(e, key=lambda entry: entry[0]) for e in (g_edges, h_edges))
    assert same_structure((g_nodes, g_edges), (h_nodes, h_edges))


def same_structure(a, b):
    if isinstance(a, tuple) and isinstance(b, tuple):
        return len(a) == len(b) and all(same_structure(x, y) for x, y in zip(a, b))
    if isinstance(a, list) and isinstance(b, list) and a and isinstance(a[0], tuple):
        return len(a) == len(b) and all(same_structure(x, y) for x, y in zip(a, b))
    if isinstance(a, (Variable, Application, Term)):
        return type(a) is type(b) and a == b
    return same(a, b)


names = st.text(alphabet="ABCé\u03bb", min_size=0, max_size=3)
types = st.recursive(names.map(Variable), lambda t: st.tuples(t, t).map(lambda p: Application(*p)),
                     max_leaves=6)
text_values = st.text(alphabet=st.characters(codec=None, exclude_categories=()), max_size=6)
json_values = st.recursive(
    st.none() | st.booleans() | st.integers() | st.integers(min_value=2**64, max_value=2**200)
    | st.floats(allow_nan=False, allow_infinity=False) | text_values,
    lambda v: st.lists(v, max_size=3) | st.dictionaries(text_values, v, max_size=3),
    max_leaves=8)
property_dicts = st.dictionaries(text_values, json_values, max_size=3)


@st.composite
def graphs(draw, values=property_dicts, faithful=False):
    """Graphs with every kind of entry; `faithful` ones hold only what a
    networkx graph can: elements under their uids, edges between stored nodes
    (sharing their dicts), and no property named "type" or "term"."""
    if faithful:
        values = values.map(lambda d: {k: v for k, v in d.items() if k not in ("type", "term")})
    g = Graph()
    nodes = []
    for t in draw(st.lists(types, max_size=6)):
        n = Node(t, draw(values))
        g.add_node(n)
        nodes.append(n)
    nodes = list(g.nodes.values())

    def end():
        if faithful:
            return draw(st.sampled_from(nodes))
        if nodes and draw(st.booleans()):
            n = draw(st.sampled_from(nodes))
            # The edge copy shares the stored node's dict, or carries its own.
            return n if draw(st.booleans()) else Node(n.type, draw(values))
        return Node(draw(types), draw(values))

    for _ in range(draw(st.integers(0, 6 if nodes or not faithful else 0))):
        start, finish = end(), end()
        well_typed = draw(st.booleans())
        term_type = Application(start.type, finish.type) if well_typed else draw(types)
        e = Edge(Term(draw(names), term_type), start, finish, draw(values))
        g.edges[e.uid()] = e
    if not faithful and draw(st.booleans()) and nodes:  # a key that is not the uid survives too
        g.nodes["not a uid"] = nodes[0]
    return g


any_values = st.recursive(
    st.none() | st.booleans() | st.integers() | st.floats() | text_values | st.binary(max_size=4)
    | st.complex_numbers(allow_nan=False),
    lambda v: st.lists(v, max_size=3) | st.dictionaries(st.integers() | text_values, v, max_size=3)
    | st.tuples(v, v) | st.frozensets(st.integers(), max_size=3),
    max_leaves=8)
any_property_dicts = st.dictionaries(text_values | st.integers(), any_values, max_size=3)
