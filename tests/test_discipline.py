"""Automated checks of the C++ sources' own rules."""

import pathlib
import re

SRC = pathlib.Path(__file__).resolve().parent.parent / "src"


def sources():
    return sorted(p for p in SRC.rglob("*") if p.suffix in {".cpp", ".hpp"})


def test_reference_counts_are_managed_only_by_the_binding_layer():
    # Business code holds references in Ref handles; explicit increments and
    # decrements belong to src/binding and the handle itself.
    manual = re.compile(r"\bPy_(X?INCREF|X?DECREF|CLEAR|SETREF|XSETREF)\s*\(")
    offenders = [
        f"{path.relative_to(SRC)}:{number}"
        for path in sources()
        if path.parent.name != "binding" and path.name != "ref.hpp"
        for number, line in enumerate(path.read_text().splitlines(), 1)
        if manual.search(line)
    ]
    assert offenders == []


def test_exceptions_are_discarded_only_through_the_helper():
    # discard_exception() drops only Exception subclasses, so KeyboardInterrupt
    # and SystemExit always reach the caller; a bare PyErr_Clear would drop them.
    clear = re.compile(r"\bPyErr_Clear\s*\(")
    offenders = [
        f"{path.relative_to(SRC)}:{number}"
        for path in sources()
        if path.relative_to(SRC).as_posix() != "errors/discard.hpp"
        for number, line in enumerate(path.read_text().splitlines(), 1)
        if clear.search(line)
    ]
    assert offenders == []
