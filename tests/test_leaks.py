"""Memory and reference counts stay flat over many calls of every
constructor, attribute, method and special method, on success and error
paths alike. One subprocess runs all cases; each case is reported apart."""

import json
import os

import pytest

CALLS = 100_000

# Statements run CALLS times each; exceptions they raise are swallowed.
CASES = {
    "Variable()": "Variable(name); Variable(name=name); Variable.__new__(Variable, name)",
    "Application()": "Application(A, B); Application(left=app, right=B)",
    "Term()": "Term(name, app); Term(name=name, type=A); Term.__new__(Term, name, A)",
    "attributes": "v.name; t.name; t.type; app.left; app.right",
    "name setters": "v.name = name; t.name = name",
    "uid": "A.uid(); app.uid(); t.uid(); Application(app, A).uid(); Term(name, app).uid()",
    "str/repr": "str(A); repr(A); str(app); repr(app); str(t); repr(t)",
    "hash": "hash(A); hash(app); hash(t); hash(Application(app, A)); hash(Term(name, app))",
    "==": "A == A2; app == app2; t == t2; A == B; app == A; t == 1",
    "!=": "A != A2; app != app2; t != t2; A != B; app != A; t != 1; A != other; t != other",
    "apply": "f(x); f(other=x); f.__call__(x)",
    "binding errors": "Variable(); Variable(1); Variable(name, name); Variable(name, nm=1); "
                      "Term(name, A, name=name); Variable(surrogate); f(); A.uid(1)",
    "conversion errors": "Application(A, 'B'); Term(name, 'A'); Term(1, A); f(5)",
    "mismatch errors": "f(y); x(f)",
    "attribute errors": "A < B; del v.name; app.left = A; v.foo = 1; v.name = 5; "
                        "t.name = surrogate",
}

SCRIPT = r"""
import gc, json, sys
from voralix import Application, Term, Variable

CALLS = {calls}
CASES = json.loads(sys.stdin.read())

name = "a-name-long-enough-to-live-on-the-heap-" + "x" * 24
surrogate = "bad\ud800"
A, B, A2 = Variable("A"), Variable("B"), Variable("A")
app, app2 = Application(A, B), Application(A2, B)
v, t, t2 = Variable(name), Term(name, app), Term(name, app2)
f, x, y = Term("f", app), Term("x", A), Term("y", B)

class Other:
    def __eq__(self, o):
        return []

other = Other()
watched = [Variable, Application, Term, A, B, app, f, x, name, other]

def rss():
    with open("/proc/self/statm") as fh:
        return int(fh.read().split()[1]) * 4096

results = {{}}
for label, stmt in CASES.items():
    ns = dict(globals())
    # Each statement in its own try block, so an error skips nothing.
    body = "".join("      try:\n        %s\n      except Exception:\n        pass\n" % s.strip()
                   for s in stmt.split(";"))
    exec("def run(n):\n    for _ in range(n):\n" + body, ns)
    run = ns["run"]
    run(2000)
    gc.collect()
    blocks, mem = sys.getallocatedblocks(), rss()
    refs = [sys.getrefcount(o) for o in watched]
    run(CALLS)
    gc.collect()
    ref_growth = max(sys.getrefcount(o) - r for o, r in zip(watched, refs))
    results[label] = {{
        "blocks": sys.getallocatedblocks() - blocks,
        "rss": rss() - mem,
        "refs": ref_growth,
    }}
print(json.dumps(results))
"""


@pytest.fixture(scope="module")
def measurements(run_snippet):
    if not os.path.exists("/proc/self/statm"):
        pytest.skip("needs /proc to read the resident set size")
    proc = run_snippet(SCRIPT.format(calls=CALLS), stdin=json.dumps(CASES), timeout=300)
    assert proc.returncode == 0, proc.stderr[-3000:]
    return json.loads(proc.stdout)


@pytest.mark.parametrize("case", list(CASES))
def test_flat_memory(measurements, case):
    m = measurements[case]
    # A leak of one object or reference per call would show as ~100,000.
    assert m["blocks"] < 1000, m
    assert m["refs"] < 100, m
    # A leaked C++ record or name buffer is >= 32 bytes per call: >= 3 MB.
    assert m["rss"] < 2 * 1024 * 1024, m
