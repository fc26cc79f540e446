"""Memory and reference counts stay flat over 100,000 calls of every Node,
Edge, Graph and TypeSchema constructor, attribute and method, errors included."""

import json
import os
import subprocess
import sys

import pytest

CASES = {
    "Node()": "Node(A); Node(app, d); Node(type=A, properties=None)",
    "Node reads": "n.type; n.properties; n.uid(); str(n); repr(n); n == m; hash(n)",
    "Node errors": "Node(1); Node(A, 1); Node(); del n.properties; n.properties = 1; n.type = A",
    "Node cycle": "x = Node(A); x.properties['self'] = x; n.properties = d",
    "Edge()": "Edge(t, n, m); Edge(t, n, m, d); e.properties = d",
    "Edge reads": "e.term; e.start; e.end; e.properties; e.uid(); str(e); e == e",
    "Edge errors": "Edge(1, n, m); Edge(t, 1, m); Edge(t, n, 1); Edge(t, n, m, 1); del e.properties",
    "Graph": "Graph(); g.nodes; g.edges; str(g); g.query(); Graph(1); g.nodes = d",
    "typed lookup": "q.return_('n'); bad.return_('n')",
    "TypeSchema": "TypeSchema(text); s.matches(app); s.capture(app); s.capture(A); str(s)",
    "TypeSchema errors": "TypeSchema(1); TypeSchema(surrogate); s.matches(1); s.capture(None)",
}

SCRIPT = r"""
import gc, json, sys
from voralix import Application, Edge, Graph, Node, Term, TypeSchema, Variable

A, B = Variable("A"), Variable("B")
app, d, t = Application(A, B), {"key": "value"}, Term("f", Application(A, B))
n, m = Node(A, d), Node(B)
e, g, broken = Edge(t, n, m, d), Graph(), Graph()
g.nodes.update({n.uid(): n, m.uid(): m})
broken.nodes["k"] = 5
q, bad = g.query().match(node="n", type=A), broken.query().match(node="n", type=A)
text = "$ (x:*) -> (y:" + "z" * 40 + ":*) $"
s, surrogate = TypeSchema(text), "bad\ud800"
watched = [A, app, d, n, m, t, e, g, g.nodes, s, text]

def rss():
    with open("/proc/self/statm") as fh:
        return int(fh.read().split()[1]) * 4096

results = {}
for label, stmt in json.loads(sys.stdin.read()).items():
    # Each statement in its own try, so that an error does not skip the rest.
    body = "".join("        try:\n            " + part.strip()
                   + "\n        except Exception:\n            pass\n" for part in stmt.split(";"))
    ns = dict(globals())
    exec("def run(k):\n    for _ in range(k):\n" + body, ns)
    ns["run"](2000)
    gc.collect()
    blocks, mem, refs = sys.getallocatedblocks(), rss(), [sys.getrefcount(o) for o in watched]
    ns["run"](100_000)
    gc.collect()
    results[label] = {"blocks": sys.getallocatedblocks() - blocks, "rss": rss() - mem,
                      "refs": max(sys.getrefcount(o) - r for o, r in zip(watched, refs))}
print(json.dumps(results))
"""


@pytest.fixture(scope="module")
def measurements():
    if not os.path.exists("/proc/self/statm"):
        pytest.skip("needs /proc to read the resident set size")
    proc = subprocess.run([sys.executable, "-c", SCRIPT], input=json.dumps(CASES),
                          capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stderr[-3000:]
    return json.loads(proc.stdout)


@pytest.mark.parametrize("case", list(CASES))
def test_flat_memory(measurements, case):
    m = measurements[case]
    # One leaked object or reference per call would show as ~100,000; a leaked
    # record or dict of >= 32 bytes per call as >= 3 MB.
    assert m["blocks"] < 1000 and m["refs"] < 100 and m["rss"] < 2 * 1024 * 1024, m
