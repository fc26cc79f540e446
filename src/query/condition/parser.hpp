// The parser of the condition language: an operator-precedence parser with an
// explicit stack of pending operators and brackets, so that nesting depth is
// limited only by memory. Grammar (README, "Query language"):
//   or = xor {OR xor}; xor = and {XOR and}; and = not {AND not};
//   not = NOT not | comparison; comparison = predicate [cmp predicate];
//   predicate = postfix {IS [NOT] NULL | IN postfix | STARTS WITH postfix
//                        | ENDS WITH postfix | CONTAINS postfix};
//   postfix = atom {"." key | ":" typetext}
#pragma once

#include "errors/error.hpp"
#include "query/condition/ast.hpp"

#include <string_view>

namespace voralix::condition {

// Parses `text`. A syntax error is InvalidQuery "<reason> at offset N" with
// context "where"; an empty or white-space-only text gives an empty tree.
Result<Ast> parse(std::string_view text);

} // namespace voralix::condition
