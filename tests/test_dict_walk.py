"""Graph walks that Python code changes mid-walk, with the process's dict
watcher and without one (every watcher slot taken before import), and walks
cut short by a signal."""

import json
import os
import subprocess
import sys

import pytest

SCRIPT = r"""
import json, sys
import _testcapi

def fill_watcher_slots():
    try:
        while True:
            _testcapi.add_dict_watcher(0)
    except RuntimeError as e:
        assert "no more dict watcher" in str(e), e

if sys.argv[1] == "before import":
    fill_watcher_slots()
from voralix import Graph, Node, Variable as V
if sys.argv[1] == "after import":
    fill_watcher_slots()

class Hook:  # a property value whose first == runs `action`; it compares False
    def __init__(self, action=None):
        self.action = action
    def __eq__(self, other):
        action, self.action = self.action, None
        action and action()
        return False
    __hash__ = None

def new_key(d):
    n = Node(V(f"new{len(d)}"))
    d[n.uid()] = n

def drop(d, index):
    del d[list(d)[index]]

CHANGES = {
    "none": lambda d: None,
    "value replaced": lambda d: d.update({k: d[k] for k in d}),
    "grow": new_key,
    "clear": dict.clear,
    "swap an unvisited key": lambda d: (drop(d, -1), new_key(d)),
    "swap a visited key": lambda d: (drop(d, 0), new_key(d)),
    # moves the first key to the end; a key put back where it was (the same
    # keys in the same order) would be harmless, and only the watcher sees it
    "re-insert a key": lambda d: d.update({k: d.pop(k) for k in [list(d)[0]]}),
    "swap then compact": lambda d: (drop(d, 0), new_key(d), new_key(d), drop(d, -1)),
}

results = {}
for size in (4, 5):  # five entries fill a dict's first table: an insert then compacts it
    for armed in ("first", "last"):
        for name, change in CHANGES.items():
            g = Graph()
            for i in range(size):
                n = Node(V(f"T{i}"), {"k": Hook()})
                g.nodes[n.uid()] = n
            index = 0 if armed == "first" else size - 1
            list(g.nodes.values())[index].properties["k"] = Hook(lambda: change(g.nodes))
            q = g.query().match(node="n", properties={"k": 1})
            try:
                outcome = q.return_count()
            except RuntimeError as e:
                outcome = str(e)
            results[f"{name}, {size} entries, {armed} entry"] = outcome
print(json.dumps(results))
"""

SIZE = "dictionary changed size during iteration"
KEYS = "dictionary keys changed during iteration"
EXPECTED = {"none": 0, "value replaced": 0, "grow": SIZE, "clear": SIZE,
            "swap an unvisited key": KEYS, "swap a visited key": KEYS, "re-insert a key": KEYS,
            "swap then compact": KEYS}


@pytest.mark.parametrize("slots_taken", ["before import", "after import", "never"])
def test_key_changes_are_detected_with_or_without_a_watcher(run_snippet, slots_taken):
    proc = run_snippet(SCRIPT.replace("sys.argv[1]", repr(slots_taken)))
    assert proc.returncode == 0, proc.stderr[-3000:]
    results = json.loads(proc.stdout)
    # A change made while the last entry is compared is seen at the walk's end.
    assert results == {f"{name}, {size} entries, {armed} entry": outcome
                       for size in (4, 5) for armed in ("first", "last")
                       for name, outcome in EXPECTED.items()}


NESTED = r"""
import _testcapi
try:
    while True:
        _testcapi.add_dict_watcher(0)
except RuntimeError:
    pass
from voralix import Graph, Node, Variable as V

class Inner:  # runs a query over the same dict from inside the outer walk
    def __eq__(self, other):
        counts.append(g.query().match(node="m", properties={"k": 0}).return_count())
        return False
    __hash__ = None

g, counts = Graph(), []
for i in range(6):
    n = Node(V(f"T{i}"), {"k": 0})
    g.nodes[n.uid()] = n
list(g.nodes.values())[2].properties["j"] = Inner()
for _ in range(3):
    print(g.query().match(node="n", properties={"j": 1}).return_count(),
          g.query().match(node="n", properties={"k": 0}).return_count())
print(counts)
"""


def test_snapshot_walks_nest_and_repeat(run_snippet):
    # Without a watcher every walk keeps its own snapshot: nested and repeated
    # walks over an unchanged dict report nothing.
    proc = run_snippet(NESTED)
    assert proc.returncode == 0, proc.stderr[-3000:]
    assert proc.stdout.splitlines() == ["0 6"] * 3 + ["[6, 6, 6]"]


INTERRUPTED = r"""
import signal, sys
import _testcapi
if sys.argv[1] == "snapshot":
    try:
        while True:
            _testcapi.add_dict_watcher(0)
    except RuntimeError:
        pass
from voralix import Graph, Node, Variable as V

g = Graph()
g.nodes.update((n.uid(), n) for n in (Node(V(str(i)), {"k": 0}) for i in range(200_000)))
# The create runs only if the walk before it ends: a signal handled once the
# call has returned would leave its node behind.
q = g.query().match(node="n", properties={"k": 1}).create(node="x", type=V("X"))
signal.signal(signal.SIGALRM, signal.default_int_handler)
outcomes = []
for _ in range(3):
    signal.setitimer(signal.ITIMER_REAL, 0.002)
    try:
        outcomes.append(q.return_count())
    except KeyboardInterrupt:
        outcomes.append("interrupted")
    signal.setitimer(signal.ITIMER_REAL, 0)
    outcomes.append(len(g.nodes))
print(outcomes, q.return_count())
"""


@pytest.mark.parametrize("guard", ["watcher", "snapshot"])
def test_signal_ends_a_walk(run_snippet, guard):
    proc = run_snippet(INTERRUPTED.replace("sys.argv[1]", repr(guard)))
    assert proc.returncode == 0, proc.stderr[-3000:]
    # Comparing ints runs no Python code: only the walk's own check sees the
    # signal in time. The query stays usable afterwards.
    assert proc.stdout.strip() == str(["interrupted", 200_000] * 3) + " 1"


def test_reentrancy_suite_without_a_watcher():
    # The callbacks that change dicts mid-walk, all over again with walks
    # guarded by key snapshots.
    tests = os.path.dirname(os.path.abspath(__file__))
    proc = subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                           os.path.join(tests, "test_query_reentrancy.py")],
                          env=dict(os.environ, VORALIX_TAKE_DICT_WATCHERS="1"),
                          capture_output=True, text=True, timeout=600)
    assert proc.returncode == 0, proc.stdout[-3000:] + proc.stderr[-3000:]
