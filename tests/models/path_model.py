"""Reference model of the path pattern-string parser, in plain Python.

A deliberately literal implementation of the parser's three stages (trim,
character-by-character tokenizer with explicit node and edge buffers and a
token list, then building from the tokens). It favours obviousness over
speed, so that differential tests can compare the C++ parser against it.

    parse(text) -> ("error", message)
                 | ("ok", nodes, edges)

`message` is the full error message, "Invalid pattern '<pattern>': <reason>".
`nodes` is a list of (variable, schema) and `edges` a list of
(variable, schema, direction); absent values are None.

`quote_name(name, grapheme_extend)` models the quoted rendering of variable
names used by the pattern reprs; `grapheme_extend` is a predicate on a
code point (the caller supplies the Grapheme_Extend property).
"""

# The Unicode White_Space property. str.strip() is not used: its notion of
# white space also covers U+001C..U+001F, which White_Space does not.
WHITE_SPACE = frozenset(
    "\t\n\v\f\r \x85\xa0\u1680"
    + "".join(chr(c) for c in range(0x2000, 0x200B))
    + "\u2028\u2029\u202f\u205f\u3000"
)

NODE = "node"
EDGE = "edge"


class _Failure(Exception):
    def __init__(self, pattern, reason):
        super().__init__(pattern, reason)
        self.pattern = pattern
        self.reason = reason


def trim(s):
    start, end = 0, len(s)
    while start < end and s[start] in WHITE_SPACE:
        start += 1
    while end > start and s[end - 1] in WHITE_SPACE:
        end -= 1
    return s[start:end]


def tokenize(text):
    """Stage 2: returns the token list [(kind, text), ...] or raises _Failure."""
    node_buf = ""
    edge_buf = ""
    p = 0
    b = 0
    tokens = []
    for c in text:
        if c in "\t\n\r ":
            if p > 0:
                node_buf += c
            elif b > 0:
                edge_buf += c
        elif c == "(":
            if p != 0 or b != 0:
                p += 1
                node_buf += c
            else:
                if edge_buf != "":
                    trimmed = trim(edge_buf)
                    if trimmed != "":
                        tokens.append((EDGE, trimmed))
                edge_buf = ""
                node_buf = ""
                p = 1
                node_buf += c
        elif c == ")":
            node_buf += c
            p -= 1
            if p == 0 and b == 0:
                tokens.append((NODE, node_buf))
                node_buf = ""
        elif c in "-<>":
            if p != 0:
                node_buf += c
            else:
                edge_buf += c
        elif c == "[":
            if p != 0:
                node_buf += c
            else:
                b += 1
                edge_buf += c
        elif c == "]":
            if p != 0:
                node_buf += c
            else:
                b -= 1
                edge_buf += c
        else:
            if p > 0:
                node_buf += c
            elif b > 0:
                edge_buf += c
            else:
                raise _Failure(
                    text, "Unexpected character '" + c + "' outside of node or edge pattern"
                )
    if p != 0:
        raise _Failure(text, "Unmatched parentheses in pattern")
    if b != 0:
        raise _Failure(text, "Unmatched brackets in pattern")
    if edge_buf != "":
        raise _Failure(text, "Pattern cannot end with an edge")
    return tokens


def read_body(t):
    """The body rule: returns (variable, schema)."""
    t = trim(t)
    if t == "":
        return None, None
    if "{" in t:
        t = trim(t[: t.index("{")])
    if ":" in t:
        colon = t.index(":")
        variable = trim(t[:colon]) or None
        type_text = trim(t[colon + 1 :])
        if type_text == "":
            schema = None
        elif "$" in type_text:
            schema = type_text
        else:
            schema = "$" + type_text + "$"
        return variable, schema
    return (t or None), None


def build_edge(text):
    s = trim(text)
    if s.startswith("<") and "->" in s:
        raise _Failure(s, "Cannot have both <- and -> in same edge")
    if s.startswith("<") and "-" in s:
        direction = "backward"
    elif "->" in s or s.endswith(">"):
        direction = "forward"
    else:
        direction = "any"
    if "[" not in s:
        raise _Failure(s, "Edge pattern must contain brackets")
    o = s.index("[")
    if "]" not in s:
        raise _Failure(s, "Edge pattern must contain closing bracket")
    k = s.rindex("]")
    if k <= o:
        raise _Failure(s, "Brackets are mismatched")
    variable, schema = read_body(s[o + 1 : k])
    return variable, schema, direction


def build_node(text):
    s = trim(text)
    if s == "" or not s.startswith("(") or not s.endswith(")"):
        raise _Failure(s, "Node pattern must be enclosed in parentheses")
    return read_body(s[1:-1])


def _parse(text):
    text = trim(text)
    if text == "":
        raise _Failure("", "Pattern cannot be empty")
    tokens = tokenize(text)
    nodes = []
    edges = []
    for kind, token_text in tokens:
        if kind == EDGE:
            edges.append(build_edge(token_text))
        else:
            nodes.append(build_node(token_text))
    if not nodes:
        raise _Failure(text, "Pattern must contain at least one node")
    if len(edges) >= len(nodes):
        raise _Failure(text, "Invalid pattern: too many edges for the number of nodes")
    return nodes, edges


def parse(text):
    try:
        nodes, edges = _parse(text)
    except _Failure as f:
        return ("error", "Invalid pattern '" + f.pattern + "': " + f.reason)
    return ("ok", nodes, edges)


_NAMED_ESCAPES = {'"': '\\"', "\\": "\\\\", "\t": "\\t", "\r": "\\r", "\n": "\\n", "\0": "\\0"}


def quote_name(name, grapheme_extend):
    out = ['"']
    for c in name:
        if c in _NAMED_ESCAPES:
            out.append(_NAMED_ESCAPES[c])
        elif grapheme_extend(ord(c)) or not c.isprintable():
            out.append("\\u{%x}" % ord(c))
        else:
            out.append(c)
    out.append('"')
    return "".join(out)
