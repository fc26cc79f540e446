// Docstrings of TypeSchema: the text after each signature line.
#pragma once

namespace voralix::docs {

inline constexpr const char kTypeSchema[] =
    R"doc(A pattern over types, written between dollar signs.

Args:
    pattern (str): the schema text, kept verbatim. It is not parsed or
        validated here: every match reads it afresh, and a malformed text
        simply matches nothing.

Raises:
    TypeError: pattern is not a str.

Syntax (white space around the text and around arrows is ignored):

    $*$            any type
    $Person$       the type variable Person
    $A -> B$       a function type whose input matches A and output B;
                   arrows associate to the right: $A -> B -> C$ is
                   A -> (B -> C)
    $(name:pat)$   match pat and capture the matched type under name

A side of an arrow is read as its own schema, so it may be * or a capture
group, but not a parenthesised function type: $(A -> B) -> C$ matches
nothing; write $(f:A -> B) -> C$ (capture the input) or $* -> C$. To
capture both sides of a function type, start with a space:
$ (x:*) -> (y:*) $. A text without dollar signs, such as Person or A -> B,
matches the same types.

Node and edge patterns, pattern strings such as (n:Person) and the query
builders use schemas to select nodes by type and edges by their term's
type. str() and repr() are TypeSchema("pattern").

Example:
    >>> A, B = Variable("A"), Variable("B")
    >>> TypeSchema("$* -> B$").matches(Application(A, B))
    True
    >>> TypeSchema("$ (x:*) -> (y:*) $").capture(Application(A, B))
    {'x': Variable("A"), 'y': Variable("B")})doc";

inline constexpr const char kTypeSchemaMatches[] = R"doc(Tests whether the schema matches a type.

Args:
    type (Variable | Application): the type to test.

Returns:
    bool: True when the schema matches the type.

Raises:
    TypeError: "Expected Variable or Application" when type is anything
        else.

Example:
    >>> TypeSchema("$Person$").matches(Variable("Person"))
    True
    >>> TypeSchema("$Person$").matches(Variable("Company"))
    False)doc";

inline constexpr const char kTypeSchemaCapture[] =
    R"doc(Matches a type and returns the sub-types that the capture groups matched.

Args:
    type (Variable | Application): the type to match.

Returns:
    dict[str, Variable | Application]: capture name to the matched type (new
    objects). Empty when the type does not match (a failed match reports no
    partial captures) or the schema has no capture group. The key order is
    unspecified.

Raises:
    TypeError: "Expected Variable or Application" when type is anything
        else.

Example:
    >>> A, B, C = Variable("A"), Variable("B"), Variable("C")
    >>> TypeSchema("$(f:A -> B) -> C$").capture(Application(Application(A, B), C))
    {'f': Application(A, B)}
    >>> TypeSchema("$(x:A)$").capture(B)
    {})doc";

} // namespace voralix::docs
