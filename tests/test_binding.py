"""Argument binding and conversion errors (messages and the order in which
arguments are checked), text signatures, docstrings and attribute rules, for
every class."""

import pytest

from voralix import (Application, Edge, EdgePattern, Graph, Node, NodePattern, PathPattern, Query,
                     Term, TypeSchema, Variable)

A, B = Variable("A"), Variable("B")
F, X = Term("f", Application(A, B)), Term("x", A)
N = Node(A)


class Str(str):
    pass


def raises_exactly(exc_type, message, fn, *args, **kwargs):
    with pytest.raises(exc_type) as info:
        fn(*args, **kwargs)
    assert type(info.value) is exc_type
    if message is not None:
        assert info.value.args == (message,)


def conv(got, target, arg=None):
    msg = f"'{got}' object cannot be converted to '{target}'"
    return f"argument '{arg}': {msg}" if arg else msg


CONSTRUCT = pytest.mark.parametrize("construct", [
    lambda cls, *a, **k: cls(*a, **k),
    lambda cls, *a, **k: cls.__new__(cls, *a, **k),
], ids=["call", "__new__"])
NOT_STR = "argument 'name': '{}' object cannot be converted to 'PyString'"
NOT_A_TYPE = "Expected Variable or Application"


@CONSTRUCT
@pytest.mark.parametrize("cls, args, kwargs, message", [
    (Variable, (), {}, "Variable.__new__() missing 1 required positional argument: 'name'"),
    (Application, (), {},
     "Application.__new__() missing 2 required positional arguments: 'left' and 'right'"),
    (Application, (), {"right": B},
     "Application.__new__() missing 1 required positional argument: 'left'"),
    (Term, ("t",), {}, "Term.__new__() missing 1 required positional argument: 'type'"),
    (Variable, ("a", "b"), {}, "Variable.__new__() takes 1 positional arguments but 2 were given"),
    (Term, ("t", A, A, A), {}, "Term.__new__() takes 2 positional arguments but 4 were given"),
    (Variable, ("a",), {"Name": 1}, "Variable.__new__() got an unexpected keyword argument 'Name'"),
    (Term, ("t",), {"typ\u00e9": A}, "Term.__new__() got an unexpected keyword argument 'typ\u00e9'"),
    (Variable, ("a",), {"name": "b"}, "Variable.__new__() got multiple values for argument 'name'"),
    (Application, (A, B), {"right": B},
     "Application.__new__() got multiple values for argument 'right'"),
    (Variable, (1,), {}, NOT_STR.format("int")),
    (Variable, (), {"name": None}, NOT_STR.format("NoneType")),
    (Variable, (b"A",), {}, NOT_STR.format("bytes")),
    (Variable, (A,), {}, NOT_STR.format("Variable")),
    # The name is converted before the type is looked at.
    (Term, (1, "A"), {}, NOT_STR.format("int")),
    # Type conversion happens after binding and carries no argument prefix.
    (Application, (A, "B"), {}, NOT_A_TYPE),
    (Application, (None, B), {}, NOT_A_TYPE),
    (Term, ("t", "A"), {}, NOT_A_TYPE),
    (Term, (), {"name": "t", "type": X}, NOT_A_TYPE),
])
def test_constructor_errors(construct, cls, args, kwargs, message):
    raises_exactly(TypeError, message, construct, cls, *args, **kwargs)


@CONSTRUCT
@pytest.mark.parametrize("cls, args", [
    (Variable, ("\ud800",)), (Variable, (Str("ok\udfff"),)), (Term, ("\udc80", A)),
])
def test_unencodable_text_passes_through_unprefixed(construct, cls, args):
    raises_exactly(UnicodeEncodeError, None, construct, cls, *args)


PROPS = "argument 'properties': '{}' object cannot be converted to 'PyDict'"
MISSING = "{}() missing 1 required positional argument: '{}'"


@pytest.mark.parametrize("call, exc, message", [
    # Node and Edge: the properties dict first, then the others in order.
    (lambda: Node(42, 5), TypeError, PROPS.format("int")),
    (lambda: Node("A", properties=[("x", 1)]), TypeError, PROPS.format("list")),
    (lambda: Node(42), TypeError, NOT_A_TYPE),
    (lambda: Node(F, {}), TypeError, NOT_A_TYPE),
    (lambda: Node(), TypeError, MISSING.format("Node.__new__", "type")),
    (lambda: Edge(1, 2, 3, 4), TypeError, PROPS.format("int")),
    (lambda: Edge(N, F, N), TypeError, conv("Node", "Term", "term")),
    (lambda: Edge(F, 2, 3), TypeError, conv("int", "Node", "start")),
    (lambda: Edge(F, N, A), TypeError, conv("Variable", "Node", "end")),
    (lambda: Edge(F, N), TypeError, MISSING.format("Edge.__new__", "end")),
    (lambda: Graph(1), TypeError, "Graph.__new__() takes 0 positional arguments but 1 was given"),
    (lambda: Query(A), TypeError, conv("Variable", "Graph", "graph")),
    # NodePattern and EdgePattern: variable, properties being a dict,
    # direction, type / term, property keys.
    (lambda: NodePattern(1, 2, 3, [1]), TypeError, conv("int", "PyString", "variable")),
    (lambda: NodePattern("n", 2, 3, [1]), TypeError, conv("list", "PyDict", "properties")),
    (lambda: NodePattern("n", 2, 3, {1: 2}), TypeError, NOT_A_TYPE),
    (lambda: NodePattern("n", Term("f", A)), TypeError, NOT_A_TYPE),
    (lambda: NodePattern("n", A, 3, {"a": 1, 1: 2}), TypeError, conv("int", "PyString")),
    (lambda: EdgePattern(1, 2, 3, 4, 5), TypeError, conv("int", "PyString", "variable")),
    (lambda: EdgePattern("e", 2, 3, 4, 5), TypeError, conv("int", "PyDict", "properties")),
    (lambda: EdgePattern("e", 2, 3, {1: 1}, 5), TypeError, conv("int", "PyString", "direction")),
    (lambda: EdgePattern("e", 2, 3, {1: 1}, "d"), TypeError, conv("int", "Term")),
    (lambda: EdgePattern("e", A), TypeError, conv("Variable", "Term")),
    (lambda: EdgePattern("e", None, 3, {1: 1}), TypeError, conv("int", "PyString")),
    (lambda: NodePattern("n\ud800"), UnicodeEncodeError, None),
    (lambda: EdgePattern(direction="\udfff"), UnicodeEncodeError, None),
    (lambda: NodePattern(properties={"\ud800": 1}), UnicodeEncodeError, None),
    (lambda: NodePattern(type_schema="$\ud800$"), UnicodeEncodeError, None),
    (lambda: EdgePattern(term_type_schema="\ud800"), UnicodeEncodeError, None),
    (lambda: NodePattern(1, 2, 3, 4, 5), TypeError,
     "NodePattern.__new__() takes from 0 to 4 positional arguments but 5 were given"),
    (lambda: EdgePattern("e", variable="f"), TypeError,
     "EdgePattern.__new__() got multiple values for argument 'variable'"),
    # PathPattern
    (lambda: PathPattern(5), TypeError, conv("int", "PyString", "pattern")),
    (lambda: PathPattern.parse(None), TypeError, conv("NoneType", "PyString", "pattern")),
    (lambda: PathPattern.parse(), TypeError, MISSING.format("PathPattern.parse", "pattern")),
    (lambda: PathPattern().add_node(EdgePattern()), TypeError,
     conv("EdgePattern", "NodePattern", "pattern")),
    (lambda: PathPattern().add_edge(pattern="(a)"), TypeError, conv("str", "EdgePattern", "pattern")),
    # TypeSchema
    (lambda: TypeSchema(), TypeError, MISSING.format("TypeSchema.__new__", "pattern")),
    (lambda: TypeSchema(5), TypeError, conv("int", "PyString", "pattern")),
    (lambda: TypeSchema("\ud800"), UnicodeEncodeError, None),
    (lambda: TypeSchema("$*$").matches("A"), TypeError, NOT_A_TYPE),
    (lambda: TypeSchema("$*$").matches(X), TypeError, NOT_A_TYPE),
    (lambda: TypeSchema("$*$").capture(type=None), TypeError, NOT_A_TYPE),
    (lambda: TypeSchema("$*$").matches(), TypeError, MISSING.format("TypeSchema.matches", "type")),
])
def test_argument_errors(call, exc, message):
    raises_exactly(exc, message, call)


@CONSTRUCT
def test_keywords_and_str_subclasses(construct):
    # Keywords that are neither interned nor exact str still match by content.
    assert construct(Variable, **{"".join(["na", "me"]): "a"}).name == "a"
    assert construct(Variable, **{Str("name"): "b"}).name == "b"
    assert str(construct(Term, type=A, name="t")) == "t:A"
    v = construct(Variable, Str("P"))
    assert type(v.name) is str and v == Variable("P")


# x is no function: binding and argument errors win over the type mismatch.
@pytest.mark.parametrize("call", [X, X.__call__], ids=["call", "__call__"])
@pytest.mark.parametrize("args, kwargs, message", [
    ((), {}, "Term.__call__() missing 1 required positional argument: 'other'"),
    ((X, X), {}, "Term.__call__() takes 1 positional arguments but 2 were given"),
    ((), {"x": X}, "Term.__call__() got an unexpected keyword argument 'x'"),
    ((X,), {"other": X}, "Term.__call__() got multiple values for argument 'other'"),
    ((5,), {}, conv("int", "Term", "other")),
    (("f",), {}, conv("str", "Term", "other")),
    ((), {"other": A}, conv("Variable", "Term", "other")),
])
def test_term_call_errors(call, args, kwargs, message):
    raises_exactly(TypeError, message, call, *args, **kwargs)


@pytest.mark.parametrize("obj", [A, Application(A, B), X], ids=lambda o: type(o).__name__)
@pytest.mark.parametrize("args, kwargs, message", [
    ((1,), {}, "{}.uid() takes 0 positional arguments but 1 was given"),
    ((1, 2), {}, "{}.uid() takes 0 positional arguments but 2 were given"),
    ((), {"self": 1}, "{}.uid() got an unexpected keyword argument 'self'"),
])
def test_method_errors(obj, args, kwargs, message):
    raises_exactly(TypeError, message.format(type(obj).__name__), obj.uid, *args, **kwargs)


@pytest.mark.parametrize("make", [Variable, lambda n: Term(n, A)], ids=["Variable", "Term"])
@pytest.mark.parametrize("value, exc_type, message", [
    (5, TypeError, NOT_STR.format("int")),
    (None, TypeError, NOT_STR.format("NoneType")),
    ("bad\ud800", UnicodeEncodeError, None),
])
def test_name_setter_errors_leave_name_unchanged(make, value, exc_type, message):
    obj = make("v")
    raises_exactly(exc_type, message, setattr, obj, "name", value)
    raises_exactly(AttributeError, "can't delete attribute", delattr, obj, "name")
    assert obj.name == "v"


@pytest.mark.parametrize("obj, attr", [
    (Application(A, B), "left"), (Application(A, B), "right"), (Term("t", A), "type"), (N, "type"),
    *[(Edge(F, N, N), a) for a in ("term", "start", "end")], (Graph(), "nodes"), (Graph(), "edges"),
    (NodePattern("n"), "variable"), (EdgePattern("e"), "variable"), (EdgePattern(), "direction"),
    (PathPattern(), "nodes"), (PathPattern(), "edges"),
])
def test_read_only_attributes(obj, attr):
    before = repr(getattr(obj, attr))
    raises_exactly(AttributeError, None, setattr, obj, attr, B)
    raises_exactly(AttributeError, None, delattr, obj, attr)
    assert repr(getattr(obj, attr)) == before


KW = "pattern=None, *, node=None, edge=None, "
QUERY = {
    "match": KW + "start=None, end=None, type=..., type_schema=None, term=None, "
                  "term_type_schema=None, properties=None",
    "merge": KW + "type=..., type_schema=None, term=None, term_type_schema=None, start=None, "
                  "end=None, properties=None",
    "create": KW + "type=..., term=None, start=None, end=None, properties=None",
    "where": "condition", "set": "variable, properties", "delete": "*variables, detach=False",
    "with_": "*variables", "order_by": "variable, key, ascending=True", "skip": "count",
    "limit": "count", "execute": "", "return_": "*variables", "return_distinct": "*variables",
    "return_count": "",
}
SIGNATURES = [
    (Variable, "(name)"), (Application, "(left, right)"), (Term, "(name, type)"),
    (Node, "(type, properties=None)"), (Edge, "(term, start, end, properties=None)"),
    (Graph, "()"), (Graph.query, "($self)"), (Query, "(graph)"),
    (TypeSchema, "(pattern)"), (TypeSchema.matches, "($self, type)"),
    (TypeSchema.capture, "($self, type)"),
    (NodePattern, "(variable=None, type=..., type_schema=None, properties=None)"),
    (EdgePattern, "(variable=None, term=None, term_type_schema=None, properties=None, direction=...)"),
    (PathPattern, "(pattern=None)"), (PathPattern.parse, "(pattern)"),
    (PathPattern.add_node, "($self, pattern)"), (PathPattern.add_edge, "($self, pattern)"),
    *[(cls.uid, "($self)") for cls in (Variable, Application, Term, Node, Edge)],
    *[(getattr(Query, k), "($self" + (", " if v else "") + v + ")") for k, v in QUERY.items()],
]


@pytest.mark.parametrize("obj, signature", SIGNATURES, ids=[o.__qualname__ for o, _ in SIGNATURES])
def test_text_signatures(obj, signature):
    # CPython splits a leading "name(...)\n--\n\n" off the docstring as the
    # text signature; what remains is the description.
    assert obj.__text_signature__ == signature
    assert not (obj.__doc__ or "").startswith(("(", "-", "\n"))


@pytest.mark.parametrize("obj, first_line, words", [
    (Variable, "", []), (Application, "", []), (Term, "", []),
    (Variable.uid, "", ["SHA256", "name"]),
    (Application.uid, "", ["SHA256", "left", "right"]),
    (Term.uid, "", ["SHA256", "name", "uid"]),
    (Application.left, "Gets the left (input) type of this application.", ["Returns"]),
    (Application.right, "Gets the right (output) type of this application.", ["Returns"]),
    (Term.type, "Gets the type of this term.", ["Returns"]),
])
def test_docstrings(obj, first_line, words):
    assert obj.__doc__ and obj.__doc__.startswith(first_line)
    assert all(w in obj.__doc__[len(first_line):] for w in words)


def test_prefixed_error_keeps_the_exception_being_handled():
    try:
        try:
            raise KeyError("k")
        except KeyError:
            Variable(1)
    except TypeError as e:
        assert str(e).startswith("argument 'name': ")
        assert isinstance(e.__context__, KeyError) and not e.__suppress_context__


class Index:
    def __index__(self):
        return 3


@pytest.mark.parametrize("method", ["skip", "limit"])
@pytest.mark.parametrize("value, got", [
    (Edge(F, N, Node(B)), "Edge"), (N, "Node"), (A, "Variable"), (Graph(), "Graph"),
    (1.5, "float"), ("3", "str"), (Str, "type"), (None, "NoneType"),
])
def test_count_conversion_names_the_class(method, value, got):
    raises_exactly(TypeError, f"argument 'count': '{got}' object cannot be interpreted as an integer",
                   getattr(Graph().query(), method), value)
    assert type(getattr(Graph().query(), method)(Index())) is Query  # __index__ is honoured
