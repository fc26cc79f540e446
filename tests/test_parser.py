"""PathPattern: construction, add_node / add_edge, and the pattern-string
parser, checked by hand and differentially against the Python model.
(Argument errors and text signatures are in test_binding.py.)"""

import gc
import itertools
import os
import pathlib
import shutil
import subprocess
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
    ("( n : A : B )", ["n"], []),
    ("-[e]->(a)(b)", ["a", "b"], [("e", "forward")]),
    ("(a:A)-[r1]->(b:B)<-[r2]-(c:C)", ["a", "b", "c"], [("r1", "forward"), ("r2", "backward")]),
    ("\u3000(a)\t-\n[ e\u00a0]\r->  (b)\u2028", ["a", "b"], [("e", "forward")]),
    ("(a [x] -> (y))", ["a [x] -> (y)"], []),
    ("(\u00e9\u0301 :T)-[\u3000\u00e9\u3000]->(\"q\\\\\")", ["\u00e9\u0301", '"q\\\\"'], [("\u00e9", "forward")]),
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
    forward before backward, no edge twice in one path. Its nodes and edges
    have no properties, so a pattern with a property block matches none of
    them. None for quantified edges (left to the query tests)."""
    _, nodes, edges = result
    if len(nodes) != len(edges) + 1:
        return ValueError
    if any(hops for *_, hops in edges):
        return None
    node_ok = lambda k, t: accepts(nodes[k][1], t) and not nodes[k][2]
    star = [(f"t{i}", Variable("S"), t) for i, t in enumerate(TARGETS)]
    hits = []

    def extend(path, at, k):  # `at`: the node reached, None before the first hop
        if k == len(edges):
            hits.append(path)
            return
        _, schema, direction, props, _ = edges[k]
        for name, s, e in star:
            text = f"Edge({name}: S -> {e})"
            if text in path[1::2] or not accepts(schema, e) or props:
                continue
            ways = {"forward": [(s, e)], "backward": [(e, s)], "any": [(s, e), (e, s)]}[direction]
            for frm, to in ways:
                if (frm == at if k else node_ok(0, frm)) and node_ok(k + 1, to):
                    extend((path if k else [frm]) + [text, to], to, k + 1)

    if edges:
        extend([None], None, 0)
    else:
        hits = [[t] for t in [Variable("S")] + TARGETS if node_ok(0, t)]
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
    ("n:Person {}", "$Person$", SAME),
    ("n:Person {age: 30}", "$Person$", SAME),
    ("n: {}", None, SAME),
    ("n", None, SAME),
    ("", None, SAME),
    ("n:a b", "$a b$", SAME),
    # Inside brackets a parenthesised group is not part of the edge text.
    ("n:(A -> B) -> C", "$(A -> B) -> C$", "$-> C$"),
    ("n:(A -> B)", "$(A -> B)$", None),
    # Quoted text is not structure: its colon, brace or parenthesis is text.
    ("'x:y'", None, SAME),
    ("n:'A'", "$'A'$", SAME),
    ("n:A {s: ':'}", "$A$", SAME),
    ("n:A {s: '(B)'}", "$A$", SAME),
])
def test_body_schemas(graph, body, schema, edge_schema):
    node_text, edge_text = f"(s)-[e]->({body})", f"(s)-[{body}]->(t)"
    assert path_model.parse(node_text)[1][1][1] == schema
    assert path_model.parse(edge_text)[2][0][1] == (schema if edge_schema is SAME else edge_schema)
    for text in (node_text, edge_text):
        expected = expected_bindings(path_model.parse(text))
        if expected is not None:
            assert actual_bindings(graph, text, expected) == expected


# --- quoted strings ------------------------------------------------------------

@pytest.mark.parametrize("text, nodes, edges", [
    ("(n {s: 'a)b'})", ["n"], []),
    ("(n {s: \"(\"})-[e]->(m)", ["n", "m"], [("e", "forward")]),
    ("(a)-[e {s: '(x)'}]->(b)", ["a", "b"], [("e", "forward")]),
    ("(a)<-[e {s: '->'}]-(b)", ["a", "b"], [("e", "backward")]),
    ("(a)-[e {s: '<-'}]-(b)", ["a", "b"], [("e", "any")]),
    ("(a)-[e {s: '-'}](b)", ["a", "b"], [("e", "any")]),
    ("(a)-[e {s: '>'}]-(b)", ["a", "b"], [("e", "any")]),
    ("(a)-[e {s: ']['}]->(b)", ["a", "b"], [("e", "forward")]),
    ("(a)-['x]' :T]->(b)", ["a", "b"], [("'x]'", "forward")]),
    ("('a:b')", ["'a:b'"], []),
    ("('a{b' :T)", ["'a{b'"], []),
    ("(\"it's\")", ['"it\'s"'], []),
    ("('a\\'b)')", ["'a\\'b)'"], []),
    ("('a\\\\')", ["'a\\\\'"], []),
    ("('\\q')", ["'\\q'"], []),  # escapes are only read inside property blocks
    ("(n {s: 'x\ny'})", ["n"], []),
    ("(a)-[ ( ')' ) e]->(b)", ["a", "b"], [("e", "forward")]),
])
def test_quoted_strings_are_atomic(text, nodes, edges):
    assert path_model.parse(text)[0] == "ok"
    p = PathPattern.parse(text)
    assert [n.variable for n in p.nodes] == nodes
    assert [(e.variable, e.direction) for e in p.edges] == edges


# --- variable-length edges -------------------------------------------------------

U64 = 2**64 - 1


@pytest.mark.parametrize("body, variable, schema, hops", [
    ("e*1..3", "e", None, (1, 3)),
    ("e:knows*2..", "e", "$knows$", (2, None)),
    ("*..2", None, None, (1, 2)),
    ("e:* -> B *1..2", "e", "$* -> B$", (1, 2)),
    ("*", None, None, (1, None)),
    ("e*", "e", None, (1, None)),
    ("e:knows*", "e", "$knows$", (1, None)),
    ("e:\u00e9*", "e", "$\u00e9$", (1, None)),
    ("e:A_1*", "e", "$A_1$", (1, None)),
    ("e*3", "e", None, (3, 3)),
    ("e*0..", "e", None, (0, None)),
    ("e*..", "e", None, (1, None)),
    ("e*007..0010", "e", None, (7, 10)),
    ("e * 2 .. 5", "e", None, (2, 5)),
    ("e*\u3000..\t4", "e", None, (1, 4)),
    ("e*5..2", "e", None, (5, 2)),
    (f"e*{U64}", "e", None, (U64, U64)),
    (f"e*0..{U64}", "e", None, (0, U64)),
    ("e:*..", "e", None, (1, None)),
    ("e:* *", "e", "$* *$", None),
    ("e:* *2", "e", "$*$", (2, 2)),
    ("**", "*", None, (1, None)),
    ("e*1..3 {w: 1}", "e", None, (1, 3)),
    ("e:knows* {since: 2020}", "e", "$knows$", (1, None)),
    # the schema wildcard
    ("e:*", "e", "$*$", None),
    ("e: *", "e", "$*$", None),
    ("e:A -> *", "e", "$A -> *$", None),
    ("e:A->*", "e", "$A->*$", None),
    ("e:knows *", "e", "$knows *$", None),
    ("e:$x$*", "e", "$x$*", None),
    ("e:A.*", "e", "$A.*$", None),
    # no quantifier: the body keeps its plain reading
    ("e*x", "e*x", None, None),
    ("e *", "e *", None, None),
    ("e*1.5", "e*1.5", None, None),
    ("e*1...3", "e*1...3", None, None),
    ("e*-1", "e*-1", None, None),
    ("e*+1", "e*+1", None, None),
    ("e*1..2..3", "e*1..2..3", None, None),
    ("e*2:T", "e*2", "$T$", None),
    ("e*\u0662", "e*\u0662", None, None),  # only ASCII digits count
    ("'a*'", "'a*'", None, None),
    ("'a:b'*", "'a:b'", None, (1, None)),
    ("'a:b' *", "'a:b' *", None, None),
    ("e*'2'", "e*'2'", None, None),
    ("e:'*'", "e", "$'*'$", None),
])
def test_quantifiers(graph, body, variable, schema, hops):
    text = f"(s)-[{body}]->(t)"
    _, nodes, edges = path_model.parse(text)
    assert edges[0][0] == variable and edges[0][1] == schema and edges[0][4] == hops
    edge, = PathPattern.parse(text).edges
    assert (edge.variable, edge.min_hops, edge.max_hops) == (variable, *(hops or (None, None)))
    if (hops is None or hops[0] == 1) and "{" not in body:
        # No target has an edge of its own, so every path from the hub has one
        # hop: the end nodes show the edge's schema whatever the hop bounds.
        t = [str(r["t"].type) for r in graph.query().match(text).return_("t")]
        assert t == [str(x) for x in TARGETS if accepts(schema, x)]
    # A node body has no quantifier: its star stays text.
    node, = PathPattern.parse(f"({body})").nodes
    assert node.variable == path_model.parse(f"({body})")[1][0][0]


def test_edge_pattern_hop_attributes():
    plain = EdgePattern("e")
    assert plain.min_hops is None and plain.max_hops is None
    for name in ("min_hops", "max_hops"):
        with pytest.raises(AttributeError):
            setattr(plain, name, 1)
        assert getattr(EdgePattern, name).__doc__
    p = PathPattern.parse("(a)-[e*2..5]->(b)-[f]->(c)-[g*3..]->(d)")
    hops = [(e.min_hops, e.max_hops) for e in p.edges]
    assert hops == [(2, 5), (None, None), (3, None)]
    # Copies keep the bounds: the edges attribute, add_edge and its result.
    q = PathPattern().add_edge(p.edges[0]).add_edge(p.edges[2])
    assert [(e.min_hops, e.max_hops) for e in q.edges] == [(2, 5), (3, None)]
    assert repr(p.edges[0]) == "EdgePattern(variable=Some(\"e\"), direction=forward)"


# --- property blocks -----------------------------------------------------------

def tagged(value):
    """A value with every type made explicit, so that 1, 1.0 and True differ."""
    if isinstance(value, dict):
        return ["dict", [[k, tagged(v)] for k, v in value.items()]]
    if isinstance(value, list):
        return ["list", [tagged(v) for v in value]]
    return [type(value).__name__, repr(value)]


def referents(pattern):
    """A pattern's required property values, in the property map's order."""
    return [o for o in gc.get_referents(pattern) if not isinstance(o, type)]


def created_properties(body):
    """The property dict of the node that creating "(n:T BODY)" stores."""
    g = Graph()
    g.query().create(f"(n:T {body})").return_("n")
    node, = g.nodes.values()
    return node.properties


INF = float("inf")


@pytest.mark.parametrize("literal, value", [
    ("'a)b'", "a)b"),
    ("'(x)'", "(x)"),
    ("''", ""),
    ("\"it's\"", "it's"),
    ("'say \"hi\"'", "say \"hi\""),
    (r"'\\ \' \" \n \t \r'", "\\ ' \" \n \t \r"),
    (r'"\'\""', "'\""),
    (r"'\u00e9\u004A\u00E9'", "\u00e9J\u00e9"),
    (r"'\ud83d\ude00'", "\U0001f600"),
    (r"'\uD83D\uDE00x'", "\U0001f600x"),
    (r"'\u0000'", "\0"),
    ("'raw\nline\u3000\U0001f600'", "raw\nline\u3000\U0001f600"),
    ("12", 12),
    ("-7", -7),
    ("007", 7),
    ("-0", 0),
    ("123456789012345678901234567890", 123456789012345678901234567890),
    ("-98765432109876543210987654321098765432109876543210",
     -98765432109876543210987654321098765432109876543210),
    ("1.5", 1.5),
    (".5", 0.5),
    ("-.5", -0.5),
    ("5.", 5.0),
    ("1e3", 1000.0),
    ("1E+2", 100.0),
    ("5.e3", 5000.0),
    ("-2.5E-3", -0.0025),
    ("-0.0", -0.0),
    ("0.1", 0.1),
    ("1e999", INF),
    ("-1e999", -INF),
    ("true", True),
    ("TRUE", True),
    ("tRuE", True),
    ("False", False),
    ("null", None),
    ("NULL", None),
    ("nUlL", None),
    ("[]", []),
    ("[ ]", []),
    ("[1, 'a', [true, [null, []]], 2.0]", [1, "a", [True, [None, []]], 2.0]),
    ("[\u30001\u00a0,2\n]", [1, 2]),
    ("[[[]]]", [[[]]]),
])
def test_property_values(literal, value):
    block = "{k: " + literal + "}"
    assert tagged(dict(path_model.parse(f"(n {block})")[1][0][2])) == tagged({"k": value})
    assert tagged(created_properties(block)) == tagged({"k": value})
    node, = PathPattern.parse(f"(n {block})").nodes
    edge, = PathPattern.parse(f"(a)-[e {block}]->(b)").edges
    assert tagged(referents(node)) == tagged(referents(edge)) == tagged([value])


@pytest.mark.parametrize("block, expected", [
    ("{}", {}),
    ("{ }", {}),
    ("{age: 30}", {"age": 30}),
    ("{name: 'Alice', age: 30}", {"name": "Alice", "age": 30}),
    ("{'my key': 1, \"other\": 2}", {"my key": 1, "other": 2}),
    ("{'': 1}", {"": 1}),
    (r"{'\u00e9\n': 1}", {"\u00e9\n": 1}),
    ("{_x: 1, k1: 2, \u00e9t\u00e9: 3, a\u0301: 4, x\u0661: 5}",
     {"_x": 1, "k1": 2, "\u00e9t\u00e9": 3, "a\u0301": 4, "x\u0661": 5}),
    ("{a: 1, a: 2}", {"a": 2}),
    ("{a: 1, b: 2, a: 3}", {"a": 3, "b": 2}),
    ("{a: 1, 'a': 2}", {"a": 2}),
    ("{\u3000a\u00a0:\u2000[1]\u2028,b:2}", {"a": [1], "b": 2}),
    ("{true: false, null: 0}", {"true": False, "null": 0}),
])
def test_property_keys(block, expected):
    assert tagged(created_properties(block)) == tagged(expected)
    assert tagged(dict(path_model.parse(f"(n {block})")[1][0][2])) == tagged(expected)


def test_property_block_filters_like_keyword_properties():
    g = Graph()
    for age in (30, 30.0, 31, True, "30"):
        node = Node(Variable(f"T{age!r}"), {"age": age})
        g.nodes[node.uid()] = node
    bare = Node(Variable("bare"))
    g.nodes[bare.uid()] = bare
    by_block = [str(r["n"].type) for r in g.query().match("(n {age: 30})").return_("n")]
    by_keyword = [str(r["n"].type)
                  for r in g.query().match(node="n", properties={"age": 30}).return_("n")]
    assert by_block == by_keyword == ["T30", "T30.0"]
    for i, w in enumerate((1, 1.0, 2, [1], None)):
        edge = Edge(Term(f"t{i}", Variable("R")), bare, bare, {"w": w, "k": "x"})
        g.edges[edge.uid()] = edge
    for block, keyword in [("{w: 1}", {"w": 1}), ("{w: [1], k: 'x'}", {"w": [1], "k": "x"}),
                           ("{w: null}", {"w": None}), ("{k: 'y'}", {"k": "y"})]:
        by_block = [r["e"].term.name
                    for r in g.query().match(f"(a)-[e {block}]->(b)").return_("e")]
        by_keyword = [r["e"].term.name for r in g.query().match(
            edge="e", properties=keyword, start="a", end="b").return_("e")]
        assert by_block == by_keyword, block
        assert by_block == [f"t{i}" for i, w in enumerate((1, 1.0, 2, [1], None))
                            if w == keyword.get("w", w) and keyword.get("k", "x") == "x"]


# The pattern part is the node or edge text; the reason names the problem.
@pytest.mark.parametrize("text, pattern, reason", [
    ("(n {a: 1,})", None, "trailing comma before '}'"),
    ("(n {a: [1,]})", None, "trailing comma before ']'"),
    ("(n {a: [1, ]})", None, "trailing comma before ']'"),
    ("(n {age 30})", None, "expected ':' after key 'age'"),
    ("(n {'my key' 30})", None, "expected ':' after key 'my key'"),
    ("(n {a-b: 1})", None, "expected ':' after key 'a'"),
    ("(n {age: })", None, "expected a value for key 'age', found '}'"),
    ("(n {age: 30)", None, "expected ',' or '}' after the value of key 'age', found end of text"),
    ("(n {age: 30 name: 1})", None,
     "expected ',' or '}' after the value of key 'age', found 'n'"),
    ("(n {a: 1..2})", None, "expected ',' or '}' after the value of key 'a', found '.'"),
    ("(n {)", None, "expected a property name, found end of text"),
    ("(n {1: 2})", None, "expected a property name, found '1'"),
    ("(n {,})", None, "expected a property name, found ','"),
    ("(n {\u0661: 2})", None, "expected a property name, found '\u0661'"),
    ("(n {a: foo})", None, "unknown value 'foo' for key 'a'"),
    ("(n {a: truth})", None, "unknown value 'truth' for key 'a'"),
    ("(n {a: None})", None, "unknown value 'None' for key 'a'"),
    ("(n {a: [1 2]})", None, "expected ',' or ']' in the list for key 'a', found '2'"),
    ("(n {a: [1, [2})", None, "expected ',' or ']' in the list for key 'a', found '}'"),
    ("(n {a: [)", None, "expected a value for key 'a', found end of text"),
    ("(n {a: +1})", None, "expected a value for key 'a', found '+'"),
    ("(n {a: {b: 1}})", None, "expected a value for key 'a', found '{'"),
    ("(n {a: 1.2.3})", None, "unexpected '.' after a number"),
    ("(n {a: 12abc})", None, "unexpected 'a' after a number"),
    ("(n {a: 3.key})", None, "unexpected 'k' after a number"),
    ("(n {a: 1_000})", None, "unexpected '_' after a number"),
    ("(n {a: 1\u00e9})", None, "unexpected '\u00e9' after a number"),
    ("(n {a: 1e})", None, "expected a digit in the exponent"),
    ("(n {a: 1e+})", None, "expected a digit in the exponent"),
    ("(n {a: -})", None, "expected a digit after '-'"),
    ("(n {a: - 1})", None, "expected a digit after '-'"),
    ("(n {a: .})", None, "expected a digit after '.'"),
    ("(n {a: .e1})", None, "expected a digit after '.'"),
    (r"(n {a: '\q'})", None, r"invalid escape '\q'"),
    (r"(n {a: '\x41'})", None, r"invalid escape '\x'"),
    ("(n {a: '\\\u00e9'})", None, "invalid escape '\\\u00e9'"),
    (r"(n {a: '\u12'})", None, r"invalid \u escape: expected 4 hex digits"),
    (r"(n {a: '\u12g4'})", None, r"invalid \u escape: expected 4 hex digits"),
    (r"(n {a: '\U0001'})", None, r"invalid escape '\U'"),
    (r"(n {a: '\ud83d'})", None, r"lone surrogate '\ud83d'"),
    (r"(n {a: '\ud83dx'})", None, r"lone surrogate '\ud83d'"),
    (r"(n {a: '\ud83d\u0041'})", None, r"lone surrogate '\ud83d'"),
    (r"(n {a: '\ude00\ud83d'})", None, r"lone surrogate '\ude00'"),
    (r"(n {'\q': 1})", None, r"invalid escape '\q'"),
    ("(n {a: 1} x)", None, "unexpected 'x' after the closing '}'"),
    ("(n {a: 1}:T)", None, "unexpected ':' after the closing '}'"),
    ("(n {a: 1} {b: 2})", None, "unexpected '{' after the closing '}'"),
    ("(n {a: 1}})", None, "unexpected '}' after the closing '}'"),
    ("(a)-[e {w: }]->(b)", "-[e {w: }]->", "expected a value for key 'w', found '}'"),
    ("(a)-[e {a: 1} *2]->(b)", "-[e {a: 1} *2]->", "unexpected '*' after the closing '}'"),
])
def test_malformed_property_blocks(text, pattern, reason):
    message = f"Invalid pattern '{pattern or text}': Invalid property block: {reason}"
    assert path_model.parse(text) == ("error", message)
    with pytest.raises(ValueError) as info:
        PathPattern.parse(text)
    assert info.type is ValueError and info.value.args == (message,)


BOUND_ERROR = "Quantifier bound too large (maximum 18446744073709551615)"


@pytest.mark.parametrize("text, pattern, reason", [
    ("(n {s: 'abc})", "(n {s: 'abc})", "Unterminated string in pattern"),
    ("(a)-[e {s: \"x]->(b)", "(a)-[e {s: \"x]->(b)", "Unterminated string in pattern"),
    ("(a)-[e {s: 'x\\']->(b)", "(a)-[e {s: 'x\\']->(b)", "Unterminated string in pattern"),
    ("(a)-['", "(a)-['", "Unterminated string in pattern"),
    ("(n '\\", "(n '\\", "Unterminated string in pattern"),
    (" (n 'x) ", "(n 'x)", "Unterminated string in pattern"),
    # An earlier tokenizer failure still wins.
    ("x (n 'x)", "x (n 'x)", "Unexpected character 'x' outside of node or edge pattern"),
    # Outside nodes and edges a quote is an unexpected character.
    ("(a) 'x' (b)", "(a) 'x' (b)", "Unexpected character ''' outside of node or edge pattern"),
    ("(a)-\"[e]->(b)", "(a)-\"[e]->(b)", "Unexpected character '\"' outside of node or edge pattern"),
    # A string keeps its brackets and parentheses out of the depth counts.
    ("(a)-[e {s: '['}->(b)", "(a)-[e {s: '['}->(b)", "Unmatched brackets in pattern"),
    ("(n {s: ')'}", "(n {s: ')'}", "Unmatched parentheses in pattern"),
    ("(a)<-[e {s: '->'} :A->B]-(b)", "<-[e {s: '->'} :A->B]-",
     "Cannot have both <- and -> in same edge"),
    ("(a)-[e*99999999999999999999]->(b)", "-[e*99999999999999999999]->", BOUND_ERROR),
    ("(a)-[e*18446744073709551616..]->(b)", "-[e*18446744073709551616..]->", BOUND_ERROR),
    ("(a)-[e*1..18446744073709551616]->(b)", "-[e*1..18446744073709551616]->", BOUND_ERROR),
    ("(a)-[*..000018446744073709551616]->(b)", "-[*..000018446744073709551616]->", BOUND_ERROR),
    # The quantifier comes before the block in the text, and its error first.
    ("(a)-[e*18446744073709551616 {a: }]->(b)", "-[e*18446744073709551616 {a: }]->",
     BOUND_ERROR),
])
def test_string_and_quantifier_failures(text, pattern, reason):
    message = f"Invalid pattern '{pattern}': {reason}"
    assert path_model.parse(text) == ("error", message)
    with pytest.raises(ValueError) as info:
        PathPattern.parse(text)
    assert info.value.args == (message,)


def test_literal_scanner_offsets(tmp_path):
    """The scanners' stop positions and error offsets, which the parser does
    not show, checked by a small C++ table test."""
    compiler = shutil.which("g++") or shutil.which("c++")
    if compiler is None:
        pytest.skip("needs a C++ compiler")
    root = pathlib.Path(__file__).resolve().parent.parent
    exe = tmp_path / "literal_scanner_test"
    build = subprocess.run([compiler, "-std=c++20", "-Wall", "-Wextra", "-Werror", f"-I{root / 'src'}",
                            str(root / "tests/cpp/literal_scanner_test.cpp"),
                            str(root / "src/util/literal.cpp"), str(root / "src/util/unicode.cpp"),
                            "-o", str(exe)], capture_output=True, text=True)
    assert build.returncode == 0, build.stderr[-3000:]
    run = subprocess.run([str(exe)], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0 and run.stdout.strip() == "0 failures", run.stdout


def test_integer_digit_limit_raises_clean_value_error():
    digits = "9" * 5000
    with pytest.raises(ValueError, match="integer string conversion"):
        PathPattern.parse(f"(n {{a: {digits}}})")
    old = sys.get_int_max_str_digits()
    sys.set_int_max_str_digits(0)
    try:
        node, = PathPattern.parse(f"(n {{a: -{digits}}})").nodes
        assert referents(node) == [-int(digits)]
    finally:
        sys.set_int_max_str_digits(old)


def test_identifier_characters_follow_str_isidentifier():
    """Keys are identifiers exactly as str.isidentifier says: every character
    it accepts, and each character just outside each run of them."""
    def runs(accept):
        out, start = [], None
        for c in range(0x110000):
            ok = not 0xD800 <= c <= 0xDFFF and accept(chr(c))
            if ok and start is None:
                start = c
            elif not ok and start is not None:
                out.append((start, c - 1))
                start = None
        return out

    def parses(block):
        try:
            PathPattern.parse(f"(n {block})")
            return True
        except ValueError:
            return False

    starts = runs(str.isidentifier)
    continues = runs(lambda c: ("a" + c).isidentifier())
    every_start = [chr(c) for lo, hi in starts for c in range(lo, hi + 1)]
    assert parses("{" + ", ".join(c + ": 1" for c in every_start) + "}")
    every_continue = "".join(chr(c) for lo, hi in continues for c in range(lo, hi + 1))
    assert parses("{a" + every_continue + ": 1}")
    outside = lambda ranges: {c for lo, hi in ranges for c in (lo - 1, hi + 1)
                              if 0 <= c < 0x110000 and not 0xD800 <= c <= 0xDFFF}
    assert not [hex(c) for c in sorted(outside(starts)) if parses("{" + chr(c) + ": 1}")]
    assert not [hex(c) for c in sorted(outside(continues)) if parses("{a" + chr(c) + "b: 1}")]


def test_deep_nesting_does_not_overflow(run_snippet):
    code = """
        import gc
        from voralix import Graph, PathPattern
        depth = 100000
        deep = "[" * depth + "]" * depth
        for text in ("(n {a: " + deep + "})", "(x)-[e {a: " + deep + "}]->(y)"):
            p = PathPattern.parse(text)
            pattern = p.edges[0] if p.edges else p.nodes[0]
            value, = [o for o in gc.get_referents(pattern) if not isinstance(o, type)]
            levels = 0
            while value:
                value, = value
                levels += 1
            assert levels == depth - 1, levels
        for text in ("(n {a: " + "[" * depth + "})", "(n {a: " + "[1, " * depth + "})"):
            try:
                PathPattern.parse(text)
                raise AssertionError(text[:20])
            except ValueError as e:
                assert "Invalid property block: expected" in e.args[0][-90:], e.args[0][-90:]
        g = Graph()
        g.query().create("(n:T {a: " + deep + "})").return_("n")
        print("ok")
    """
    proc = run_snippet(code, timeout=120)
    assert proc.returncode == 0, proc.stderr[-2000:]
    assert proc.stdout.strip() == "ok"


# --- differential tests against the model -----------------------------------

ALPHABET = list("()[]-<>:{}$* \t\nabx\u00e9\u00a0\u3000'\"\\.,1")
# Structural characters weighted up, so that random strings reach past the
# tokenizer's first unexpected character.
WEIGHTED = ALPHABET + list("()()[][]--<>  ") * 6

ws = st.sampled_from(["", " ", "\t", "\n ", "\u3000", "\u00a0"])
name = st.sampled_from(["", "a", "b", "ab", "x", "\u00e9", "a b", "n", "'a:b'", "\"x]\"", "'{'",
                        "'*'", "'a\\'b'"])
type_text = st.sampled_from(["", "a", "b", "*", "a -> b", "$a$", "(a -> b)", "a:b", "$*$", "x",
                             "'q'", "a->*", "a *"])
quantifier = st.sampled_from(["", "*", "*2", "*1..3", "*..", "*..4", "*2..", " *", "* 2 .. 5",
                              "*0..", "*x", "*1...2", "*99999999999999999999", "*-1", "*1.5",
                              "*\u3000..\u30002", "**"])
# Literal pieces that read well, and pieces that do not.
GOOD_STRINGS = ["'a'", '"b"', "'a)b'", "'(x)'", "'[y]'", "'->'", "'{'", "'}'", "':'", "'*'", "''",
                "'\\''", '"\\""', "'\\\\'", "'\\n\\t\\r'", "'\\u00e9'",
                "'\\ud83d\\ude00'", "'\\u00E9\\u0041'", '"it\'s"']
BAD_STRINGS = ["'\\ud83d'", "'\\ude00'", "'\\q'", "'\\u12'", "'unterminated"]
GOOD_NUMBERS = ["0", "12", "-7", "1.5", ".5", "5.", "1e3", "-2.5E-3", "007", "-0.0",
                "123456789012345678901234567890", "1e999", "3.e2"]
BAD_NUMBERS = ["1..2", "+1", "1e", "-", ".", "1.x", "12abc", "1_0"]
GOOD_WORDS = ["true", "FALSE", "Null"]
BAD_WORDS = ["nul", "x", "True1"]
GOOD_KEYS = ["a", "age", "_k", "\u00e9", "k1", "'q k'", '"x"', "'\\u00e9'", "true", "a"]
BAD_KEYS = ["1a", "", "a b", "a-b"]


def literal_value(good):
    pool = GOOD_STRINGS + GOOD_NUMBERS + GOOD_WORDS
    if not good:
        pool += BAD_STRINGS + BAD_NUMBERS + BAD_WORDS
    return st.recursive(
        st.sampled_from(pool),
        lambda inner: st.tuples(st.lists(inner, max_size=3), ws,
                                st.booleans() if not good else st.just(False)).map(
            lambda t: "[" + (t[1] + "," + t[1]).join(t[0]) + ("," if t[2] else "") + "]"),
        max_leaves=6)


@st.composite
def block(draw):
    """A property block: a well-formed one three times out of four."""
    good = draw(st.integers(0, 3)) > 0
    pick = (lambda good_pool, bad_pool: st.sampled_from(good_pool if good
                                                        else good_pool + bad_pool))
    entries = [draw(pick(GOOD_KEYS, BAD_KEYS)) + draw(ws) + draw(pick([":"], [""])) + draw(ws)
               + draw(literal_value(good)) for _ in range(draw(st.integers(0, 3)))]
    text = "{" + draw(ws) + ("," + draw(ws)).join(entries) + draw(pick([""], [",", " x", ", }"]))
    text += draw(ws) + draw(pick(["}"], [""]))
    return text + draw(pick([""], [" x", "{}", ":T"]))


@st.composite
def body(draw):
    text = draw(ws) + draw(name) + draw(ws)
    if draw(st.booleans()):
        text += ":" + draw(ws) + draw(type_text) + draw(ws)
    if draw(st.integers(0, 2)) == 0:
        text += draw(quantifier) + draw(ws)
    if draw(st.integers(0, 2)) == 0:
        text += draw(block())
    return text


@st.composite
def well_formed(draw):
    parts = ["(" + draw(body()) + ")"]
    for _ in range(draw(st.integers(0, 2))):
        left = draw(st.sampled_from(["-", "<-", "", "<"]))
        right = draw(st.sampled_from(["-", "->", ">", ""]))
        parts.append(draw(st.sampled_from(["", " ", "\t\n"])) + left + "[" + draw(body()) + "]"
                     + right)
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
    assert [n.variable for n in p.nodes] == [v for v, _, _ in nodes]
    assert [(e.variable, e.direction) for e in p.edges] == [(e[0], e[2]) for e in edges]
    assert [repr(n) for n in p.nodes] == [f"NodePattern(variable={quote(v)})" for v, _, _ in nodes]
    assert [repr(e) for e in p.edges] == [f"EdgePattern(variable={quote(e[0])}, direction={e[2]})"
                                          for e in edges]
    assert [(e.min_hops, e.max_hops) for e in p.edges] == [e[4] or (None, None) for e in edges]
    # Property values in map order (keys are compared through created nodes below).
    assert [tagged(referents(x)) for x in p.nodes + p.edges] == [
        tagged(list(dict(props).values()))
        for props in [n[2] for n in nodes] + [e[3] for e in edges]]
    if graph is not None:
        expected = expected_bindings(result)
        if expected is not None:
            assert actual_bindings(graph, text, expected) == expected


def test_every_short_string_matches_model():
    for n in range(1, 6):
        for chars in itertools.product("()[]-<> x", repeat=n):
            check_against_model("".join(chars))


def test_every_short_quoted_string_matches_model():
    for n in range(1, 6):
        for chars in itertools.product("()[]'\\*:", repeat=n):
            check_against_model("".join(chars))


@settings(max_examples=1500, deadline=None)
@given(st.text(alphabet=st.sampled_from(WEIGHTED), max_size=40))
def test_random_strings_match_model(text):
    check_against_model(text)


@settings(max_examples=600, deadline=None)
@given(well_formed())
def test_generated_paths_match_model(graph, text):
    check_against_model(text, graph)


@settings(max_examples=400, deadline=None)
@given(block())
def test_generated_blocks_match_model(text):
    """Keys, values and their order, as created nodes store them."""
    result = path_model.parse(f"(n:T {text})")
    try:
        props = created_properties(text)
    except ValueError as e:
        assert result == ("error", e.args[0])
        return
    assert result[0] == "ok", result
    assert tagged(props) == tagged(dict(result[1][0][2]))


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
            ("(n {s: '" + "x" * 1000000 + "'})", "PathPattern(1 nodes, 0 edges)"),
            ("(a)-[e {s: '" + "]-><-:{*" * 200000 + "'}]->(b)", "PathPattern(2 nodes, 1 edges)"),
            ("(a)-[e {s: '-'}]->" * 50000 + "(z)", "PathPattern(50001 nodes, 50000 edges)"),
            ("(a)-[" + "'-' " * 200000 + "]->(b)", "PathPattern(2 nodes, 1 edges)"),
            ("(a)-[e {" + ", ".join(f"k{i}: [{i}, 'v', 1.5]" for i in range(100000)) + "}]->(b)",
             "PathPattern(2 nodes, 1 edges)"),
            ("(n {" + "k: 1, " * 200000 + "k: 2})", "PathPattern(1 nodes, 0 edges)"),
            ("(a)-[e" + "*" * 500000 + "]->(b)", "PathPattern(2 nodes, 1 edges)"),
            ("(n '" + "\\'" * 500000 + ")", "Unterminated string in pattern"),
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


LEAK_SETUP = r"""
import sys
from voralix import PathPattern
sys.set_int_max_str_digits(640)
block = "(n {s: 'a\\u00e9\\ud83d\\ude00', i: 123456789012345678901234567890, f: -2.5e-3, " \
        "l: [1, [true, null, []], 'x'], s: 'again'})"
edge = "(a)-[e:knows*2..5 {w: [1.5]}]->(b)"
big = "(n {a: " + "9" * 700 + "})"
watched = [PathPattern]
"""

LEAK_GROUPS = {
    "blocks": "PathPattern(block); PathPattern(edge).edges",
    "hops": "e = PathPattern(edge).edges[0]; e.min_hops; e.max_hops",
    "block errors": "PathPattern('(n {a: [1, [2, 3})'); PathPattern('(n {a: \\'\\\\q\\'})'); "
                    "PathPattern('(n {a: 1,})'); PathPattern('(a)-[e*99999999999999999999]->(b)')",
    "string errors": "PathPattern('(n {s: \\'abc})'); PathPattern('(a) \\'x\\' (b)')",
    "conversion errors": "PathPattern(big)",
}


def test_parsing_does_not_leak(measure_memory):
    for group, m in measure_memory(LEAK_SETUP, LEAK_GROUPS).items():
        assert m["blocks"] < 1000 and m["refs"] < 100 and m["rss"] < 2 * 1024 * 1024, (group, m)
