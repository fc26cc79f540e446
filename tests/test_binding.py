"""Argument binding and conversion errors, docstrings and attribute rules
shared by every class."""

import pytest

from voralix import Application, Term, Variable

A, B = Variable("A"), Variable("B")
F, X = Term("f", Application(A, B)), Term("x", A)


class Str(str):
    pass


def raises_exactly(exc_type, message, fn, *args, **kwargs):
    with pytest.raises(exc_type) as info:
        fn(*args, **kwargs)
    assert type(info.value) is exc_type
    if message is not None:
        assert info.value.args == (message,)


CONSTRUCT = pytest.mark.parametrize("construct", [
    lambda cls, *a, **k: cls(*a, **k),
    lambda cls, *a, **k: cls.__new__(cls, *a, **k),
], ids=["call", "__new__"])

NOT_STR = "argument 'name': '{}' object cannot be converted to 'PyString'"


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
    (Application, (A, "B"), {}, "Expected Variable or Application"),
    (Application, (None, B), {}, "Expected Variable or Application"),
    (Term, ("t", "A"), {}, "Expected Variable or Application"),
    (Term, (), {"name": "t", "type": X}, "Expected Variable or Application"),
])
def test_constructor_errors(construct, cls, args, kwargs, message):
    raises_exactly(TypeError, message, construct, cls, *args, **kwargs)


@CONSTRUCT
@pytest.mark.parametrize("cls, args", [
    (Variable, ("\ud800",)), (Variable, (Str("ok\udfff"),)), (Term, ("\udc80", A)),
])
def test_unencodable_text_passes_through_unprefixed(construct, cls, args):
    raises_exactly(UnicodeEncodeError, None, construct, cls, *args)


@CONSTRUCT
def test_keywords_and_str_subclasses(construct):
    # Keywords that are neither interned nor exact str still match by content.
    assert construct(Variable, **{"".join(["na", "me"]): "a"}).name == "a"
    assert construct(Variable, **{Str("name"): "b"}).name == "b"
    assert str(construct(Term, type=A, name="t")) == "t:A"
    v = construct(Variable, Str("P"))
    assert type(v.name) is str and v == Variable("P")


@pytest.mark.parametrize("call", [F, F.__call__], ids=["call", "__call__"])
@pytest.mark.parametrize("args, kwargs, message", [
    ((), {}, "Term.__call__() missing 1 required positional argument: 'other'"),
    ((X, X), {}, "Term.__call__() takes 1 positional arguments but 2 were given"),
    ((), {"x": X}, "Term.__call__() got an unexpected keyword argument 'x'"),
    ((X,), {"other": X}, "Term.__call__() got multiple values for argument 'other'"),
    ((5,), {}, "argument 'other': 'int' object cannot be converted to 'Term'"),
    ((), {"other": A}, "argument 'other': 'Variable' object cannot be converted to 'Term'"),
])
def test_term_call_errors(call, args, kwargs, message):
    raises_exactly(TypeError, message, call, *args, **kwargs)


def test_call_argument_checked_before_types():
    # x is no function, yet the argument error wins over the type mismatch.
    raises_exactly(TypeError, "argument 'other': 'str' object cannot be converted to 'Term'",
                   X, "f")


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
    (Application(A, B), "left"), (Application(A, B), "right"), (Term("t", A), "type"),
])
def test_read_only_attributes(obj, attr):
    before = getattr(obj, attr)
    raises_exactly(AttributeError, None, setattr, obj, attr, B)
    raises_exactly(AttributeError, None, delattr, obj, attr)
    assert getattr(obj, attr) == before


@pytest.mark.parametrize("obj, signature, words", [
    (Variable, "(name)", []),
    (Application, "(left, right)", []),
    (Term, "(name, type)", []),
    (Variable.uid, "($self)", ["SHA256", "name"]),
    (Application.uid, "($self)", ["SHA256", "left", "right"]),
    (Term.uid, "($self)", ["SHA256", "name", "uid"]),
])
def test_docstrings_start_with_signature(obj, signature, words):
    # CPython splits off a leading "name(...)\n--\n\n" as the text signature;
    # what remains is the description.
    assert obj.__text_signature__ == signature
    assert obj.__doc__ and not obj.__doc__.startswith(("(", "-", "\n"))
    assert all(w in obj.__doc__ for w in words)


@pytest.mark.parametrize("descriptor, first_line", [
    (Application.left, "Gets the left (input) type of this application."),
    (Application.right, "Gets the right (output) type of this application."),
    (Term.type, "Gets the type of this term."),
])
def test_attribute_docstrings(descriptor, first_line):
    assert descriptor.__doc__.startswith(first_line)
    assert "Returns" in descriptor.__doc__[len(first_line):]


def test_prefixed_error_keeps_the_exception_being_handled():
    try:
        try:
            raise KeyError("k")
        except KeyError:
            Variable(1)
    except TypeError as e:
        assert str(e).startswith("argument 'name': ")
        assert isinstance(e.__context__, KeyError) and not e.__suppress_context__
