"""Reference model of the condition language of `where` and of the ORDER BY
order, in plain Python.

A literal, recursive-descent reading of the grammar and a recursive
three-valued evaluator over Python values. It favours obviousness over
speed (and recurses, so it is meant for inputs of fuzzing size, not for
100,000-deep ones); differential tests compare the native implementation
with it.

    prepare(text, params=None) -> Prepared      raises ValueError like the native code
    variables(prepared) -> [name, ...]          distinct variables in text order
    check_variables(prepared, defined)          raises "Variable 'x' not defined"
    evaluate(prepared, row) -> True | False | None
    keep(prepared, row) -> bool                 raises TypeError like the native code
    sort_order(keys) -> [row index, ...]        keys: [(values, ascending), ...]

A row maps variable names to cell values: None (an empty cell), a
voralix.Node, a voralix.Edge, or a Python list of Edge objects (the edges of
a variable-length path). Parameter values and property values are any Python
objects.

Grammar (keywords and function names are ASCII and case-insensitive):

    condition  = [ or ] ;
    or         = xor { "OR" xor } ;
    xor        = and { "XOR" and } ;
    and        = not { "AND" not } ;
    not        = "NOT" not | comparison ;
    comparison = predicate [ ( "=" | "<>" | "!=" | "<" | "<=" | ">" | ">=" ) predicate ] ;
    predicate  = postfix { "IS" [ "NOT" ] "NULL" | "IN" postfix
                         | "STARTS" "WITH" postfix | "ENDS" "WITH" postfix
                         | "CONTAINS" postfix } ;
    postfix    = atom { "." key | ":" typetext } ;
    atom       = string | number | "TRUE" | "FALSE" | "NULL" | parameter
               | "(" or ")" | "[" [ or { "," or } ] "]"
               | function "(" or ")" | variable ;
    key        = name | quoted ;     variable = name | quoted ;
    parameter  = "$" ( name | quoted ) ;
    typetext   = name | quoted | "$" { any character but "$" } "$" ;
    function   = "UID" | "TYPE" | "NAME" | "START" | "END" | "SIZE" ;

`name` is a Python identifier that is not a reserved word (AND OR XOR NOT IS
NULL IN STARTS ENDS WITH CONTAINS TRUE FALSE); `quoted` is back-quoted text
where a doubled back quote stands for one. After a name, "(" makes a function
call. `-` and `.` start a number only where an expression may start.
"""

import math
import sys

import voralix

# The Unicode White_Space property (str.isspace() also covers U+001C..U+001F).
WHITE_SPACE = frozenset(
    "\t\n\v\f\r \x85\xa0\u1680"
    + "".join(chr(c) for c in range(0x2000, 0x200B))
    + "\u2028\u2029\u202f\u205f\u3000"
)
RESERVED = frozenset(
    "AND OR XOR NOT IS NULL IN STARTS ENDS WITH CONTAINS TRUE FALSE".split())
FUNCTIONS = frozenset("UID TYPE NAME START END SIZE".split())
COMPARISONS = frozenset(["=", "<>", "<", "<=", ">", ">="])
DIGITS = frozenset("0123456789")
ESCAPES = {"\\": "\\", "'": "'", '"': '"', "n": "\n", "t": "\t", "r": "\r"}

# Nested lists deeper than this end a comparison with RecursionError.
MAX_COMPARE_DEPTH = 100_000


class SyntaxFailure(Exception):
    def __init__(self, reason, offset):
        super().__init__(reason, offset)
        self.reason = reason
        self.offset = offset


def query_error(message):
    return ValueError(f"Invalid query: {message} (where)")


def mismatch(expected, value):
    return TypeError(f"Type mismatch: expected {expected}, got {kind(value)} (in where)")


# ---------------------------------------------------------------------------
# Literals (the scanner shared with pattern-string property blocks)


class ScanError(Exception):
    """A literal that does not scan; its reason is a lower-case phrase."""


def _hex4(text, i):
    digits = text[i:i + 4]
    if len(digits) == 4 and all(c in "0123456789abcdefABCDEF" for c in digits):
        return int(digits, 16)
    return None


def scan_string(text, pos):
    """text[pos] is a quote. Returns (value, position after the closing quote)."""
    quote = text[pos]
    i = pos + 1
    out = []
    while True:
        if i >= len(text) or (text[i] == "\\" and i + 1 >= len(text)):
            raise ScanError("unterminated string")
        c = text[i]
        if c == quote:
            return "".join(out), i + 1
        if c != "\\":
            out.append(c)
            i += 1
            continue
        e = text[i + 1]
        if e in ESCAPES:
            out.append(ESCAPES[e])
            i += 2
            continue
        if e != "u":
            raise ScanError(f"invalid escape '\\{e}'")
        code = _hex4(text, i + 2)
        if code is None:
            raise ScanError("invalid \\u escape: expected 4 hex digits")
        nxt = i + 6
        if 0xD800 <= code <= 0xDBFF:
            low = _hex4(text, nxt + 2) if text.startswith("\\u", nxt) else None
            if low is not None and 0xDC00 <= low <= 0xDFFF:
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00)
                nxt += 6
        if 0xD800 <= code <= 0xDFFF:
            raise ScanError(f"lone surrogate '{text[i:i + 6]}'")
        out.append(chr(code))
        i = nxt


def scan_number(text, pos):
    """An optional '-', then digits with an optional fraction ("1.5", ".5",
    "5.") and exponent; ".." ends a number ("1..3" scans "1"), and a name
    character or a lone '.' may not follow one. Returns ((is_float, text as
    written), position after it)."""
    n = len(text)

    def digit_at(k):
        return k < n and text[k] in DIGITS

    def dot_dot_at(k):
        return text.startswith("..", k)

    i = pos
    if text[i] == "-":
        i += 1
    if not digit_at(i) and not (i < n and text[i] == "." and digit_at(i + 1)):
        raise ScanError("expected a digit after '-'" if i > pos else "expected a digit after '.'")
    is_float = False
    while digit_at(i):
        i += 1
    if i < n and text[i] == "." and not dot_dot_at(i):
        is_float = True
        i += 1
        while digit_at(i):
            i += 1
    if i < n and text[i] in "eE":
        is_float = True
        i += 1
        if i < n and text[i] in "+-":
            i += 1
        if not digit_at(i):
            raise ScanError("expected a digit in the exponent")
        while digit_at(i):
            i += 1
    if i < n and not dot_dot_at(i) and (text[i] == "." or is_name_part(text[i])):
        raise ScanError(f"unexpected '{text[i]}' after a number")
    return (is_float, text[pos:i]), i


def literal_failure(error, offset):
    reason = str(error)
    return SyntaxFailure(reason[:1].upper() + reason[1:], offset)


def number_value(is_float, written):
    if is_float:
        return float(written)
    old = sys.get_int_max_str_digits()
    sys.set_int_max_str_digits(0)
    try:
        return int(written)
    finally:
        sys.set_int_max_str_digits(old)


# ---------------------------------------------------------------------------
# Lexer


def is_name_start(c):
    return c == "_" or c.isidentifier()


def is_name_part(c):
    return ("a" + c).isidentifier()


def word(text):
    """The reserved-word / function spelling of a name: ASCII upper case."""
    return text.upper() if text.isascii() else None


class Token:
    __slots__ = ("kind", "start", "value")

    def __init__(self, kind, start, value=None):
        self.kind = kind
        self.start = start
        self.value = value

    def is_word(self, w):
        return self.kind == "name" and word(self.value) == w


class Lexer:
    def __init__(self, text):
        self.text = text
        self.pos = 0

    def skip_space(self):
        while self.pos < len(self.text) and self.text[self.pos] in WHITE_SPACE:
            self.pos += 1

    def quoted(self, start, token_start):
        """Back-quoted text from text[start] == '`'; a doubled ` is one."""
        i = start + 1
        out = []
        while True:
            j = self.text.find("`", i)
            if j < 0:
                raise SyntaxFailure("Unterminated quoted name", token_start)
            out.append(self.text[i:j])
            if self.text.startswith("``", j):
                out.append("`")
                i = j + 2
                continue
            self.pos = j + 1
            return "".join(out)

    def name(self, start):
        i = start + 1
        while i < len(self.text) and is_name_part(self.text[i]):
            i += 1
        self.pos = i
        return self.text[start:i]

    def next(self, operand):
        """The next token; `operand` is true where an expression may start."""
        self.skip_space()
        text, start = self.text, self.pos
        if start >= len(text):
            return Token("end", start)
        c = text[start]
        if c in "'\"":
            try:
                value, self.pos = scan_string(text, start)
            except ScanError as e:
                raise literal_failure(e, start) from None
            return Token("string", start, value)
        if c in DIGITS or (operand and (c == "-" or (c == "." and text[start + 1:start + 2]
                                                      in DIGITS))):
            try:
                value, self.pos = scan_number(text, start)
            except ScanError as e:
                raise literal_failure(e, start) from None
            return Token("number", start, number_value(*value))
        if c == "`":
            return Token("quoted", start, self.quoted(start, start))
        if c == "$":
            nxt = text[start + 1:start + 2]
            if nxt == "`":
                return Token("param", start, self.quoted(start + 1, start))
            if nxt and is_name_start(nxt):
                return Token("param", start, self.name(start + 1))
            raise SyntaxFailure("Expected a parameter name", start)
        if is_name_start(c):
            return Token("name", start, self.name(start))
        two = text[start:start + 2]
        if two in ("<>", "!=", "<=", ">="):
            self.pos = start + 2
            return Token("<>" if two == "!=" else two, start)
        if c in "()[],.:=<>":
            self.pos = start + 1
            return Token(c, start)
        raise SyntaxFailure(f"Unexpected character '{c}'", start)

    def type_text(self):
        """The type text after ':' as a schema."""
        self.skip_space()
        text, start = self.text, self.pos
        if start < len(text) and text[start] == "$":
            end = text.find("$", start + 1)
            if end < 0:
                raise SyntaxFailure("Unterminated type schema", start)
            self.pos = end + 1
            return text[start:end + 1]
        if start < len(text) and text[start] == "`":
            return "$" + self.quoted(start, start) + "$"
        if start < len(text) and is_name_start(text[start]):
            return "$" + self.name(start) + "$"
        raise SyntaxFailure("Expected a type name or schema", start)


# ---------------------------------------------------------------------------
# Parser. AST nodes are tuples whose first item is the node kind:
#   ("lit", value) ("param", name) ("var", name) ("prop", e, key)
#   ("type", e, schema) ("call", FUNCTION, e) ("list", [e, ...]) ("not", e)
#   ("and"|"or"|"xor", a, b) ("cmp", op, a, b) ("in", a, b)
#   ("starts"|"ends"|"contains", a, b) ("isnull", e, negated)


class Parser:
    def __init__(self, text):
        self.lexer = Lexer(text)
        self.tok = None

    def advance(self, operand):
        self.tok = self.lexer.next(operand)

    def fail(self, reason):
        raise SyntaxFailure(reason, self.tok.start)

    def parse(self):
        self.advance(True)
        if self.tok.kind == "end":
            return None
        e = self.parse_or()
        if self.tok.kind != "end":
            self.fail("Expected end of condition")
        return e

    def binary(self, w, kind, operand):
        left = operand()
        while self.tok.is_word(w):
            self.advance(True)
            left = (kind, left, operand())
        return left

    def parse_or(self):
        return self.binary("OR", "or", self.parse_xor)

    def parse_xor(self):
        return self.binary("XOR", "xor", self.parse_and)

    def parse_and(self):
        return self.binary("AND", "and", self.parse_not)

    def parse_not(self):
        if self.tok.is_word("NOT"):
            self.advance(True)
            return ("not", self.parse_not())
        return self.parse_comparison()

    def parse_comparison(self):
        left = self.parse_predicate()
        if self.tok.kind not in COMPARISONS:
            return left
        op = self.tok.kind
        self.advance(True)
        right = self.parse_predicate()
        if self.tok.kind in COMPARISONS:
            self.fail("Comparisons cannot be chained")
        return ("cmp", op, left, right)

    def parse_predicate(self):
        left = self.parse_postfix()
        while True:
            if self.tok.is_word("IS"):
                self.advance(False)
                negated = self.tok.is_word("NOT")
                if negated:
                    self.advance(False)
                if not self.tok.is_word("NULL"):
                    self.fail("Expected NULL")
                self.advance(False)
                left = ("isnull", left, negated)
            elif self.tok.is_word("IN") or self.tok.is_word("CONTAINS"):
                kind = "in" if self.tok.is_word("IN") else "contains"
                self.advance(True)
                left = (kind, left, self.parse_postfix())
            elif self.tok.is_word("STARTS") or self.tok.is_word("ENDS"):
                kind = "starts" if self.tok.is_word("STARTS") else "ends"
                self.advance(False)
                if not self.tok.is_word("WITH"):
                    self.fail("Expected WITH")
                self.advance(True)
                left = (kind, left, self.parse_postfix())
            else:
                return left

    def parse_postfix(self):
        e = self.parse_atom()
        while True:
            if self.tok.kind == ".":
                self.advance(False)
                if self.tok.kind not in ("name", "quoted"):
                    self.fail("Expected a property key")
                key = self.tok.value
                self.advance(False)
                e = ("prop", e, key)
            elif self.tok.kind == ":":
                schema = self.lexer.type_text()
                self.advance(False)
                e = ("type", e, schema)
            else:
                return e

    def expect_close(self, kind, reason):
        if self.tok.kind != kind:
            self.fail(reason)
        self.advance(False)

    def parse_atom(self):
        tok = self.tok
        if tok.kind in ("string", "number"):
            self.advance(False)
            return ("lit", tok.value)
        if tok.kind == "param":
            self.advance(False)
            return ("param", tok.value)
        if tok.kind == "quoted":
            self.advance(False)
            return ("var", tok.value)
        if tok.kind == "(":
            self.advance(True)
            e = self.parse_or()
            self.expect_close(")", "Expected ')'")
            return e
        if tok.kind == "[":
            self.advance(True)
            items = []
            if self.tok.kind == "]":
                self.advance(False)
                return ("list", items)
            while True:
                items.append(self.parse_or())
                if self.tok.kind == ",":
                    self.advance(True)
                    continue
                self.expect_close("]", "Expected ',' or ']'")
                return ("list", items)
        if tok.kind == "name":
            w = word(tok.value)
            if w in ("TRUE", "FALSE", "NULL"):
                self.advance(False)
                return ("lit", {"TRUE": True, "FALSE": False, "NULL": None}[w])
            if w in RESERVED:
                self.fail("Expected an expression")
            self.advance(False)
            if self.tok.kind != "(":
                return ("var", tok.value)
            if w not in FUNCTIONS:
                raise SyntaxFailure(f"Unknown function '{tok.value}'", tok.start)
            self.advance(True)
            arg = self.parse_or()
            self.expect_close(")", "Expected ')'")
            return ("call", w, arg)
        self.fail("Expected an expression")


# ---------------------------------------------------------------------------
# Preparing


class Prepared:
    def __init__(self, ast, names, values):
        self.ast = ast
        self.names = names      # distinct variables in text order
        self.values = values    # parameter name -> value


def _walk(ast):
    """Nodes in text order (pre-order, children left to right)."""
    stack = [ast] if ast is not None else []
    while stack:
        node = stack.pop()
        yield node
        kind = node[0]
        if kind in ("prop", "type", "not"):
            kids = [node[1]]
        elif kind == "call":
            kids = [node[2]]
        elif kind == "list":
            kids = node[1]
        elif kind == "cmp":
            kids = [node[2], node[3]]
        elif kind == "isnull":
            kids = [node[1]]
        elif kind in ("and", "or", "xor", "in", "starts", "ends", "contains"):
            kids = [node[1], node[2]]
        else:
            kids = []
        stack.extend(reversed(kids))


def prepare(text, params=None):
    """Parses `text` and looks up its parameters in `params` (a dict or None).
    A syntax error wins over a missing parameter; parameters are looked up in
    text order."""
    try:
        ast = Parser(text).parse()
    except SyntaxFailure as e:
        raise query_error(f"{e.reason} at offset {e.offset}") from None
    names, values = [], {}
    for node in _walk(ast):
        if node[0] == "var" and node[1] not in names:
            names.append(node[1])
        elif node[0] == "param" and node[1] not in values:
            if params is None or node[1] not in params:
                raise query_error(f"Parameter '{node[1]}' not given")
            values[node[1]] = params[node[1]]
    return Prepared(ast, names, values)


def variables(prepared):
    return list(prepared.names)


def check_variables(prepared, defined):
    for name in prepared.names:
        if name not in defined:
            raise query_error(f"Variable '{name}' not defined")


# ---------------------------------------------------------------------------
# Values


class EdgeList(list):
    """A list-of-edges cell while it is evaluated (rows hold plain lists)."""


def kind(v):
    if v is None:
        return "null"
    if isinstance(v, bool):
        return "boolean"
    if isinstance(v, (int, float)):
        return "number"
    if isinstance(v, str):
        return "string"
    if isinstance(v, EdgeList):
        return "edge list"
    if isinstance(v, (list, tuple)):
        return "list"
    if isinstance(v, dict):
        return "map"
    if type(v) is voralix.Node:
        return "node"
    if type(v) is voralix.Edge:
        return "edge"
    return "other"


def is_listlike(k):
    return k in ("list", "edge list")


def plain_number(v):
    """The value of an int or float (or subclass instance) without calling
    anything the subclass overrides."""
    return float.__float__(v) if isinstance(v, float) else int.__index__(v)


def is_nan(v):
    return isinstance(v, float) and math.isnan(float.__float__(v))


def equals(a, b):
    """`a = b`: True, False or None (null). Lists: a different length or an
    element pair that is false gives false, else any null gives null."""
    saw_null = False
    stack = [(a, b)]
    while stack:
        a, b = stack.pop()
        ka, kb = kind(a), kind(b)
        if ka == "null" or kb == "null":
            saw_null = True
            continue
        if is_listlike(ka) and is_listlike(kb):
            a, b = items(a), items(b)
            if len(a) != len(b):
                return False
            if len(stack) >= MAX_COMPARE_DEPTH:
                raise RecursionError("maximum nesting depth exceeded in comparison")
            stack.extend(reversed(list(zip(a, b))))
            continue
        if ka != kb:
            return False
        if ka == "boolean":
            r = a == b
        elif ka == "number":
            r = plain_number(a) == plain_number(b)
        elif ka == "string":
            r = str.__str__(a) == str.__str__(b)
        elif ka in ("node", "edge"):
            r = a.uid() == b.uid()
        else:
            r = bool(a == b)
        if not r:
            return False
    return None if saw_null else True


LT, EQ, GT, UNORDERED = -1, 0, 1, "unordered"


def order(a, b):
    """For `<` and friends: LT, EQ, GT, UNORDERED (NaN: every comparison is
    false) or None (null: the values cannot be compared)."""
    ka, kb = kind(a), kind(b)
    if ka == "null" or kb == "null":
        return None
    if ka == "list" and kb == "list":  # an edge list has no order
        return _order_lists(a, b, 1)
    if ka != kb:
        return None
    if ka == "number":
        if is_nan(a) or is_nan(b):
            return UNORDERED
        x, y = plain_number(a), plain_number(b)
        return LT if x < y else GT if x > y else EQ
    if ka == "string":
        x, y = str.__str__(a), str.__str__(b)
        return LT if x < y else GT if x > y else EQ
    if ka == "boolean":
        return LT if a < b else GT if a > b else EQ
    return None


def _order_lists(a, b, depth):
    if depth > MAX_COMPARE_DEPTH:
        raise RecursionError("maximum nesting depth exceeded in comparison")
    a, b = items(a), items(b)
    i = 0
    while i < len(a) and i < len(b):
        x, y = a[i], b[i]
        if kind(x) == "list" and kind(y) == "list":
            r = _order_lists(x, y, depth + 1)
        else:
            r = order(x, y)
        if r != EQ:
            return r
        i += 1
    return LT if len(a) < len(b) else GT if len(a) > len(b) else EQ


def items(v):
    """The elements of a list-like value, read without calling anything a
    list or tuple subclass overrides."""
    if isinstance(v, list):
        return list.__getitem__(v, slice(None))
    return tuple.__getitem__(v, slice(None))


def as_list_item(v):
    """A value placed in a list literal: an edge list becomes a plain list."""
    return list(v) if isinstance(v, EdgeList) else v


# ---------------------------------------------------------------------------
# Evaluation


def _properties(v):
    k = kind(v)
    return v.properties if k in ("node", "edge") else None


def _boolean(v):
    if v is not None and not isinstance(v, bool):
        raise mismatch("boolean", v)
    return v


def _eval(node, row, values):
    k = node[0]
    if k == "lit":
        return node[1]
    if k == "param":
        return values[node[1]]
    if k == "var":
        v = row[node[1]]
        return EdgeList(v) if isinstance(v, list) else v
    if k == "prop":
        props = _properties(_eval(node[1], row, values))
        if props is None:
            return None
        try:
            return dict.get(props, node[2])
        except Exception:
            return None
    if k == "type":
        v = _eval(node[1], row, values)
        kv = kind(v)
        if kv == "node":
            return voralix.TypeSchema(node[2]).matches(v.type)
        if kv == "edge":
            return voralix.TypeSchema(node[2]).matches(v.term.type)
        return None
    if k == "call":
        return _call(node[1], _eval(node[2], row, values))
    if k == "list":
        return [as_list_item(_eval(e, row, values)) for e in node[1]]
    if k == "not":
        v = _boolean(_eval(node[1], row, values))
        return None if v is None else not v
    if k == "and":
        a = _boolean(_eval(node[1], row, values))
        if a is False:
            return False
        b = _boolean(_eval(node[2], row, values))
        if b is False:
            return False
        return None if a is None or b is None else True
    if k == "or":
        a = _boolean(_eval(node[1], row, values))
        if a is True:
            return True
        b = _boolean(_eval(node[2], row, values))
        if b is True:
            return True
        return None if a is None or b is None else False
    if k == "xor":
        a = _boolean(_eval(node[1], row, values))
        b = _boolean(_eval(node[2], row, values))
        return None if a is None or b is None else a != b
    if k == "cmp":
        a = _eval(node[2], row, values)
        b = _eval(node[3], row, values)
        return _compare(node[1], a, b)
    if k == "in":
        a = _eval(node[1], row, values)
        b = _eval(node[2], row, values)
        kb = kind(b)
        if kb == "null":
            return None
        if not is_listlike(kb):
            raise mismatch("list", b)
        saw_null = False
        for item in items(b):
            r = equals(a, item)
            if r is True:
                return True
            saw_null = saw_null or r is None
        return None if saw_null else False
    if k in ("starts", "ends", "contains"):
        a = _eval(node[1], row, values)
        b = _eval(node[2], row, values)
        if kind(a) != "string" or kind(b) != "string":
            return None
        a, b = str.__str__(a), str.__str__(b)
        return a.startswith(b) if k == "starts" else a.endswith(b) if k == "ends" else b in a
    if k == "isnull":
        v = _eval(node[1], row, values)
        return (v is not None) if node[2] else (v is None)
    raise AssertionError(k)


def _compare(op, a, b):
    if op in ("=", "<>"):
        r = equals(a, b)
        return r if r is None or op == "=" else not r
    r = order(a, b)
    if r is None:
        return None
    if r == UNORDERED:
        return False
    return {"<": r == LT, "<=": r != GT, ">": r == GT, ">=": r != LT}[op]


def _call(function, v):
    k = kind(v)
    if function == "UID":
        return v.uid() if k in ("node", "edge") else None
    if function == "TYPE":
        if k == "node":
            return str(v.type)
        return str(v.term.type) if k == "edge" else None
    if function == "NAME":
        return v.term.name if k == "edge" else None
    if function in ("START", "END"):
        if k != "edge":
            return None
        return v.start if function == "START" else v.end
    if function == "SIZE":
        if k == "string":
            return str.__len__(v)
        return len(items(v)) if is_listlike(k) else None
    raise AssertionError(function)


def evaluate(prepared, row):
    """The condition's three-valued result for one row."""
    if prepared.ast is None:
        return True
    return _eval(prepared.ast, row, prepared.values)


def keep(prepared, row):
    result = evaluate(prepared, row)
    return _boolean(result) is True


# ---------------------------------------------------------------------------
# ORDER BY

# Ranks of the ascending order across kinds of values.
_RANK_MAP, _RANK_LIST, _RANK_STRING, _RANK_BOOL, _RANK_NUMBER, _RANK_NAN, _RANK_OTHER, \
    _RANK_NULL = range(8)


def sort_rank(v):
    if v is None:
        return _RANK_NULL
    if isinstance(v, dict):
        return _RANK_MAP
    if isinstance(v, (list, tuple)):
        return _RANK_LIST
    if isinstance(v, str):
        return _RANK_STRING
    if isinstance(v, bool):
        return _RANK_BOOL
    if isinstance(v, (int, float)):
        return _RANK_NAN if is_nan(v) else _RANK_NUMBER
    return _RANK_OTHER


def sort_compare(a, b, depth=1):
    """-1, 0 or 1 in the ascending ORDER BY order."""
    ra, rb = sort_rank(a), sort_rank(b)
    if ra != rb:
        return -1 if ra < rb else 1
    if ra == _RANK_LIST:
        if depth > MAX_COMPARE_DEPTH:
            raise RecursionError("maximum nesting depth exceeded in comparison")
        a, b = items(a), items(b)
        i = 0
        while i < len(a) and i < len(b):
            r = sort_compare(a[i], b[i], depth + 1)
            if r:
                return r
            i += 1
        return (len(a) > len(b)) - (len(a) < len(b))
    if ra == _RANK_STRING:
        x, y = str.__str__(a), str.__str__(b)
    elif ra == _RANK_BOOL:
        x, y = a, b
    elif ra == _RANK_NUMBER:
        x, y = plain_number(a), plain_number(b)
    elif ra == _RANK_OTHER:
        x, y = type(a).__name__, type(b).__name__
        if x == y:
            if a < b:
                return -1
            return 1 if b < a else 0
    else:
        return 0
    return (x > y) - (x < y)


def sort_order(keys):
    """Row indexes stably sorted by `keys`, [(values, ascending), ...] with
    values[row] the row's value (None for null), the first key primary."""
    rows = len(keys[0][0]) if keys else 0
    order_ = list(range(rows))

    def less(r, s):
        for values, ascending in keys:
            c = sort_compare(values[r], values[s])
            if c:
                return c < 0 if ascending else c > 0
        return False

    # Bottom-up merge sort: a row moves ahead of an earlier one only when
    # strictly less, so ties keep their order.
    width = 1
    while width < rows:
        merged = []
        for lo in range(0, rows, 2 * width):
            left = order_[lo:lo + width]
            right = order_[lo + width:lo + 2 * width]
            i = j = 0
            while i < len(left) and j < len(right):
                if less(right[j], left[i]):
                    merged.append(right[j])
                    j += 1
                else:
                    merged.append(left[i])
                    i += 1
            merged.extend(left[i:])
            merged.extend(right[j:])
        order_ = merged
        width *= 2
    return order_
