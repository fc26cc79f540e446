"""where() and order_by() throughput, as ratios against pure-Python floors.

The first column times the whole query; "filter" subtracts the same query
without the row operation, leaving the per-row cost of where / order_by,
which is compared with a Python comprehension (or sorted()) doing the same
filter (sort) on the same property dicts. Absolute times depend on the
machine; compare the ratios. Every row builds a fresh query.

    .venv/bin/python bench/bench_where.py [nodes]
"""

import sys

from bench_query import best_of  # this script's folder is on sys.path
from voralix import Graph, Node, Variable


def main(n):
    graph = Graph()
    for i in range(n):
        node = Node(Variable(f"T{i}"), {"age": i % 60, "name": f"n{i}", "tags": ["a", i % 7]})
        graph.nodes[node.uid()] = node
    dicts = [node.properties for node in graph.nodes.values()]

    def query(*ops):
        def run():
            q = graph.query().match("(n)")
            for name, *args in ops:
                q = getattr(q, name)(*args)
            return q.return_count()
        return run

    rows = [
        ("where n.age > 30", [("where", "n.age > 30")],
         lambda: [d for d in dicts if d.get("age") is not None and d["age"] > 30]),
        ("where string and IN", [("where", "n.name STARTS WITH 'n1' AND n.age IN [1, 2, 3]")],
         lambda: [d for d in dicts if isinstance(d.get("name"), str) and d["name"].startswith("n1")
                  and d.get("age") in (1, 2, 3)]),
        ("where list equality", [("where", "n.tags = ['a', 3]")],
         lambda: [d for d in dicts if d.get("tags") == ["a", 3]]),
        ("order_by n.age", [("order_by", "n", "age")],
         lambda: sorted(dicts, key=lambda d: d.get("age"))),
    ]
    base = best_of(query())
    print(f"{n} nodes; match (n) alone: {base * 1e3:.1f}ms")
    print(f"{'operation':24} {'query':>9} {'filter':>9} {'python':>9} {'ratio':>7}")
    for label, ops, floor in rows:
        t_query, t_floor = best_of(query(*ops)), best_of(floor)
        t_filter = max(t_query - base, 0.0)
        print(f"{label:24} {t_query * 1e3:7.1f}ms {t_filter * 1e3:7.1f}ms {t_floor * 1e3:7.1f}ms "
              f"{t_filter / t_floor:7.2f}")


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 100_000)
