"""What the fuzz targets share: the import path of the tests and their models,
running a target under libFuzzer (atheris), and reading structured choices
from the fuzzer's bytes.

A target module defines `check(data: bytes)`, which raises on a finding
(a model disagreement or a broken invariant) and returns otherwise; it ends
with `harness.main(check, ...)`. Run as a script it fuzzes (see run.py);
imported, as test_fuzz_seeds.py does, it only provides `check`."""

import contextlib
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS = os.path.dirname(HERE)
for path in (TESTS, os.path.join(TESTS, "models")):
    if path not in sys.path:
        sys.path.insert(0, path)


def fuzzing():
    """True when a target runs as the main script, that is under the fuzzer."""
    main = sys.modules.get("__main__")
    return os.path.dirname(os.path.abspath(getattr(main, "__file__", "") or "")) == HERE


def instrumented(*modules):
    """Imports in this block give coverage of the named Python modules (the
    models and test helpers) when fuzzing; the extension's own coverage comes
    from its instrumented build."""
    if not fuzzing():
        return contextlib.nullcontext()
    import atheris
    return atheris.instrument_imports(include=list(modules))


def main(check, *, max_len):
    """Fuzzes `check` when run as a script; libFuzzer's options on the command
    line win over these defaults."""
    if not fuzzing():
        return
    import atheris
    args = list(sys.argv)
    if not any(a.startswith("-max_len=") for a in args):
        args.append(f"-max_len={max_len}")
    atheris.Setup(args, check)
    atheris.Fuzz()


def text_of(data):
    """The input as text: bytes that are no UTF-8 become lone surrogates."""
    return data.decode("utf-8", "surrogateescape")


class Choices:
    """Structured choices read from the input, a byte at a time. Every input
    decodes to some case: past its end every choice is the first."""

    def __init__(self, data):
        self.data, self.pos = data, 0

    def byte(self):
        if self.pos >= len(self.data):
            return 0
        self.pos += 1
        return self.data[self.pos - 1]

    def below(self, n):
        return self.byte() % n if n > 1 else 0

    def pick(self, seq):
        return seq[self.below(len(seq))]

    def between(self, lo, hi):
        return lo + self.below(hi - lo + 1)

    def chance(self):
        return self.byte() & 1 == 1

    def maybe(self, seq):
        """None or an element, about half and half."""
        return self.pick(seq) if self.chance() else None

    def many(self, lo, hi, draw):
        return [draw() for _ in range(self.between(lo, hi))]

    def text(self, limit):
        """A short text: a length byte, then that many bytes as text."""
        n = self.below(limit + 1)
        chunk = self.data[self.pos:self.pos + n]
        self.pos += len(chunk)
        return text_of(chunk)
