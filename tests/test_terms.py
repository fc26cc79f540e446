"""Term: text forms, uids, equality, hashing, renaming and term application."""

import hashlib
import operator

import pytest
from hypothesis import given, settings, strategies as st

from voralix import Application, Term, Variable

var = lambda name: ("var", name)  # noqa: E731
app = lambda left, right: ("app", left, right)  # noqa: E731


@pytest.fixture
def f(A, B):
    return Term("f", Application(A, B))


@pytest.fixture
def x(A):
    return Term("x", A)


def mismatch(expected, got, context):
    return f"Type mismatch: expected {expected}, got {got} (in {context})"


@pytest.mark.parametrize("name, tree, text, rep", [
    ("f", app(var("A"), var("B")), "f:(A -> B)", 'Term("f", (A -> B))'),
    ("", var("A"), ":A", 'Term("", A)'),
    ('say "hi"', var("A"), 'say "hi":A', 'Term("say "hi"", A)'),
    ("a:b", var(""), "a:b:", 'Term("a:b", )'),
    ("\u00e9\U0001d538", app(app(var("A"), var("B")), var("C")),
     "\u00e9\U0001d538:((A -> B) -> C)", 'Term("\u00e9\U0001d538", ((A -> B) -> C))'),
])
def test_text_forms_and_uid(M, name, tree, text, rep):
    t = Term(name, M.build_type(tree))
    assert (str(t), repr(t), t.name) == (text, rep, name)
    data = b"term:" + name.encode() + b":" + t.type.uid().encode()
    assert t.uid() == hashlib.sha256(data).hexdigest()


def test_type_attribute(f, A, B):
    assert f.type is not f.type and f.type == Application(A, B)
    assert type(f.type) is Application and type(Term("x", A).type) is Variable
    f.type.left.name = "Z"
    A.name = "Z"
    assert str(f) == "f:(A -> B)"


@pytest.mark.parametrize("left, right, equal", [
    (("t", var("A")), ("t", var("A")), True),
    (("t", var("A")), ("u", var("A")), False),
    (("t", var("A")), ("t", var("B")), False),
    (("", app(var("A"), var("B"))), ("", app(var("A"), var("B"))), True),
    (("t", app(var("A"), var("B"))), ("t", app(var("B"), var("A"))), False),
])
def test_equality(M, left, right, equal):
    a, b = Term(left[0], M.build_type(left[1])), Term(right[0], M.build_type(right[1]))
    assert (a == b, a != b, a.__eq__(b)) == (equal, not equal, equal)
    assert hash(a) == hash(b) or not equal


def test_comparison_protocol(A, eq_returning):
    t, Eq = Term("t", A), eq_returning
    for other in ["t", None, A, Application(A, A)]:
        assert t.__eq__(other) is NotImplemented
        assert (t == other, other == t, t != other, other != t) == (False, False, True, True)
    assert (t != Eq(True), t != Eq(""), t != Eq((1,))) == (False, True, False)
    with pytest.raises(KeyError):
        t != Eq(KeyError())
    for op in (operator.lt, operator.le, operator.gt, operator.ge):
        with pytest.raises(TypeError):
            op(t, t)


def test_hash_against_cpython_siphash(M, cpython_bytes_hash):
    cases = [("x", var("A")), ("f", app(var("A"), var("B"))), ("", var("")),
             ("g", app(app(var("A"), var("B")), var("\u00e9")))]
    streams = [M.term_hash_stream(n, t) for n, t in cases]
    assert streams[0] == b"x\xff" + bytes(8) + b"A\xff" + bytes(8)
    expected = cpython_bytes_hash(streams)
    assert [hash(Term(n, M.build_type(t))) for n, t in cases] == expected
    assert [M.python_hash(s) for s in streams] == expected


def test_rename_in_place(A, f, x):
    applied = f(x)
    f.name = "g"
    assert (str(f), repr(f)) == ("g:(A -> B)", 'Term("g", (A -> B))')
    assert f == Term("g", f.type) and hash(f) == hash(Term("g", f.type))
    assert f.uid() == Term("g", f.type).uid()
    assert str(applied) == "(f x):B" and str(f(x)) == "(g x):B"
    applied.name = "r"
    assert str(f(x)) == "(g x):B"


# --- Term application --------------------------------------------------------

def test_application(f, x, B):
    result = f(x)
    assert type(result) is Term
    assert (result.name, str(result), repr(result)) == ("(f x)", "(f x):B", 'Term("(f x)", B)')
    assert result.type == B
    assert result == f(other=x) == f.__call__(x)
    assert (str(f), str(x)) == ("f:(A -> B)", "x:A")


@pytest.mark.parametrize("fn, arg, message", [
    (("f", app(var("A"), var("B"))), ("y", var("C")), mismatch("A", "C", "function application")),
    (("x", var("A")), ("f", app(var("A"), var("B"))),
     mismatch("application type (A -> B)", "A", "term application")),
    (("x", var("(C -> D)")), ("y", var("A")),
     mismatch("application type (A -> B)", "(C -> D)", "term application")),
    (("g", app(app(var("A"), var("B")), var("C"))), ("x", var("A")),
     mismatch("(A -> B)", "A", "function application")),
    (("w", app(var("A"), var("A"))), ("w", app(var("A"), var("A"))),
     mismatch("A", "(A -> A)", "function application")),
])
def test_mismatch(M, fn, arg, message):
    f, x = Term(fn[0], M.build_type(fn[1])), Term(arg[0], M.build_type(arg[1]))
    with pytest.raises(TypeError) as info:
        f(x)
    assert type(info.value) is TypeError and info.value.args == (message,)


def test_higher_order(A, B, C, f, x):
    assert str(Term("g", Application(Application(A, B), C))(f)) == "(g f):C"
    hx = Term("h", Application(A, Application(B, C)))(x)
    assert str(hx) == "(h x):(B -> C)" and type(hx.type) is Application
    hxy = hx(Term("y", B))
    assert str(hxy) == "((h x) y):C"
    assert hxy.uid() == Term("((h x) y)", C).uid()
    # A term applied to itself (its type's input is its own type).
    w = Term("w", Application(A, A))
    assert str(Term("k", Application(Application(A, A), A))(w)) == "(k w):A"


def test_names_joined_verbatim(A, B):
    assert Term("f g", Application(A, B))(Term("(x)", A)).name == "(f g (x))"
    assert Term("", Application(A, B))(Term("", A)).name == "( )"


# --- Property tests against the model ---------------------------------------

names = st.sampled_from(["f", "x", "", "a b", '"', "\u00e9"])
trees = st.recursive(st.sampled_from(["A", "B", ""]).map(var),
                     lambda ch: st.tuples(st.just("app"), ch, ch), max_leaves=6)


@st.composite
def application_cases(draw):
    ftree = draw(trees)
    # Half the time the argument fits the function's input, when it has one.
    fits = ftree[0] == "app" and draw(st.booleans())
    return draw(names), ftree, draw(names), ftree[1] if fits else draw(trees)


@settings(max_examples=300, deadline=None)
@given(application_cases())
def test_term_agrees_with_model(M, case):
    fname, ftree, xname, xtree = case
    f, x = Term(fname, M.build_type(ftree)), Term(xname, M.build_type(xtree))
    assert str(f) == fname + ":" + M.type_text(ftree)
    assert repr(f) == f'Term("{fname}", {M.type_text(ftree)})'
    assert f.uid() == M.term_uid(fname, ftree)
    assert hash(f) == M.python_hash(M.term_hash_stream(fname, ftree))
    expected = M.apply_terms(fname, ftree, xname, xtree)
    if expected[0] == "error":
        with pytest.raises(TypeError) as info:
            f(x)
        assert info.value.args == (expected[1],)
    else:
        result = f(x)
        assert result.name == expected[1]
        assert result == Term(expected[1], M.build_type(expected[2]))
        assert hash(result) == M.python_hash(M.term_hash_stream(expected[1], expected[2]))
