"""Interrupt latency: how soon a long query ends with KeyboardInterrupt once a
signal arrives, on a graph of N nodes and N edges (10^6 unless given).

Each row runs its query three times: once undisturbed (its full time), once
with a signal due DELAY seconds after the call starts (the latency is the
time from then until the exception), and once more undisturbed, which must
give the first run's answer again (the query stays usable). The signal is
SIGALRM from an interval timer, handled like Ctrl-C (it raises
KeyboardInterrupt): the kernel delivers it on time while the query runs in
C, where Python code, a timer thread included, cannot run. Latencies above
the target are marked SLOW; a query that ends before the signal is due
measures nothing and is marked so.

    .venv/bin/python bench/bench_interrupt.py [--size N] [--delay S] [--target S]
"""

import argparse
import signal
import sys
import time

from voralix import Edge, Graph, Node, Term, Variable


def build(n):
    """Nodes T0..Tn-1 with a property k, and a ring of n edges i -> i+1."""
    graph, rel = Graph(), Variable("R")
    nodes = [Node(Variable(f"T{i}"), {"k": i % 1000}) for i in range(n)]
    graph.nodes.update((node.uid(), node) for node in nodes)
    edges = (Edge(Term(f"e{i}", rel), nodes[i], nodes[(i + 1) % n], {"w": i % 7}) for i in range(n))
    graph.edges.update((edge.uid(), edge) for edge in edges)
    return graph


def scenarios(graph, n):
    """(label, elements the query goes through, a call that runs it)."""
    def chain(q, times, step):
        for _ in range(times):
            q = step(q)
        return q

    none = {"k": -1}  # matches nothing: the whole graph is read, no rows are made
    scans = chain(graph.query(), 10, lambda q: q.match(node="n", properties=none))
    typed = chain(graph.query(), 50, lambda q: q.match(node="n", type=Variable("T-missing")))
    one_hop = chain(graph.query(), 5, lambda q: q.match("(a)-[e]->(b {k: -1})"))
    return [
        ("node scans x10", 10 * n, scans.return_count),
        ("typed lookups x50", 50 * n, typed.return_count),
        ("one-hop path matches x5", 5 * n, one_hop.return_count),
        ("two-hop path match", n, graph.query().match("(a)-[e]->(b)-[f]->(c {k: -1})").return_count),
        ("variable-length path match *1..3", 3 * n,
         graph.query().match("(a)-[e*1..3]->(b {k: -1})").return_count),
        ("row building (one-edge rows)", n, graph.query().match("(a)-[e]->(b)").return_),
        ("sort", n, graph.query().match("(n)").order_by("n", "k", False).return_count),
        ("where", n, graph.query().match("(n)").where("n.k < 0").return_count),
    ]


def answer(result):
    """What identifies a run's result: its count, or its number of rows."""
    return result if isinstance(result, int) else len(result)


def interrupted(run, delay):
    """Seconds from the signal's due time until KeyboardInterrupt; None when the
    run ended first."""
    due = None
    try:
        signal.setitimer(signal.ITIMER_REAL, delay)
        due = time.perf_counter() + delay
        run()
        signal.setitimer(signal.ITIMER_REAL, 0)
        return None
    except KeyboardInterrupt:
        return time.perf_counter() - due


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size", type=int, default=10**6, help="nodes, and edges")
    parser.add_argument("--delay", type=float, default=0.1, help="signal after this many seconds")
    parser.add_argument("--target", type=float, default=0.1, help="acceptable latency")
    args = parser.parse_args()
    signal.signal(signal.SIGALRM, signal.default_int_handler)
    start = time.perf_counter()
    graph = build(args.size)
    print(f"{args.size} nodes, {args.size} edges (built in {time.perf_counter() - start:.1f} s); "
          f"signal after {args.delay * 1e3:.0f} ms")
    print(f"{'query':36} {'elements':>10} {'full run':>10} {'latency':>10}")
    usable = True
    for label, elements, run in scenarios(graph, args.size):
        try:
            start = time.perf_counter()
            first = answer(run())
            full = time.perf_counter() - start
        except ValueError as e:  # an operation this build does not have yet
            print(f"{label:36} {'':>10} {'':>10} {'':>10}  not available: {e}")
            continue
        latency = interrupted(run, args.delay)
        again = answer(run())
        usable &= again == first
        if latency is None:
            verdict = "ended before the signal"
        else:
            verdict = "ok" if latency <= args.target else "SLOW"
        shown = "" if latency is None else f"{latency * 1e3:8.1f}ms"
        print(f"{label:36} {elements:>10} {full * 1e3:8.0f}ms {shown:>10}  {verdict}"
              + ("" if again == first else f"; rerun gave {again}, not {first}"))
    return 0 if usable else 1


if __name__ == "__main__":
    sys.exit(main())
