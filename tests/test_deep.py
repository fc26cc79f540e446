"""Types nested 100,000 levels deep, and type schemas as deep: every operation
gives the right answer or raises RecursionError, within 30 s, and never
crashes (so it runs in a subprocess)."""

import pytest

SCRIPT = r"""
import gc, hashlib, struct, sys, time
from voralix import Application, Term, TypeSchema, Variable

N, LEFT = 100_000, {left}
A, B = Variable("A"), Variable("B")

def build(leaf="A"):
    t = Variable(leaf)
    for _ in range(N):
        t = Application(t, A) if LEFT else Application(A, t)
    return t

def check(label, fn, expected=True):
    start = time.perf_counter()
    try:
        ok = fn() == expected
    except RecursionError:
        ok = "recursion"
    print(label, ok if time.perf_counter() - start < 30 else "slow")

# Expected values from the rules, computed without recursion.
def text(n, leaf="A"):
    return "(" * n + leaf + " -> A)" * n if LEFT else "(A -> " * n + leaf + ")" * n

uid_a = uid = hashlib.sha256(b"var:A").hexdigest()
for _ in range(N):
    pair = (uid, uid_a) if LEFT else (uid_a, uid)
    uid = hashlib.sha256(("app:%s:%s" % pair).encode()).hexdigest()

# This process runs with PYTHONHASHSEED=0: hash() of bytes is SipHash-1-3
# with zero keys, the oracle for the content hash over E(left) + E(right).
one, e_a = struct.pack("<Q", 1), bytes(8) + b"A\xff" + bytes(8)
if LEFT:
    stream = one * (N - 1) + e_a + (e_a + bytes(8)) * (N - 1) + e_a
else:
    stream = e_a + (one + e_a) * (N - 1) + e_a + bytes(8) * (N - 1)

t, other, differs = build(), build(), build(leaf="B")
check("str", lambda: str(t), text(N))
check("repr", lambda: repr(t),
      "Application(%s, A)" % text(N - 1) if LEFT else "Application(A, %s)" % text(N - 1))
check("uid", lambda: t.uid(), uid)
if sys.hash_info.algorithm == "siphash13":
    check("hash", lambda: hash(t), hash(stream))
check("hash-equal", lambda: hash(t) == hash(other))
check("eq", lambda: (t == other, t != other, t == differs), (True, False, False))
check("uid-differs", lambda: t.uid() != differs.uid())
check("child", lambda: str(t.left if LEFT else t.right), text(N - 1))
check("term", lambda: (str(Term("d", t)), Term("d", t).uid()),
      ("d:" + text(N), hashlib.sha256(("term:d:" + uid).encode()).hexdigest()))
f = Term("f", Application(t, B))
check("apply", lambda: str(f(Term("x", other))), "(f x):B")
check("unwrap", lambda: str(Term("g", t)(Term("x", t.left if LEFT else A))),
      "(g x):A" if LEFT else "(g x):" + text(N - 1))
try:
    f(Term("y", differs))
    print("mismatch False")
except TypeError as exc:
    print("mismatch", str(exc) == "Type mismatch: expected %s, got %s (in function application)"
          % (text(N), text(N, "B")))
except RecursionError:
    print("mismatch recursion")

for label, text, expected in [
    ("schema-dollar-groups", "$(x:" * N + "*" + ")$" * N, (False, {})),
    ("schema-groups", "$" + "(x:" * N + "*" + ")" * N + "$", (True, {"x": t})),
    ("schema-arrows", "$" + "A -> " * N + "(x:*)$", (False, {}) if LEFT else (True, {"x": A})),
    ("schema-arrows-long", "$" + "A -> " * (N + 1) + "(x:*)$", (False, {})),
]:
    check(label, lambda: (TypeSchema(text).matches(t), TypeSchema(text).capture(t)), expected)

holder = Term("h", t)
del t, other, differs, f
del holder
gc.collect()
print("deleted True")
"""


@pytest.mark.parametrize("left", [True, False], ids=["left-nested", "right-nested"])
def test_deeply_nested_type(run_snippet, left):
    r = run_snippet(SCRIPT.replace("{left}", str(left)), env={"PYTHONHASHSEED": "0"}, timeout=300)
    assert r.returncode == 0, (r.returncode, r.stdout[-2000:], r.stderr[-2000:])
    results = dict(line.split(" ", 1) for line in r.stdout.splitlines())
    assert len(results) >= 16, r.stdout
    assert {k: v for k, v in results.items() if v not in ("True", "recursion")} == {}
