"""Graph.to_json / Graph.from_json against json.dumps / json.loads of the same
document, side by side as ratios in one run (below 1: faster than json).

The graph has `elements` elements, half nodes and half edges (a chain), each
with a few properties of the usual kinds. The document the json module gets is
the one to_json writes, as Python objects, so both sides write and read the
same text.

    .venv/bin/python bench/bench_json.py [elements]     (default 100000)
"""

import json
import sys

from bench_query import best_of
from voralix import Application, Edge, Graph, Node, Term, Variable


def build(elements):
    graph = Graph()
    nodes = []
    for i in range(elements // 2):
        props = {"name": f"node {i}", "rank": i, "score": i / 7, "tags": ["a", "b"], "ok": True}
        node = Node(Variable(f"T{i}"), props)
        graph.add_node(node)
        nodes.append(node)
    for i in range(elements - len(nodes)):
        a, b = nodes[i % len(nodes)], nodes[(i + 1) % len(nodes)]
        term = Term(f"f{i}", Application(a.type, b.type))
        graph.add_edge(Edge(term, a, b, {"weight": i * 0.5, "label": None}))
    return graph


def main(elements):
    graph = build(elements)
    text = graph.to_json()
    document = json.loads(text)
    assert Graph.from_json(text).to_json() == text
    rows = [
        ("write", lambda: graph.to_json(), lambda: json.dumps(document)),
        ("read", lambda: Graph.from_json(text), lambda: json.loads(text)),
    ]
    print(f"{elements} elements, {len(text) / 1e6:.1f} MB of JSON")
    print(f"{'direction':10} {'voralix':>10} {'json':>10} {'ratio':>7}")
    for label, ours, theirs in rows:
        t_ours, t_theirs = best_of(ours, 3), best_of(theirs, 3)
        print(f"{label:10} {t_ours * 1e3:8.1f}ms {t_theirs * 1e3:8.1f}ms {t_ours / t_theirs:7.2f}")


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 100_000)
