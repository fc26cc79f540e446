"""Reference model of the path pattern-string parser, in plain Python.

A deliberately literal implementation of the parser's three stages (trim,
character-by-character tokenizer with explicit node and edge buffers and a
token list, then building from the tokens). It favours obviousness over
speed, so that differential tests can compare the C++ parser against it.

    parse(text) -> ("error", message)
                 | ("ok", nodes, edges)

`message` is the full error message, "Invalid pattern '<pattern>': <reason>".
`nodes` is a list of (variable, schema, properties) and `edges` a list of
(variable, schema, direction, properties, hops); absent values are None.
`properties` lists the property block's (key, value) pairs as written,
repeated keys included; `hops` is None or (min, max) with max None when
unbounded.

Quoted strings inside nodes and edges are atomic text: every search of the
building stage skips them. Numbers follow the grammar of util/literal.hpp.

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

HEX = frozenset("0123456789abcdefABCDEF")
DIGITS = frozenset("0123456789")
MAX_BOUND = 2**64 - 1

NODE = "node"
EDGE = "edge"


class _Failure(Exception):
    def __init__(self, pattern, reason):
        super().__init__(pattern, reason)
        self.pattern = pattern
        self.reason = reason


class _BodyError(Exception):
    """A malformed quantifier or property block; the caller adds the pattern."""

    def __init__(self, reason):
        super().__init__(reason)
        self.reason = reason


def trim(s):
    start, end = 0, len(s)
    while start < end and s[start] in WHITE_SPACE:
        start += 1
    while end > start and s[end - 1] in WHITE_SPACE:
        end -= 1
    return s[start:end]


def string_end(s, i):
    """Index just past the string opening at s[i], or None when unterminated."""
    quote = s[i]
    i += 1
    while i < len(s):
        if s[i] == "\\":
            i += 2
        elif s[i] == quote:
            return i + 1
        else:
            i += 1
    return None


def tokenize(text):
    """Stage 2: returns the token list [(kind, text), ...] or raises _Failure."""
    node_buf = ""
    edge_buf = ""
    p = 0
    b = 0
    tokens = []
    i = 0
    while i < len(text):
        c = text[i]
        i += 1
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
        elif c in "'\"" and (p > 0 or b > 0):
            end = string_end(text, i - 1)
            if end is None:
                raise _Failure(text, "Unterminated string in pattern")
            if p > 0:
                node_buf += text[i - 1:end]
            else:
                edge_buf += text[i - 1:end]
            i = end
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


def outside_strings(s):
    """mask[i] is True when s[i] lies outside every quoted string."""
    mask = []
    i = 0
    while i < len(s):
        if s[i] in "'\"":
            end = string_end(s, i) or len(s)
            mask += [False] * (end - i)
            i = end
        else:
            mask.append(True)
            i += 1
    return mask


def find_unquoted(s, c):
    mask = outside_strings(s)
    hits = [i for i in range(len(s)) if mask[i] and s[i] == c]
    return hits[0] if hits else None


def rfind_unquoted(s, c):
    mask = outside_strings(s)
    hits = [i for i in range(len(s)) if mask[i] and s[i] == c]
    return hits[-1] if hits else None


def contains_unquoted(s, sub):
    mask = outside_strings(s)
    return any(mask[i] and s.startswith(sub, i) for i in range(len(s)))


def is_name_char(c):
    return ("a" + c).isidentifier()


def read_quantifier(t):
    """Takes a hop quantifier off the end of an edge body: (rest, hops)."""
    star = rfind_unquoted(t, "*")
    if star is None:
        return t, None
    before, rest = t[:star], t[star + 1:]
    if rest == "":
        colon = find_unquoted(t, ":")
        if colon is None:
            # a bare star that is the whole body or directly follows the variable
            if before != "" and before[-1] in WHITE_SPACE:
                return t, None
        # in the type text: only directly after a name character
        elif trim(t[colon + 1:]) == "*" or not is_name_char(before[-1]):
            return t, None
        return trim(before), (1, None)
    # ws* [digits ws*] [".." ws* [digits ws*]]
    i = 0

    def skip():
        nonlocal i
        while i < len(rest) and rest[i] in WHITE_SPACE:
            i += 1

    def bound():
        nonlocal i
        start = i
        while i < len(rest) and rest[i] in DIGITS:
            i += 1
        text = rest[start:i]
        skip()
        return int(text) if text else None

    skip()
    low = bound()
    has_range = rest.startswith("..", i)
    high = None
    if has_range:
        i += 2
        skip()
        high = bound()
    if i != len(rest) or (low is None and not has_range):
        return t, None
    if (low or 0) > MAX_BOUND or (high or 0) > MAX_BOUND:
        raise _BodyError("Quantifier bound too large (maximum 18446744073709551615)")
    if high is None and not has_range:
        high = low
    return trim(before), (1 if low is None else low, high)


class _BlockReader:
    """The property block "{key: value, ...}", read left to right."""

    def __init__(self, text):
        self.s = text
        self.i = 0
        self.key = None

    def fail(self, reason):
        raise _BodyError("Invalid property block: " + reason)

    def at(self, c):
        return self.i < len(self.s) and self.s[self.i] == c

    def found(self):
        return "end of text" if self.i >= len(self.s) else "'" + self.s[self.i] + "'"

    def skip(self):
        while self.i < len(self.s) and self.s[self.i] in WHITE_SPACE:
            self.i += 1

    def read(self):
        pairs = []
        self.i = 1
        self.skip()
        if self.at("}"):
            self.i += 1
        else:
            while True:
                self.key = self.read_key()
                self.skip()
                if not self.at(":"):
                    self.fail("expected ':' after key '" + self.key + "'")
                self.i += 1
                self.skip()
                pairs.append((self.key, self.read_value()))
                self.skip()
                if self.at("}"):
                    self.i += 1
                    break
                if not self.at(","):
                    self.fail("expected ',' or '}' after the value of key '" + self.key
                              + "', found " + self.found())
                self.i += 1
                self.skip()
                if self.at("}"):
                    self.fail("trailing comma before '}'")
        self.skip()
        if self.i < len(self.s):
            self.fail("unexpected " + self.found() + " after the closing '}'")
        return pairs

    def read_word(self):
        start = self.i
        self.i += 1
        while self.i < len(self.s) and is_name_char(self.s[self.i]):
            self.i += 1
        return self.s[start:self.i]

    def read_key(self):
        if self.at("'") or self.at('"'):
            return self.read_string()
        if self.i < len(self.s) and self.s[self.i].isidentifier():
            return self.read_word()
        self.fail("expected a property name, found " + self.found())

    def read_value(self):
        if not self.at("["):
            return self.read_scalar()
        self.i += 1
        self.skip()
        items = []
        if self.at("]"):
            self.i += 1
            return items
        while True:
            items.append(self.read_value())
            self.skip()
            if self.at(","):
                self.i += 1
                self.skip()
                if self.at("]"):
                    self.fail("trailing comma before ']'")
                continue
            if self.at("]"):
                self.i += 1
                return items
            self.fail("expected ',' or ']' in the list for key '" + self.key + "', found "
                      + self.found())

    def read_scalar(self):
        c = self.s[self.i] if self.i < len(self.s) else None
        if c in ("'", '"'):
            return self.read_string()
        if c is not None and (c in "-." or c in DIGITS):
            return self.read_number()
        if c is not None and c.isidentifier():
            word = self.read_word()
            lower = "".join(chr(ord(ch) + 32) if "A" <= ch <= "Z" else ch for ch in word)
            if lower in ("true", "false"):
                return lower == "true"
            if lower == "null":
                return None
            self.fail("unknown value '" + word + "' for key '" + self.key + "'")
        self.fail("expected a value for key '" + self.key + "', found " + self.found())

    def read_string(self):
        s, quote, i = self.s, self.s[self.i], self.i + 1
        out = []
        while True:
            if i >= len(s) or (s[i] == "\\" and i + 1 >= len(s)):
                self.fail("unterminated string")
            c = s[i]
            if c == quote:
                self.i = i + 1
                return "".join(out)
            if c != "\\":
                out.append(c)
                i += 1
                continue
            e = s[i + 1]
            if e in "\\'\"":
                out.append(e)
                i += 2
            elif e in "ntr":
                out.append({"n": "\n", "t": "\t", "r": "\r"}[e])
                i += 2
            elif e == "u":
                digits = s[i + 2:i + 6]
                if len(digits) != 4 or not set(digits) <= HEX:
                    self.fail("invalid \\u escape: expected 4 hex digits")
                v = int(digits, 16)
                nxt = i + 6
                if 0xD800 <= v <= 0xDBFF:
                    low = s[nxt + 2:nxt + 6]
                    if (s.startswith("\\u", nxt) and len(low) == 4 and set(low) <= HEX
                            and 0xDC00 <= int(low, 16) <= 0xDFFF):
                        v = 0x10000 + ((v - 0xD800) << 10) + (int(low, 16) - 0xDC00)
                        nxt += 6
                    else:
                        self.fail("lone surrogate '" + s[i:i + 6] + "'")
                elif 0xDC00 <= v <= 0xDFFF:
                    self.fail("lone surrogate '" + s[i:i + 6] + "'")
                out.append(chr(v))
                i = nxt
            else:
                self.fail("invalid escape '\\" + e + "'")

    def read_number(self):
        s, start = self.s, self.i
        n = len(s)

        def digit(k):
            return k < n and s[k] in DIGITS

        def dot_dot(k):
            return s.startswith("..", k)

        i = start
        if s[i] == "-":
            i += 1
        if not digit(i) and not (i < n and s[i] == "." and digit(i + 1)):
            self.fail("expected a digit after '-'" if i > start else "expected a digit after '.'")
        is_float = False
        while digit(i):
            i += 1
        if i < n and s[i] == "." and not dot_dot(i):
            is_float = True
            i += 1
            while digit(i):
                i += 1
        if i < n and s[i] in "eE":
            is_float = True
            i += 1
            if i < n and s[i] in "+-":
                i += 1
            if not digit(i):
                self.i = i
                self.fail("expected a digit in the exponent")
            while digit(i):
                i += 1
        if i < n and not dot_dot(i) and (s[i] == "." or is_name_char(s[i])):
            self.fail("unexpected '" + s[i] + "' after a number")
        self.i = i
        text = s[start:i]
        return float(text) if is_float else int(text)


def read_body(t, edge):
    """The body rule: returns (variable, schema, properties, hops)."""
    t = trim(t)
    if t == "":
        return None, None, [], None
    block = None
    brace = find_unquoted(t, "{")
    if brace is not None:
        block = t[brace:]
        t = trim(t[:brace])
    hops = None
    if edge:
        t, hops = read_quantifier(t)
    colon = find_unquoted(t, ":")
    if colon is not None:
        variable = trim(t[:colon]) or None
        type_text = trim(t[colon + 1 :])
        if type_text == "":
            schema = None
        elif "$" in type_text:
            schema = type_text
        else:
            schema = "$" + type_text + "$"
    else:
        variable, schema = (t or None), None
    properties = [] if block is None else _BlockReader(block).read()
    return variable, schema, properties, hops


def build_edge(text):
    s = trim(text)
    arrow = contains_unquoted(s, "->")
    if s.startswith("<") and arrow:
        raise _Failure(s, "Cannot have both <- and -> in same edge")
    if s.startswith("<") and contains_unquoted(s, "-"):
        direction = "backward"
    elif arrow or s.endswith(">"):
        direction = "forward"
    else:
        direction = "any"
    o = find_unquoted(s, "[")
    if o is None:
        raise _Failure(s, "Edge pattern must contain brackets")
    k = rfind_unquoted(s, "]")
    if k is None:
        raise _Failure(s, "Edge pattern must contain closing bracket")
    if k <= o:
        raise _Failure(s, "Brackets are mismatched")
    try:
        variable, schema, properties, hops = read_body(s[o + 1 : k], edge=True)
    except _BodyError as e:
        raise _Failure(s, e.reason) from None
    return variable, schema, direction, properties, hops


def build_node(text):
    s = trim(text)
    if s == "" or not s.startswith("(") or not s.endswith(")"):
        raise _Failure(s, "Node pattern must be enclosed in parentheses")
    try:
        variable, schema, properties, _ = read_body(s[1:-1], edge=False)
    except _BodyError as e:
        raise _Failure(s, e.reason) from None
    return variable, schema, properties


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
