// Docstrings of Variable and Application: the text after each signature line.
#pragma once

namespace voralix::docs {

inline constexpr const char kVariable[] = R"doc(A type variable: an atomic type such as Person.

Args:
    name (str): the variable's name. Any text is accepted, the empty text
        included; it is copied, never trimmed or validated.

Raises:
    TypeError: name is not a str.

Variables compare equal when their names are equal (byte for byte), and
hash() is a content hash that is the same in every process. str() is the
name itself; repr() is Variable("name"). Only == and != are defined:
ordering raises TypeError.

The name can be replaced in place (v.name = "B"). That changes the hash, so
do not rename a variable that is a dict key or a set member. Types, terms,
nodes and patterns built from the variable earlier keep the old name: they
hold a copy.

Example:
    >>> person = Variable("Person")
    >>> person, str(person)
    (Variable("Person"), 'Person')
    >>> person == Variable("Person"), person != Variable("Company")
    (True, True)
    >>> hash(person) == hash(Variable("Person"))
    True)doc";

inline constexpr const char kVariableUid[] =
    R"doc(Returns the unique identifier of this type: a SHA256 hash based on the
variable name.

The uid is the SHA-256 digest of the bytes "var:" followed by the UTF-8
name, as 64 lowercase hexadecimal digits. It depends only on the name, so
equal variables have equal uids in every process.

Returns:
    str: 64 hexadecimal digits.

Example:
    >>> import hashlib
    >>> Variable("A").uid() == hashlib.sha256(b"var:A").hexdigest()
    True)doc";

inline constexpr const char kVariableName[] =
    "The name of this type variable (str). Assigning a str renames the variable in place; "
    "assigning anything else raises TypeError and deleting raises AttributeError.";

inline constexpr const char kApplication[] =
    R"doc(A function type from left (input) to right (output), written (left -> right).

Args:
    left (Variable | Application): the input type.
    right (Variable | Application): the output type.

Raises:
    TypeError: "Expected Variable or Application" when left or right is
        anything else (left is checked first).

Nesting builds higher-order types: Application(Application(A, B), C) is
((A -> B) -> C), a function that takes a function. The object is
immutable; the children are shared, not copied, so building large types
from existing ones is cheap.

Applications compare equal when their left and right types are equal, and
hash() is a content hash that is the same in every process. str() writes
every function type in parentheses; repr() writes the children in their
text form. Only == and != are defined.

Example:
    >>> A, B, C = Variable("A"), Variable("B"), Variable("C")
    >>> f = Application(Application(A, B), C)
    >>> print(f)
    ((A -> B) -> C)
    >>> f
    Application((A -> B), C)
    >>> f.left == Application(A, B), f.right
    (True, Variable("C")))doc";

inline constexpr const char kApplicationUid[] =
    R"doc(Returns the unique identifier of this type: a SHA256 hash based on the uids of
the left and right types.

The uid is the SHA-256 digest of "app:" + left uid + ":" + right uid, as
64 lowercase hexadecimal digits. Equal types have equal uids; the order of
the children matters.

Returns:
    str: 64 hexadecimal digits.

Example:
    >>> A, B = Variable("A"), Variable("B")
    >>> Application(A, B).uid() == Application(A, B).uid()
    True
    >>> Application(A, B).uid() == Application(B, A).uid()
    False)doc";

inline constexpr const char kApplicationLeft[] =
    R"doc(Gets the left (input) type of this application.

Returns:
    Variable | Application: a new object on every read, equal to the input
    type.)doc";

inline constexpr const char kApplicationRight[] =
    R"doc(Gets the right (output) type of this application.

Returns:
    Variable | Application: a new object on every read, equal to the output
    type.)doc";

} // namespace voralix::docs
