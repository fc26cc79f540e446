"""Fuzz target: the condition language of where() and the order of order_by()
against the Python model of both (models/condition_model.py), through the
where tests' own differential checks. The first byte picks the check:

- 0: conditions and parameters that the where tests' strategies read from
  the rest of the input, on small random graphs and paths;
- 1: the order_by test, the same way;
- anything else: the whole input as condition text, on the tests' one-edge
  graph (so that seeds stay readable)."""

import sys

import harness

with harness.instrumented("condition_model", "test_where"):
    import test_where

from voralix import Graph

# The model recurses with the nesting of the text; the native parser does not.
sys.setrecursionlimit(max(sys.getrecursionlimit(), 20_000))

FIXED = test_where.one_edge_graph()
where_model_test = test_where.test_where_matches_the_model.hypothesis.fuzz_one_input
order_model_test = test_where.test_order_by_matches_the_model.hypothesis.fuzz_one_input
text_model_test = test_where.test_arbitrary_text_matches_the_model.hypothesis.inner_test


def check(data):
    mode = data[:1]
    if mode == b"\0":
        where_model_test(data[1:])
    elif mode == b"\1":
        order_model_test(data[1:])
    else:
        text = harness.text_of(data)
        try:
            text.encode("utf-8")
        except UnicodeEncodeError:
            # Lone surrogates are no text to read: refused before reading.
            try:
                Graph().query().where(text).return_count()
            except UnicodeEncodeError:
                return
            raise AssertionError(f"{text!r} with a lone surrogate was read")
        text_model_test(FIXED, text)


harness.main(check, max_len=256)
