"""The docstrings as a reference: every class, method and attribute explains
itself, and every example in them runs and prints what it shows."""

import doctest
import inspect

import pytest

import voralix

# Examples that show behaviour still being built: name -> what they wait for.
# Each runs once its feature is in the module and its entry is removed.
PENDING: dict[str, str] = {}


def members():
    """(qualified name, object) for every class and public member."""
    for name in voralix.__all__:
        cls = getattr(voralix, name)
        yield name, cls
        for attr, value in vars(cls).items():
            if not attr.startswith("_"):
                yield f"{name}.{attr}", getattr(cls, attr)


MEMBERS = dict(members())
CALLABLES = [n for n, o in MEMBERS.items() if callable(o)]
ATTRIBUTES = [n for n, o in MEMBERS.items() if not callable(o)]


@pytest.mark.parametrize("name", CALLABLES)
def test_callables_document_arguments_results_and_an_example(name):
    doc = inspect.getdoc(MEMBERS[name]) or ""
    has_args = bool(MEMBERS[name].__text_signature__.strip("()").replace("$self", "").strip(", /"))
    assert len(doc.splitlines()) >= 5, doc
    assert "Example:\n    >>> " in doc
    if has_args:
        assert "Args:\n" in doc
    if not inspect.isclass(MEMBERS[name]):
        assert "Returns:\n" in doc


@pytest.mark.parametrize("name", ATTRIBUTES)
def test_attributes_say_what_they_hold(name):
    doc = MEMBERS[name].__doc__ or ""
    assert len(doc.split()) >= 6, doc


def test_help_of_query_reads_as_a_reference():
    text = pydoc_text(voralix.Query)
    for method in ("match", "merge", "create", "where", "set", "delete", "with_", "order_by",
                   "skip", "limit", "execute", "return_", "return_distinct", "return_count"):
        assert f"\n |  {method}(" in text
    for topic in ("Terminal methods", "Language", "three-valued", "variable-length", "Raises"):
        assert topic in text


def pydoc_text(obj):
    import pydoc

    return pydoc.plain(pydoc.render_doc(obj))


FINDER = doctest.DocTestFinder(recurse=False)


@pytest.mark.parametrize("name", list(MEMBERS))
def test_docstring_examples_run(name):
    if name in PENDING:
        pytest.skip("waits for " + PENDING[name])
    obj = MEMBERS[name]
    globs = {n: getattr(voralix, n) for n in voralix.__all__}
    tests = FINDER.find(obj, name, globs=globs) if obj.__doc__ else []
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    for test in tests:
        runner.run(test, out=lambda text: pytest.fail(text, pytrace=False))
    assert runner.failures == 0
