"""Fuzz target: builder chains run against small graphs. The first byte picks
the check (0, 1, anything else):

- the executor's reference model (models/query_model.py), through the query
  language tests' differential test, its strategies reading the input;
- the frozen model of the first executor in test_query.py, the same way;
- free chains of every builder with any arguments, hostile property values
  among them, checked for invariants only: every failure is one of the
  documented exception classes, an interrupt or exit request raised inside
  a callback always reaches the caller, and no reference is leaked."""

import gc
import sys

import harness

with harness.instrumented("query_model", "test_query_language", "test_query"):
    import test_query
    import test_query_language as tql

from voralix import Application, Edge, Graph, Node, Term, Variable

# The model tests as fuzz targets: their own strategies read the input, so the
# cases stay those the tests generate.
language_model_test = tql.test_executor_matches_language_model.hypothesis.fuzz_one_input
frozen_model_test = test_query.test_executor_matches_model.hypothesis.fuzz_one_input


# --- free chains -----------------------------------------------------------------------------

class Boom(Exception):
    pass


class Hostile:
    """A property value whose == does one of several unfriendly things."""

    requests = 0  # interrupt and exit requests raised so far

    def __init__(self, action):
        self.action = action

    def __eq__(self, other):
        try:
            return self.action(other)
        except (KeyboardInterrupt, SystemExit):
            Hostile.requests += 1
            raise

    __hash__ = None


def clear(g):
    g.nodes.clear()
    g.edges.clear()
    return False


def swap(g):
    if g.nodes:
        del g.nodes[next(iter(g.nodes))]
    n = Node(Variable("Swapped"))
    g.nodes[n.uid()] = n
    return True


def raise_(exc):
    raise exc


# Exceptions that the engine documents; anything else is a finding.
EXPECTED = (TypeError, ValueError, RuntimeError, OverflowError, UnicodeEncodeError, Boom)

A, B, R = Variable("A"), Variable("B"), Variable("R")
TERM = Term("f", Application(A, B))
SHARED = [A, B, R, TERM, Application(A, B)]  # objects whose reference counts must not grow
PATTERNS = ["(n)", "(n:A)", "(n)-[e]->(m)", "(n)<-[e:R]-(m)", "(a)-[e]-(b)-[f]->(c)", "(x:A -> B)",
            "(n {k: 1})", "(n)-[e*1..3]->(m)", "(n)-[e*]-(m)", "((", "(n)-[", "", "(n)(m)",
            "(a:A)-[r:f]->(b:B)", "(n:$(x:*)$)"]
CONDITIONS = ["n.k = 1", "n.k > $p", "e IS NULL", "n:A", "uid(n) STARTS WITH 'a'", "n.k IN [1, 2]",
              "(", "size(e) > 1", "n.k = m.k OR NOT m.k <> 1", ""]
NAMES = ["n", "m", "e", "f", "x", "", "\ud800"]


def value(c, g):
    """A property value, sometimes hostile."""
    if c.below(2):
        return c.pick([0, 1, "a", None, 1.5, [1, 2], {"x": 1}, float("nan")])
    return Hostile(c.pick([lambda o: raise_(Boom()), lambda o: clear(g), lambda o: swap(g),
                           lambda o: raise_(KeyboardInterrupt()), lambda o: "not a bool",
                           lambda o: raise_(SystemExit())]))


def argument(c, g):
    """Any argument: often a fitting one, sometimes anything at all."""
    name = lambda: c.pick(NAMES)
    return c.pick([name, name, name, lambda: c.pick(SHARED), lambda: c.between(-2, 3),
                   lambda: 2**64, lambda: None, lambda: {"k": value(c, g)},
                   lambda: c.text(8), lambda: c.pick(PATTERNS)])()


def free_chain(c):
    g = Graph()
    made = [Node(t, {"k": value(c, g)}) for t in (A, B, R)[:c.between(1, 3)]]
    for n in made:
        g.nodes[n.uid()] = n
    for s, e in c.many(0, 4, lambda: (c.pick(made), c.pick(made))):
        edge = Edge(Term(c.pick(["f", "g"]), c.pick([R, Application(A, B)])), s, e,
                    {"k": value(c, g)})
        g.edges[edge.uid()] = edge
    arg = lambda: argument(c, g)
    builders = [
        lambda q: q.match(c.pick(PATTERNS)),
        lambda q: q.match(node=c.pick(NAMES), type=c.maybe(SHARED), properties=arg()),
        lambda q: q.match(edge=c.pick(NAMES), term=c.maybe([TERM]), start=arg(), end=arg()),
        lambda q: q.merge(node=c.pick(NAMES), type=c.maybe(SHARED), properties=arg()),
        lambda q: q.merge(edge=arg(), term=c.maybe([TERM, 5]), start=arg(), end=arg()),
        lambda q: q.create(c.pick(PATTERNS) if c.chance() else None, node=arg(), type=c.maybe(SHARED)),
        lambda q: q.create(edge=arg(), term=c.maybe([TERM]), start=arg(), end=arg()),
        lambda q: q.where(c.pick(CONDITIONS) if c.chance() else arg()),
        lambda q: q.params(p=arg(), q=value(c, g)),
        lambda q: q.order_by(arg(), c.pick(["k", "t"]), c.chance()),
        lambda q: q.skip(arg()),
        lambda q: q.limit(arg()),
        lambda q: q.with_(*c.many(0, 2, arg)),
        lambda q: q.set(arg(), {"k": value(c, g), "s": 1} if c.chance() else arg()),
        lambda q: q.delete(*c.many(0, 2, arg), detach=c.chance()),
    ]
    terminals = [lambda q: q.return_(*c.many(0, 2, arg)), lambda q: q.return_distinct(*c.many(0, 2, arg)),
                 lambda q: q.return_count(), lambda q: q.execute()]
    q = g.query()
    for _ in range(c.between(1, 8)):
        call = c.pick(builders) if c.below(4) else c.pick(terminals)
        requests = Hostile.requests
        try:
            result = call(q)
        except (KeyboardInterrupt, SystemExit):
            continue  # a callback's request reached the caller, as it must
        except EXPECTED:
            result = None
        assert Hostile.requests == requests, "a callback's interrupt or exit request was swallowed"
        if type(result).__name__ == "Query":
            q = result


def refcounts():
    return [sys.getrefcount(o) for o in SHARED]


BASELINE = None


def free_chain_check(c):
    global BASELINE
    if BASELINE is None:
        gc.collect()
        BASELINE = refcounts()
    free_chain(c)
    if refcounts() != BASELINE:
        gc.collect()  # hostile values close over their graph: cycles
        assert refcounts() == BASELINE, f"references leaked: {refcounts()} != {BASELINE}"


def check(data):
    mode, rest = data[:1], data[1:]
    if mode == b"\0":
        language_model_test(rest)
    elif mode == b"\1":
        frozen_model_test(rest)
    else:
        free_chain_check(harness.Choices(rest))


harness.main(check, max_len=512)
