"""The type core: Variable, Application and Term. Text forms, uids, equality,
the comparison protocol, the content hash, renaming in place and term
application, by example and against the model in conftest.py."""

import operator

import pytest
from hypothesis import given, settings, strategies as st

from models.schema_model import app, var
from voralix import Application, Term, Variable

A, B, C = Variable("A"), Variable("B"), Variable("C")
NAMES = ["A", "", 'say "hi"', "a\\b", "\u00e9t\u00e9", "\U0001d538", "a\x00b", " -> ", "x:y"]


def term(name, tree):
    return ("term", name, tree)


def build(M, tree):  # a model type, or term(name, type)
    return Term(tree[1], M.build_type(tree[2])) if tree[0] == "term" else M.build_type(tree)


def model_uid(M, tree):
    return M.term_uid(tree[1], tree[2]) if tree[0] == "term" else M.type_uid(tree)


@pytest.mark.parametrize("tree, text, rep", [
    *[(var(n), n, f'Variable("{n}")') for n in NAMES],
    (var('a"b'), 'a"b', 'Variable("a"b")'),
    (app(var("A"), var("B")), "(A -> B)", "Application(A, B)"),
    (app(var("B"), var("A")), "(B -> A)", "Application(B, A)"),
    (app(app(var("A"), var("B")), var("C")), "((A -> B) -> C)", "Application((A -> B), C)"),
    (app(var("A"), app(var("B"), var("C"))), "(A -> (B -> C))", "Application(A, (B -> C))"),
    (app(var('"'), var("")), '(" -> )', 'Application(", )'),
    (term("f", app(var("A"), var("B"))), "f:(A -> B)", 'Term("f", (A -> B))'),
    (term("", var("A")), ":A", 'Term("", A)'),
    (term('say "hi"', var("A")), 'say "hi":A', 'Term("say "hi"", A)'),
    (term("a:b", var("")), "a:b:", 'Term("a:b", )'),
    (term("\u00e9\U0001d538", app(app(var("A"), var("B")), var("C"))),
     "\u00e9\U0001d538:((A -> B) -> C)", 'Term("\u00e9\U0001d538", ((A -> B) -> C))'),
])
def test_text_forms_and_uids(M, tree, text, rep):
    obj = build(M, tree)
    assert (str(obj), repr(obj), obj.uid()) == (text, rep, model_uid(M, tree))


def test_shared_subtrees_make_no_difference():
    shared = Application(A, B)
    left = Application(shared, shared)
    right = Application(Application(A, B), Application(Variable("A"), Variable("B")))
    assert left.uid() == right.uid() and left == right and hash(left) == hash(right)


@pytest.mark.parametrize("left, right, equal", [
    (var("A"), var("A"), True),
    (var("A"), var("a"), False),
    (var("\u00e9"), var("e\u0301"), False),
    (app(var("A"), var("B")), app(var("A"), var("B")), True),
    (app(var("A"), var("B")), app(var("B"), var("A")), False),
    (app(app(var("A"), var("B")), var("C")), app(var("A"), app(var("B"), var("C"))), False),
    (var("A"), app(var("A"), var("A")), False),
    (term("t", var("A")), term("t", var("A")), True),
    (term("t", var("A")), term("u", var("A")), False),
    (term("t", var("A")), term("t", var("B")), False),
    (term("", app(var("A"), var("B"))), term("", app(var("A"), var("B"))), True),
    (term("t", app(var("A"), var("B"))), term("t", app(var("B"), var("A"))), False),
])
def test_equality(M, left, right, equal):
    a, b = build(M, left), build(M, right)
    assert (a == b, b == a, a != b, b != a) == (equal, equal, not equal, not equal)
    assert a.__eq__(b) is (equal if type(a) is type(b) else NotImplemented)
    assert hash(a) == hash(b) or not equal


class Eq:
    """An object whose __eq__ returns `result`, or raises it if it is an exception."""
    __hash__ = None

    def __init__(self, result):
        self.result = result

    def __eq__(self, other):
        if isinstance(self.result, BaseException):
            raise self.result
        return self.result


@pytest.mark.parametrize("obj", [A, Application(A, B), Term("t", A)], ids=lambda o: type(o).__name__)
def test_comparison_protocol(obj):
    for other in ["A", 3, None, A, Application(A, A), Term("A", A)]:
        if type(other) is not type(obj):
            assert obj.__eq__(other) is NotImplemented
            assert (obj == other, other == obj, obj != other, other != obj) == (False, False, True, True)
    # != negates the outcome of == through the full protocol, reflected
    # operation included, taking the truth value of whatever it returns.
    assert (obj == Eq(True), obj != Eq(True), obj != Eq(""), obj != Eq((1,))) == (True, False, True, False)
    assert (obj != Eq([]), obj != Eq([0]), obj != Eq(NotImplemented)) == (True, False, True)
    with pytest.raises(KeyError):
        obj != Eq(KeyError())
    bad_bool = type("BadBool", (), {"__bool__": lambda self: 1 / 0})()
    with pytest.raises(ZeroDivisionError):
        obj != Eq(bad_bool)
    for op in (operator.lt, operator.le, operator.gt, operator.ge):
        with pytest.raises(TypeError):
            op(obj, obj)
        assert getattr(obj, f"__{op.__name__}__")(obj) is NotImplemented


TREES = [var(n) for n in NAMES] + [
    app(var("A"), var("B")), app(app(var("A"), var("B")), var("C")),
    app(app(var("A"), var("A")), app(var(""), var("\U0001d538"))),
]
TERMS = [("x", var("A")), ("f", app(var("A"), var("B"))), ("", var("")),
         ("g", app(app(var("A"), var("B")), var("\u00e9")))]


def test_hashes_against_cpython_siphash(M, cpython_bytes_hash):
    # The streams hashed, spelled out once; then the extension and the model's
    # SipHash (over every tail length too) against CPython's.
    assert M.type_encoding(var("A")) + M.type_encoding(var("B")) == (
        bytes(8) + b"A\xff" + bytes(16) + b"B\xff" + bytes(8))
    assert M.term_hash_stream("x", var("A")) == b"x\xff" + bytes(8) + b"A\xff" + bytes(8)
    streams = [M.type_encoding(t[1]) + M.type_encoding(t[2]) if t[0] == "app"
               else t[1].encode() + b"\xff" for t in TREES]
    streams += [M.term_hash_stream(n, t) for n, t in TERMS] + [b"x" * n for n in range(1, 18)]
    expected = cpython_bytes_hash(streams)
    assert [M.python_hash(s) for s in streams] == expected
    got = [hash(M.build_type(t)) for t in TREES] + [hash(Term(n, M.build_type(t))) for n, t in TERMS]
    assert got == expected[: len(got)]


def test_hash_same_in_every_process(run_snippet, M):
    code = "from voralix import Application as P, Variable as V\nprint(hash(P(V('A'), V('B'))))"
    seen = {run_snippet(code, env={"PYTHONHASHSEED": s}).stdout.strip() for s in ("1", "2")}
    assert seen == {str(M.type_hash(app(var("A"), var("B"))))}


def test_children_are_new_objects():
    a, f = Application(Application(A, B), B), Term("f", Application(A, B))
    assert a.left is not a.left and a.left == a.left == Application(A, B)
    assert type(a.left) is Application and type(a.right) is Variable and a.left.right == B
    assert f.type is not f.type and f.type == Application(A, B)
    assert type(f.type) is Application and type(Term("x", A).type) is Variable
    f.type.left.name = "Z"
    assert str(f) == "f:(A -> B)"


def test_rename_in_place():
    v = Variable("A")
    a, t, before = Application(v, v), Term("t", v), v.uid()
    v.name = "Z"
    assert (v.name, str(v), repr(v)) == ("Z", "Z", 'Variable("Z")')
    assert v.uid() == Variable("Z").uid() != before
    assert hash(v) == hash(Variable("Z")) and v == Variable("Z") and v != A
    # Types and terms built earlier kept a copy of the old name.
    assert (str(a), str(t)) == ("(A -> A)", "t:A")
    child = a.left
    child.name = "Q"
    assert str(a) == "(A -> A)"
    v.name = ""
    assert v.uid() == Variable("").uid()
    f, x = Term("f", Application(A, B)), Term("x", A)
    applied = f(x)
    f.name = "g"
    assert (str(f), repr(f)) == ("g:(A -> B)", 'Term("g", (A -> B))')
    assert f == Term("g", f.type) and hash(f) == hash(Term("g", f.type))
    assert f.uid() == Term("g", f.type).uid()
    assert str(applied) == "(f x):B" and str(f(x)) == "(g x):B"
    applied.name = "r"
    assert str(f(x)) == "(g x):B"


# --- Term application --------------------------------------------------------

def test_application():
    f, x = Term("f", Application(A, B)), Term("x", A)
    result = f(x)
    assert type(result) is Term and result.type == B
    assert (result.name, str(result), repr(result)) == ("(f x)", "(f x):B", 'Term("(f x)", B)')
    assert result == f(other=x) == f.__call__(x)
    assert (str(f), str(x)) == ("f:(A -> B)", "x:A")
    # names are joined verbatim
    assert Term("f g", Application(A, B))(Term("(x)", A)).name == "(f g (x))"
    assert Term("", Application(A, B))(Term("", A)).name == "( )"
    # higher-order terms
    assert str(Term("g", Application(Application(A, B), C))(f)) == "(g f):C"
    hx = Term("h", Application(A, Application(B, C)))(x)
    assert str(hx) == "(h x):(B -> C)" and type(hx.type) is Application
    hxy = hx(Term("y", B))
    assert str(hxy) == "((h x) y):C"
    assert hxy.uid() == Term("((h x) y)", C).uid()
    # A term applied to itself (its type's input is its own type).
    w = Term("w", Application(A, A))
    assert str(Term("k", Application(Application(A, A), A))(w)) == "(k w):A"


def mismatch(expected, got, context):
    return f"Type mismatch: expected {expected}, got {got} (in {context})"


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


# --- Property tests against the model ---------------------------------------

def trees(leaves, max_leaves=10):
    return st.recursive(st.sampled_from(leaves).map(var),
                        lambda ch: st.tuples(st.just("app"), ch, ch), max_leaves=max_leaves)


@settings(max_examples=200, deadline=None)
@given(trees(["A", "B", "", '"', "\u00e9", "a b", "->", "\U0001d538"]))
def test_type_agrees_with_model(M, tree):
    t = M.build_type(tree)
    assert (str(t), repr(t)) == (M.type_text(tree), M.type_repr(tree))
    assert t.uid() == M.type_uid(tree)
    assert hash(t) == M.type_hash(tree)
    if tree[0] == "app":
        assert t.left == M.build_type(tree[1]) and t.right.uid() == M.type_uid(tree[2])


@settings(max_examples=300, deadline=None)
@given(trees(["A", "B"], 5), trees(["A", "B"], 5))
def test_equality_agrees_with_model(M, left, right):
    a, b = M.build_type(left), M.build_type(right)
    assert (a == b, a != b) == (left == right, left != right)
    # Again once the uids are known (they may shortcut the comparison).
    assert (a.uid() == b.uid(), a == b) == (left == right, left == right)
    assert hash(a) == hash(b) or left != right


@st.composite
def application_cases(draw):
    ftree, names = draw(trees(["A", "B", ""], 6)), st.sampled_from(["f", "x", "", "a b", '"', "\u00e9"])
    # Half the time the argument fits the function's input, when it has one.
    fits = ftree[0] == "app" and draw(st.booleans())
    return draw(names), ftree, draw(names), ftree[1] if fits else draw(trees(["A", "B", ""], 6))


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
