"""The module object: its names, docstring and entry point; and the conventions
every class follows (no subclasses, instance dicts or weak references, no
ordering, equality by content or by identity)."""

import shutil
import subprocess
import weakref

import pytest

import voralix
from voralix import (Application, Edge, EdgePattern, Graph, Node, NodePattern, PathPattern, Term,
                     TypeSchema, Variable)

A = Variable("A")
MAKE = {  # an object of every class, in registration order
    "Variable": lambda: Variable("A"), "Application": lambda: Application(A, A),
    "Term": lambda: Term("t", A), "Node": lambda: Node(A),
    "Edge": lambda: Edge(Term("f", A), Node(A), Node(A)), "Graph": Graph,
    "TypeSchema": lambda: TypeSchema("$*$"), "NodePattern": NodePattern, "EdgePattern": EdgePattern,
    "PathPattern": PathPattern, "Query": lambda: Graph().query(),
}
ALL_CLASSES = list(MAKE)


def test_names_and_docstring():
    assert type(voralix.__all__) is list and voralix.__all__ == ALL_CLASSES  # registration order
    assert all(getattr(voralix, n).__name__ == n for n in ALL_CLASSES)
    assert {n for n in dir(voralix) if not n.startswith("_")} == set(ALL_CLASSES)
    intro, listing = voralix.__doc__.split("\n\n# Classes Exposed\n\n")
    assert intro.strip()
    assert listing.splitlines() == [
        "- `Variable`: Type variables",
        "- `Application`: Application types (A -> B)",
        "- `Term`: Typed terms",
        "- `Node`: Graph nodes with types",
        "- `Edge`: Graph edges with terms",
        "- `Graph`: The main graph structure",
        "- `TypeSchema`: Type pattern matching",
        "- `NodePattern`, `EdgePattern`, `PathPattern`: Query patterns",
        "- `Query`: Cypher-like query builder",
    ]


def test_entry_point_called_again_returns_same_module(run_snippet):
    r = run_snippet("""
        import ctypes, sys, voralix
        before = list(voralix.__all__)
        init = ctypes.PyDLL(voralix.__file__).PyInit_voralix
        init.restype = ctypes.py_object
        assert init() is voralix is sys.modules["voralix"]
        assert voralix.__all__ == before and len(set(before)) == len(before)
        del sys.modules["voralix"]
        import voralix as again
        assert again.Variable is voralix.Variable and again.__all__ == before
        print("ok")
    """)
    assert (r.returncode, r.stdout.strip()) == (0, "ok"), r.stderr


def test_only_entry_point_exported():
    if shutil.which("nm") is None:
        pytest.skip("nm not available")
    out = subprocess.run(["nm", "-D", "--defined-only", voralix.__file__],
                         capture_output=True, text=True, check=True).stdout
    assert [line.split()[-1] for line in out.splitlines() if line.strip()] == ["PyInit_voralix"]


@pytest.mark.parametrize("main_first", [True, False], ids=["main-first", "sub-first"])
def test_sub_interpreter_import_refused(run_snippet, main_first):
    r = run_snippet(f"""
        try:
            import _interpreters
            interp = _interpreters.create(_interpreters.new_config("legacy"))
        except Exception as exc:
            raise SystemExit("SKIP " + repr(exc))
        if {main_first}:
            import voralix
        _interpreters.run_string(interp, "try:\\n import voralix\\n print('IMPORTED')\\n"
                                 "except ImportError as e:\\n print('REFUSED', e)")
        _interpreters.destroy(interp)
        import voralix
        print("MAIN", voralix.Variable("A"))
    """)
    if r.stderr.startswith("SKIP"):
        pytest.skip("no legacy sub-interpreter: " + r.stderr)
    assert r.returncode == 0, r.stderr
    first, *_, last = r.stdout.splitlines()
    assert first.startswith("REFUSED") and "interpreter" in first, r.stdout
    assert last == "MAIN A"


@pytest.mark.parametrize("name", ALL_CLASSES)
def test_class_conventions(name):
    obj, other = MAKE[name](), MAKE[name]()
    cls = type(obj)
    assert (cls.__module__, cls.__qualname__) == ("builtins", name)
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    assert not hasattr(obj, "__dict__")
    with pytest.raises(AttributeError):
        obj.foo = 1
    with pytest.raises(TypeError):
        weakref.ref(obj)
    with pytest.raises(TypeError):
        obj < other  # noqa: B015
    if name not in ("Variable", "Application", "Term"):  # these compare by content
        assert obj == obj and obj != other and not (obj == other)
        assert len({obj, other, obj}) == 2 and hash(obj) == hash(obj)
    # No __init__ step that could re-initialise an object.
    assert cls.__init__ is object.__init__
    before = str(obj)
    obj.__init__("Z", Variable("Z"))
    assert str(obj) == before
