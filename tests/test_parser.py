"""PathPattern: construction, add_node / add_edge, and the pattern-string
parser, checked by hand and differentially against the Python model.
(Argument errors and text signatures are in test_binding.py.)"""

import itertools
import os
import sys

import pytest
from hypothesis import given, settings, strategies as st

from voralix import (Application, Edge, EdgePattern, Graph, Node, NodePattern, PathPattern, Term,
                     TypeSchema, Variable)

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "models"))
import path_model  # noqa: E402


def test_entry_points():
    for p in (PathPattern(), PathPattern(None), PathPattern(pattern=None)):
        assert repr(p) == str(p) == "PathPattern(0 nodes, 0 edges)"
        assert p.nodes == [] and p.edges == []
    for make in (PathPattern, PathPattern.parse, PathPattern().parse):
        assert [n.variable for n in make(" (a)-[e]->(b) ").nodes] == ["a", "b"]


def test_add_node_and_add_edge_change_the_path_and_return_copies():
    node, edge = NodePattern("a"), EdgePattern("e", direction="any")
    p = PathPattern()
    q = p.add_node(node)
    assert q is not p and repr(p) == repr(q) == "PathPattern(1 nodes, 0 edges)"
    assert repr(p.add_edge(edge)) == repr(p) == "PathPattern(1 nodes, 1 edges)"
    q.add_node(NodePattern())
    assert repr(q) == "PathPattern(2 nodes, 0 edges)" and repr(p) == "PathPattern(1 nodes, 1 edges)"
    for call in (lambda: p.add_node(None), lambda: p.add_edge(node)):
        with pytest.raises(TypeError):
            call()
    assert [n.variable for n in p.nodes] == ["a"]
    assert [(e.variable, e.direction) for e in p.edges] == [("e", "any")]
    assert p.nodes is not p.nodes and p.nodes[0] is not p.nodes[0] and p.edges[0] is not edge
    p.nodes.append(node)
    assert repr(p) == "PathPattern(1 nodes, 1 edges)"
    assert repr(PathPattern().add_edge(EdgePattern())) == "PathPattern(0 nodes, 1 edges)"


# --- parse failures: every reason, with the text it quotes ------------------
#
# "Node pattern must be enclosed in parentheses" and "Edge pattern must contain
# closing bracket" cannot be reached from any input: a node token always runs
# from its "(" to the matching ")", and an edge token is cut only where the
# bracket depth is back to zero, so it holds a "]" whenever it holds a "[".

@pytest.mark.parametrize("text, pattern, reason", [
    ("", "", "Pattern cannot be empty"),
    (" \t\n\u3000\u00a0\u2029 ", "", "Pattern cannot be empty"),
    ("(a) x (b)", "(a) x (b)", "Unexpected character 'x' outside of node or edge pattern"),
    ("(a)\u00a0(b)", "(a)\u00a0(b)", "Unexpected character '\u00a0' outside of node or edge pattern"),
    (" (a)-[e]->(b)\U0001f600x", "(a)-[e]->(b)\U0001f600x",
     "Unexpected character '\U0001f600' outside of node or edge pattern"),
    ("(a", "(a", "Unmatched parentheses in pattern"),
    ("(a))", "(a))", "Unmatched parentheses in pattern"),
    ("(a)-[e->(b)", "(a)-[e->(b)", "Unmatched brackets in pattern"),
    ("(a)]", "(a)]", "Unmatched brackets in pattern"),
    ("(a)[(b)]", "(a)[(b)]", "Pattern cannot end with an edge"),
    ("(a)<-[r:A -> B]-(b)", "<-[r:A -> B]-", "Cannot have both <- and -> in same edge"),
    ("(a)->(b)", "->", "Edge pattern must contain brackets"),
    ("(a)-][-(b)", "-][-", "Brackets are mismatched"),
    ("(a)]-\t-[(b)", "]--[", "Brackets are mismatched"),
    (")(", ")(", "Pattern must contain at least one node"),
    ("-[e]->(a)", "-[e]->(a)", "Invalid pattern: too many edges for the number of nodes"),
    ("-[]-(a)-[]-(b)", "-[]-(a)-[]-(b)", "Invalid pattern: too many edges for the number of nodes"),
    # A building failure loses to a later tokenizer failure, and the first
    # building failure wins over later ones.
    ("(a)->(b) x", "(a)->(b) x", "Unexpected character 'x' outside of node or edge pattern"),
    ("(a)->(b)(", "(a)->(b)(", "Unmatched parentheses in pattern"),
    ("(a)-][-(b)->(c)", "-][-", "Brackets are mismatched"),
    ("-[e]->(a)->(b)", "->", "Edge pattern must contain brackets"),
])
def test_parse_failures(text, pattern, reason):
    message = f"Invalid pattern '{pattern}': {reason}"
    assert path_model.parse(text) == ("error", message)
    for call in (PathPattern, PathPattern.parse):
        with pytest.raises(ValueError) as info:
            call(text)
        assert info.type is ValueError and info.value.args == (message,)


# --- parse results -----------------------------------------------------------

@pytest.mark.parametrize("text, nodes, edges", [
    ("(n)", ["n"], []),
    ("()", [None], []),
    ("(:Person)", [None], []),
    ("(n:Person)-[e:knows]->(m:Person)", ["n", "m"], [("e", "forward")]),
    ("(a)<-[r]-(b)", ["a", "b"], [("r", "backward")]),
    ("(a)-[r]-(b)", ["a", "b"], [("r", "any")]),
    ("(a)[r](b)", ["a", "b"], [("r", "any")]),
    ("(a)-[r]<-(b)", ["a", "b"], [("r", "any")]),
    ("(a)<[r](b)", ["a", "b"], [("r", "any")]),
    ("(a)<[r-](b)", ["a", "b"], [("r-", "backward")]),
    ("(a)-[r:A -> B]-(b)", ["a", "b"], [("r", "forward")]),
    ("(a)-[e:(A -> B)]->(b)", ["a", "b"], [("e", "forward")]),
    ("(a)-[ (x) e ]->(b)", ["a", "b"], [("e", "forward")]),
    ("(a)-[x ) ( y]->(b)", ["a", "b"], [("x   y", "forward")]),
    ("(n:Person {age: 30})", ["n"], []),
    ("(n {k: v}:T)", ["n"], []),
    ("( n : A : B )", ["n"], []),
    ("-[e]->(a)(b)", ["a", "b"], [("e", "forward")]),
    ("(a:A)-[r1]->(b:B)<-[r2]-(c:C)", ["a", "b", "c"], [("r1", "forward"), ("r2", "backward")]),
    ("\u3000(a)\t-\n[ e\u00a0]\r->  (b)\u2028", ["a", "b"], [("e", "forward")]),
    ("(a [x] -> (y))", ["a [x] -> (y)"], []),
    ("(\u00e9\u0301 :T)-[\u3000\u00e9\u3000]->(\"q\\\")", ["\u00e9\u0301", '"q\\"'], [("\u00e9", "forward")]),
])
def test_parse_results(text, nodes, edges):
    p = PathPattern.parse(text)
    assert [n.variable for n in p.nodes] == nodes
    assert [(e.variable, e.direction) for e in p.edges] == edges
    assert repr(p) == f"PathPattern({len(nodes)} nodes, {len(edges)} edges)"


# --- schemas, observed through the query engine ------------------------------
#
# A hub node S has one edge to each target node; the edge's term has the
# target's type. A node body then shows its schema as the set of targets that
# "(s)-[e]->(BODY)" reaches, an edge body as the set that "(s)-[BODY]->(t)" does.

a, b = Variable("a"), Variable("b")
TARGETS = [Variable(n) for n in ["Person", "A", "B", "knows", "A:B", "A:$B$", "$Person$", "*", "x", "\u00e9",
                                 "ab", "a b", "n"]] + [
    a, b, Application(Variable("A"), Variable("B")), Application(a, b),
    Application(Application(Variable("A"), Variable("B")), Variable("C"))]


@pytest.fixture(scope="module")
def graph():
    g = Graph()
    hub = Node(Variable("S"))
    g.nodes[hub.uid()] = hub
    for i, t in enumerate(TARGETS):
        node = Node(t)
        g.nodes[node.uid()] = node
        edge = Edge(Term(f"t{i}", t), hub, node)
        g.edges[edge.uid()] = edge
    return g


def accepts(schema, t):
    return schema is None or TypeSchema(schema).matches(t)


def expected_bindings(result):
    """What a match of the model's parse result binds: name -> list of type
    texts (edges by their text). The graph is a star of edges t_i from S to
    TARGETS[i]; paths are enumerated hop by hop in edge order, an "any" hop
    forward before backward, no edge twice in one path."""
    _, nodes, edges = result
    if len(nodes) != len(edges) + 1:
        return ValueError
    star = [(f"t{i}", Variable("S"), t) for i, t in enumerate(TARGETS)]
    hits = []

    def extend(path, at, k):  # `at`: the node reached, None before the first hop
        if k == len(edges):
            hits.append(path)
            return
        _, schema, direction = edges[k]
        for name, s, e in star:
            text = f"Edge({name}: S -> {e})"
            if text in path[1::2] or not accepts(schema, e):
                continue
            ways = {"forward": [(s, e)], "backward": [(e, s)], "any": [(s, e), (e, s)]}[direction]
            for frm, to in ways:
                if (frm == at if k else accepts(nodes[0][1], frm)) and accepts(nodes[k + 1][1], to):
                    extend((path if k else [frm]) + [text, to], to, k + 1)

    if edges:
        extend([None], None, 0)
    else:
        hits = [[t] for t in [Variable("S")] + TARGETS if accepts(nodes[0][1], t)]
    bound = {}
    for position, var in enumerate(v for pair in zip(nodes, edges + [(None,)]) for v in
                                   (pair[0][0], pair[1][0])):
        if var is not None and position < 2 * len(nodes) - 1:
            bound[var] = [str(h[position]) for h in hits]
    return bound


def actual_bindings(graph, text, names):
    q = graph.query().match(text)
    if names is ValueError:
        with pytest.raises(ValueError, match="must alternate nodes and edges"):
            q.return_count()
        return ValueError
    return {name: [str(r[name]) if isinstance(r[name], Edge) else str(r[name].type)
                   for r in q.return_(name)] for name in names}


SAME = object()


@pytest.mark.parametrize("body, schema, edge_schema", [
    ("n:Person", "$Person$", SAME),
    (":Person", "$Person$", SAME),
    ("n:$Person$", "$Person$", SAME),
    ("n:*", "$*$", SAME),
    ("n:A -> B", "$A -> B$", SAME),
    ("n:A:B", "$A:B$", SAME),
    ("n:A:$B$", "A:$B$", SAME),
    ("n:Person {age: 30}", "$Person$", SAME),
    ("n: {x}", None, SAME),
    ("n", None, SAME),
    ("", None, SAME),
    ("n:a b", "$a b$", SAME),
    # Inside brackets a parenthesised group is not part of the edge text.
    ("n:(A -> B) -> C", "$(A -> B) -> C$", "$-> C$"),
    ("n:(A -> B)", "$(A -> B)$", None),
])
def test_body_schemas(graph, body, schema, edge_schema):
    node_text, edge_text = f"(s)-[e]->({body})", f"(s)-[{body}]->(t)"
    assert path_model.parse(node_text)[1][1][1] == schema
    assert path_model.parse(edge_text)[2][0][1] == (schema if edge_schema is SAME else edge_schema)
    for text in (node_text, edge_text):
        expected = expected_bindings(path_model.parse(text))
        assert actual_bindings(graph, text, expected) == expected


# --- differential tests against the model -----------------------------------

ALPHABET = list("()[]-<>:{}$* \t\nabx\u00e9\u00a0\u3000")
# Structural characters weighted up, so that random strings reach past the
# tokenizer's first unexpected character.
WEIGHTED = ALPHABET + list("()()[][]--<>  ") * 6

ws = st.sampled_from(["", " ", "\t", "\n ", "\u3000", "\u00a0"])
name = st.sampled_from(["", "a", "b", "ab", "x", "\u00e9", "a b", "n"])
type_text = st.sampled_from(["", "a", "b", "*", "a -> b", "$a$", "(a -> b)", "a:b", "$*$", "x"])


@st.composite
def body(draw):
    text = draw(ws) + draw(name) + draw(ws)
    if draw(st.booleans()):
        text += ":" + draw(ws) + draw(type_text) + draw(ws)
    if draw(st.integers(0, 4)) == 0:
        text += "{" + draw(st.sampled_from(["", "k: 1", "a:b"])) + "}"
    return text


@st.composite
def well_formed(draw):
    parts = ["(" + draw(body()) + ")"]
    for _ in range(draw(st.integers(0, 2))):
        left = draw(st.sampled_from(["-", "<-", "", "<"]))
        right = draw(st.sampled_from(["-", "->", ">", ""]))
        parts.append(draw(st.sampled_from(["", " ", "\t\n"])) + left + "[" + draw(body()) + "]" + right)
        parts.append("(" + draw(body()) + ")")
    text = "".join(parts)
    for _ in range(draw(st.integers(0, 2))):
        i = draw(st.integers(0, len(text)))
        if draw(st.booleans()):
            text = text[:i] + draw(st.sampled_from(ALPHABET)) + text[i:]
        else:
            text = text[:i] + text[i + 1:]
    return text


def check_against_model(text, graph=None):
    result = path_model.parse(text)
    try:
        p = PathPattern.parse(text)
    except ValueError as e:
        assert result == ("error", e.args[0])
        return
    assert result[0] == "ok", result
    _, nodes, edges = result
    assert repr(p) == f"PathPattern({len(nodes)} nodes, {len(edges)} edges)"
    quote = lambda n: "None" if n is None else f"Some({path_model.quote_name(n, lambda c: False)})"
    assert [n.variable for n in p.nodes] == [v for v, _ in nodes]
    assert [(e.variable, e.direction) for e in p.edges] == [(v, d) for v, _, d in edges]
    assert [repr(n) for n in p.nodes] == [f"NodePattern(variable={quote(v)})" for v, _ in nodes]
    assert [repr(e) for e in p.edges] == [f"EdgePattern(variable={quote(v)}, direction={d})"
                                          for v, _, d in edges]
    if graph is not None:
        expected = expected_bindings(result)
        assert actual_bindings(graph, text, expected) == expected


def test_every_short_string_matches_model():
    for n in range(1, 6):
        for chars in itertools.product("()[]-<> x", repeat=n):
            check_against_model("".join(chars))


@settings(max_examples=1500, deadline=None)
@given(st.text(alphabet=st.sampled_from(WEIGHTED), max_size=40))
def test_random_strings_match_model(text):
    check_against_model(text)


@settings(max_examples=600, deadline=None)
@given(well_formed())
def test_generated_paths_match_model(graph, text):
    check_against_model(text, graph)


def test_long_inputs_parse_in_linear_time(run_snippet):
    code = """
        import time
        from voralix import PathPattern
        cases = [
            ("(a)-[e:T]->" * 90909 + "(z)", "PathPattern(90910 nodes, 90909 edges)"),
            ("(" * 100000 + ")" * 100000, "PathPattern(1 nodes, 0 edges)"),
            ("(a)-[" + "(" * 100000 + ")" * 100000 + "]->(b)", "PathPattern(2 nodes, 1 edges)"),
            ("()" * 500000, "PathPattern(500000 nodes, 0 edges)"),
            ("(" * 1000000, "Unmatched parentheses in pattern"),
            ("(a)" + "-[]->" * 200000, "Pattern cannot end with an edge"),
            ("(a)-[]->(b)" * 100000 + " x", "Unexpected character 'x' outside of node or edge pattern"),
        ]
        start = time.perf_counter()
        for text, expected in cases:
            try:
                got = repr(PathPattern.parse(text))
            except ValueError as e:
                got = e.args[0]
                assert got.startswith("Invalid pattern '" + text.strip() + "': "), expected
            assert got.endswith(expected), (got[-80:], expected)
        print(round(time.perf_counter() - start, 3))
    """
    proc = run_snippet(code, timeout=60)
    assert proc.returncode == 0, proc.stderr
    assert float(proc.stdout) < 10
