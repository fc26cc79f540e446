"""Query throughput on a large graph, as ratios against pure-Python floors.

Each row times one voralix operation and a plain Python loop doing the least
work that could give the same answer (walking the same dict, reading the same
property), both in this run, and prints their ratio. Absolute times depend on
the machine; the ratios are what to compare across changes. Every row builds
a fresh query: builders also append to the query they are called on.

    .venv/bin/python bench/bench_query.py [nodes]
"""

import sys
import time

from voralix import Edge, Graph, Node, Term, Variable


def best_of(fn, repeat=5):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def main(n):
    graph = Graph()
    nodes = []
    for i in range(n):
        node = Node(Variable(f"T{i}"), {"i": i, "kind": "person" if i % 2 else "thing"})
        graph.nodes[node.uid()] = node
        nodes.append(node)
    rel = Variable("R")
    for i in range(n - 1):
        edge = Edge(Term(f"f{i}", rel), nodes[i], nodes[i + 1])
        graph.edges[edge.uid()] = edge
    def floor_props():
        return sum(1 for v in graph.nodes.values() if v.properties.get("kind") == "person")

    def floor_edges():
        return [(e.start, e, e.end) for e in graph.edges.values()]

    rows = [
        ("node match, all nodes (count)", lambda: graph.query().match("(n)").return_count(),
         lambda: len(list(graph.nodes.values()))),
        ("node match by property", lambda: graph.query().match(node="n", properties={"kind": "person"})
         .return_count(), floor_props),
        ("typed node match", lambda: graph.query().match(node="n", type=Variable("T7")).return_count(),
         lambda: [v for v in graph.nodes.values() if v.uid() is None]),
        ("one-edge path match, rows", lambda: graph.query().match("(a)-[e:R]->(b)").return_("a", "e", "b"),
         floor_edges),
    ]
    print(f"{n} nodes, {n - 1} edges")
    print(f"{'operation':34} {'voralix':>10} {'floor':>10} {'ratio':>7}")
    for label, op, floor in rows:
        t_op, t_floor = best_of(op), best_of(floor)
        print(f"{label:34} {t_op * 1e3:8.1f}ms {t_floor * 1e3:8.1f}ms {t_op / t_floor:7.2f}")


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 100_000)
