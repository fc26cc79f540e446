// Docstrings of Term: the text after each signature line.
#pragma once

namespace voralix::docs {

inline constexpr const char kTerm[] =
    R"doc(A typed term: a name inhabiting a type, such as f of type (A -> B).

Args:
    name (str): the term's name; any text, copied.
    type (Variable | Application): the term's type.

Raises:
    TypeError: name is not a str, or "Expected Variable or Application"
        when type is anything else.

Terms are what graph edges stand for. Calling a term applies it to another
by the rule of function application: t(other) requires t to have a
function type (L -> R) and other to have the type L, and returns the new
term "(t other)" of type R. Neither operand changes.

    t(other: Term) -> Term
        Raises TypeError when other is not a Term; "Type mismatch: expected
        L, got T (in function application)" when other's type T is not L;
        "Type mismatch: expected application type (A -> B), got T (in term
        application)" when t's own type T is not a function type.

Terms compare equal when their names and types are equal; hash() is a
content hash, the same in every process. str() is name:type; repr() is
Term("name", type).

Example:
    >>> A, B = Variable("A"), Variable("B")
    >>> f, x = Term("f", Application(A, B)), Term("x", A)
    >>> print(f(x))
    (f x):B
    >>> f(x)
    Term("(f x)", B)
    >>> f(f)
    Traceback (most recent call last):
    TypeError: Type mismatch: expected A, got (A -> B) (in function application))doc";

inline constexpr const char kTermUid[] =
    R"doc(Returns the unique identifier of this term: a SHA256 hash built from the term's
name and its type's uid.

The uid is the SHA-256 digest of "term:" + name + ":" + type uid, as 64
lowercase hexadecimal digits. Equal terms have equal uids; an edge's uid is
derived from its term's.

Returns:
    str: 64 hexadecimal digits.

Example:
    >>> import hashlib
    >>> A = Variable("A")
    >>> digest = hashlib.sha256(("term:x:" + A.uid()).encode()).hexdigest()
    >>> Term("x", A).uid() == digest
    True)doc";

inline constexpr const char kTermName[] =
    "The name of this term (str). Assigning a str renames the term in place; edges and "
    "patterns built from it earlier keep the old name.";

inline constexpr const char kTermType[] = R"doc(Gets the type of this term.

Returns:
    Variable | Application: a new object on every read, equal to the term's
    type.)doc";

} // namespace voralix::docs
