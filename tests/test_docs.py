"""Every ```python block of README.md and docs/ runs, so the guide cannot rot.

The blocks of one page run in order in one namespace, as a reader would type
them. A block whose first line starts with >>> is a doctest: its output must
match. An HTML comment just before a block can say
    <!-- docs-test: skip "reason" -->       the block shows a feature still
                                            being built, and does not run
    <!-- docs-test: requires networkx -->  the block needs an optional module
"""

import doctest
import pathlib
import re
import shlex
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
PAGES = [ROOT / "README.md"] + sorted(p for p in (ROOT / "docs").rglob("*.md") if p.name != "api.md")

BLOCK = re.compile(r"^(?P<indent> *)```python\n(?P<code>.*?)^(?P=indent)```[ \t]*$", re.M | re.S)
MARKER = re.compile(r"<!--\s*docs-test:\s*(?P<what>.*?)\s*-->\s*$")


class Block:
    def __init__(self, page, lineno, code, markers):
        self.page, self.lineno, self.code = page, lineno, code
        self.skip = self.requires = None
        for marker in markers:
            word, *rest = shlex.split(marker)
            if word == "skip":
                self.skip = rest[0] if rest else "skipped"
            elif word == "requires":
                self.requires = rest
            else:
                raise ValueError(f"{page}:{lineno}: unknown docs-test marker {marker!r}")

    @property
    def id(self):
        return f"{self.page.relative_to(ROOT)}:{self.lineno}"

    def run(self, namespace):
        filename = str(self.page)
        if self.code.lstrip().startswith(">>>"):
            test = doctest.DocTestParser().get_doctest(self.code, namespace, self.id, filename,
                                                       self.lineno)
            report = []
            runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
            runner.run(test, out=report.append, clear_globs=False)
            namespace.update(test.globs)  # the test ran in a copy of the namespace
            if runner.failures:
                pytest.fail("".join(report), pytrace=False)
        else:
            # Blank lines keep the reported line numbers those of the page.
            exec(compile("\n" * self.lineno + self.code, filename, "exec"), namespace)


def blocks_of(page):
    text = page.read_text()
    found = []
    for m in BLOCK.finditer(text):
        before = text[:m.start()].splitlines()
        markers = []
        while before and MARKER.search(before[-1].strip()):
            markers.insert(0, MARKER.search(before[-1].strip()).group("what"))
            before.pop()
        lineno = text.count("\n", 0, m.start("code"))
        indent = len(m.group("indent"))
        code = "".join(line[indent:] for line in m.group("code").splitlines(keepends=True))
        found.append(Block(page, lineno, code, markers))
    return found


BLOCKS = [b for page in PAGES for b in blocks_of(page)]
STATE = {}  # page -> [index of the next block to run, namespace, first failure]


def run_until(block):
    """Runs the page's blocks before `block` that have not run yet, then `block`."""
    blocks = [b for b in BLOCKS if b.page == block.page]
    state = STATE.setdefault(block.page, [0, {"__name__": "__docs__"}, None])
    target = blocks.index(block)
    while state[0] <= target:
        current = blocks[state[0]]
        state[0] += 1
        if current.skip or (current.requires and not all(map(available, current.requires))):
            continue
        if state[2] is not None:
            pytest.fail(f"an earlier block of the page failed: {state[2]}", pytrace=False)
        try:
            current.run(state[1])
        except BaseException:
            state[2] = current.id
            raise


def available(module):
    try:
        __import__(module)
    except ImportError:
        return False
    return True


@pytest.mark.parametrize("block", BLOCKS, ids=[b.id for b in BLOCKS])
def test_example_runs(block):
    if block.skip:
        pytest.skip(block.skip)
    for module in block.requires or ():
        pytest.importorskip(module)
    run_until(block)


def test_api_reference_covers_every_class_and_member(tmp_path):
    import voralix

    out = tmp_path / "api.md"
    subprocess.run([sys.executable, str(ROOT / "tools" / "gen_api_docs.py"), str(out)],
                   check=True)
    text = out.read_text()
    for name in voralix.__all__:
        assert f"\n## {name}\n" in text
        for member in vars(getattr(voralix, name)):
            if not member.startswith("_"):
                assert f"`{name}.{member}" in text, member
