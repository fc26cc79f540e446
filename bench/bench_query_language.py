"""The query language against its floors and peers, as ratios measured in one run.

Rows (each printed with both times and their ratio):
- return_count against return_ of the same rows (no Python object per row);
- return_ of one-edge path rows against a Python comprehension that builds
  the same dicts of fresh Node objects from the graph's edges;
- match(...).limit(10) on a large graph against the same on a small one
  (a limit stops the scan: the time does not grow with the graph);
- two-hop and *1..3 matches against the same queries written with networkx
  in Python (skipped when networkx is not installed);
- where("n.age > 30") per row against a Python comprehension doing the same
  filter on the same dicts.

    .venv/bin/python bench/bench_query_language.py [--large N] [--small N] [--paths N]
"""

import argparse
import gc
import random
import time

from voralix import Edge, Graph, Node, Term, Variable


def best_of(fn, repeat=5):
    best = float("inf")
    for _ in range(repeat):
        gc.collect()
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def chain_graph(n):
    """n nodes in a chain of n - 1 edges; node i has age i % 60."""
    g, nodes = Graph(), []
    for i in range(n):
        node = Node(Variable(f"T{i}"), {"age": i % 60})
        g.nodes[node.uid()] = node
        nodes.append(node)
    rel = Variable("R")
    for i in range(n - 1):
        e = Edge(Term(f"f{i}", rel), nodes[i], nodes[i + 1])
        g.edges[e.uid()] = e
    return g


def random_graph(n_nodes, n_edges, seed=7):
    rng = random.Random(seed)
    g, nodes = Graph(), []
    for i in range(n_nodes):
        node = Node(Variable(f"N{i}"))
        g.nodes[node.uid()] = node
        nodes.append(node)
    rel = Variable("R")
    for i in range(n_edges):
        e = Edge(Term(f"e{i}", rel), nodes[rng.randrange(n_nodes)], nodes[rng.randrange(n_nodes)])
        g.edges[e.uid()] = e
    return g


def report(label, ours, floor, floor_label):
    print(f"{label:46} {ours * 1e3:9.2f}ms  {floor_label:>14} {floor * 1e3:9.2f}ms  "
          f"ratio {ours / floor:6.2f}")


def rows_and_counts(sizes):
    for n in sizes:
        g = chain_graph(n)
        rows = lambda: g.query().match("(a)-[e]->(b)").return_("a", "e", "b")
        count = lambda: g.query().match("(a)-[e]->(b)").return_count()
        floor = lambda: [{"a": e.start, "e": e, "b": e.end} for e in g.edges.values()]
        t_rows, t_count, t_floor = best_of(rows), best_of(count), best_of(floor)
        report(f"return_ one-edge rows, {n - 1} edges", t_rows, t_floor, "comprehension")
        report(f"return_count vs return_, {n - 1} edges", t_count, t_rows, "return_")


def steady(fn, runs=200):
    """Mean time of many back-to-back runs (no collection in between)."""
    fn()
    start = time.perf_counter()
    for _ in range(runs):
        fn()
    return (time.perf_counter() - start) / runs


def limit(small, large):
    times = {}
    for n in (small, large):
        g = chain_graph(n)
        times[n] = steady(lambda: g.query().match("(a)-[e]->(b)").limit(10).return_("e"))
    report(f"match().limit(10), {large} vs {small} nodes", times[large], times[small],
           f"{small} nodes")


def with_networkx(n):
    try:
        import networkx as nx
    except ImportError:
        print("networkx is not installed: peer rows skipped (pip install networkx)")
        return
    g = random_graph(n, n)
    G = nx.MultiDiGraph()
    for key, node in g.nodes.items():
        G.add_node(key)
    for key, e in g.edges.items():
        G.add_edge(e.start.uid(), e.end.uid(), key=key)

    def nx_two_hop():
        rows = []
        for a, b, e in G.edges(keys=True):
            for _, c, f in G.out_edges(b, keys=True):
                if f != e:
                    rows.append((a, e, b, f, c))
        return rows

    def nx_var_length():  # trails of 1..3 edges, depth first
        rows = []

        def walk(start, at, trail):
            for _, nxt, k in G.out_edges(at, keys=True):
                if k in trail:
                    continue
                t = trail + [k]
                rows.append((start, t, nxt))
                if len(t) < 3:
                    walk(start, nxt, t)

        for a in G.nodes:
            walk(a, a, [])
        return rows

    two = lambda: g.query().match("(a)-[e]->(b)-[f]->(c)")
    ours_rows = best_of(lambda: two().return_("a", "e", "b", "f", "c"), 3)
    ours_count = best_of(lambda: two().return_count(), 3)
    peer = best_of(nx_two_hop, 3)
    report(f"two-hop rows, {n} edges", ours_rows, peer, "networkx")
    report(f"two-hop count, {n} edges", ours_count, peer, "networkx")
    var = lambda: g.query().match("(a)-[p*1..3]->(b)")
    ours_rows = best_of(lambda: var().return_("a", "p", "b"), 3)
    ours_count = best_of(lambda: var().return_count(), 3)
    peer = best_of(nx_var_length, 3)
    report(f"*1..3 rows, {n} edges", ours_rows, peer, "networkx")
    report(f"*1..3 count, {n} edges", ours_count, peer, "networkx")


def where(n):
    g = chain_graph(n)
    try:
        q = lambda: g.query().match("(n)").where("n.age > 30").return_count()
        q()
    except ValueError as e:
        print(f"where skipped: {e}")
        return
    base = best_of(lambda: g.query().match("(n)").return_count())
    filtered = best_of(q)
    floor = best_of(lambda: [n for n in g.nodes.values() if n.properties.get("age", 0) > 30])
    # per row, the filter's own cost against the comprehension's
    report(f"where('n.age > 30') per row, {n} nodes", max(filtered - base, 1e-9), floor,
           "comprehension")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--small", type=int, default=10_000)
    parser.add_argument("--large", type=int, default=1_000_000)
    parser.add_argument("--paths", type=int, default=100_000)
    args = parser.parse_args()
    rows_and_counts([args.small, args.large])
    limit(args.small, args.large)
    with_networkx(args.paths)
    where(args.paths)


if __name__ == "__main__":
    main()
