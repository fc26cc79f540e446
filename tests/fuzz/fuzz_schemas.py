"""Fuzz target: the type-schema matcher against the Python model of it
(models/schema_model.py), through the schema tests' own differential check.

An input is a schema text, optionally followed by a NUL and a type written in
prefix form: ">" applies the next two types, any other text up to a "," is a
variable's name (">A,>B,C" is A -> (B -> C)). The text is also matched
against a few fixed types and against the variable named by the text itself."""

import harness

with harness.instrumented("schema_model", "test_type_schema"):
    import schema_model as sm
    import test_type_schema

from voralix import TypeSchema

A, B, C = sm.var("A"), sm.var("B"), sm.var("C")
FIXED = [A, sm.app(A, B), sm.app(sm.app(A, B), C), sm.app(A, sm.app(B, C)), sm.var("")]


def read_type(text):
    """The type a prefix text names; a missing operand is the empty name."""
    tokens = []
    for name in text.split(","):
        bare = name.lstrip(">")
        tokens += [">"] * (len(name) - len(bare)) + [bare]
    stack = []  # read from the right: a name is pushed, ">" takes the top two
    for token in reversed(tokens):
        if token == ">":
            left = stack.pop() if stack else sm.var("")
            right = stack.pop() if stack else sm.var("")
            token = sm.app(left, right)
        else:
            token = sm.var(token)
        stack.append(token)
    return stack[-1]


def check(data):
    text, _, prefix = harness.text_of(data).partition("\0")
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        try:
            TypeSchema(text)
        except UnicodeEncodeError:
            return
        raise AssertionError(f"{text!r} with a lone surrogate was read")
    types = FIXED + [sm.var(sm.trim(text))]
    if prefix:
        try:
            prefix.encode("utf-8")
            types.append(read_type(prefix))
        except UnicodeEncodeError:
            pass
    for t in types:
        try:
            test_type_schema.check_against_model(text, t)
        except RecursionError:
            # The model recurses with the text's nesting; the matcher does not.
            TypeSchema(text).matches(test_type_schema.build(t))


harness.main(check, max_len=512)
