// Reads a schema text that names exactly one type, for node creation from a
// pattern string: "$Person$" names Person, "$A -> B -> C$" names
// (A -> (B -> C)), "$(A -> B) -> C$" names ((A -> B) -> C).
#pragma once

#include "types/type.hpp"

#include <optional>
#include <string_view>

namespace voralix {

// After trimming and removing one enclosing pair of dollar signs, the text
// must consist of names, "->" (right-associative) and grouping parentheses,
// with no "*", ":" or "$" left. A text without "->" and parentheses is one
// variable name taken verbatim (as the matcher reads "$ Person $"); otherwise
// names are trimmed. Anything else names no type.
std::optional<Type> type_named_by_schema(std::string_view text);

} // namespace voralix
