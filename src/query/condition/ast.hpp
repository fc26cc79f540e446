// The syntax tree of a condition: nodes in one vector, children by index, so
// that building and walking it needs no recursion however deep it nests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voralix::condition {

enum class NodeKind : std::uint8_t {
    Literal,   // a: index into Ast::literals
    Parameter, // a: index into Ast::parameters
    Variable,  // a: index into Ast::variables
    Property,  // a: child, b: index into Ast::keys
    TypeTest,  // a: child, b: index into Ast::schemas
    Call,      // a: child, sub: Function
    List,      // a: first index into Ast::list_items, b: element count
    Not,       // a: child
    And,       // a, b: children (also for every binary kind below)
    Or,
    Xor,
    Compare, // sub: Comparison
    In,
    StartsWith,
    EndsWith,
    Contains,
    IsNull,
    IsNotNull, // a: child
};

enum class Function : std::uint8_t { Uid, Type, Name, Start, End, Size };
enum class Comparison : std::uint8_t { Eq, Ne, Lt, Le, Gt, Ge };

struct Literal {
    enum class Kind : std::uint8_t { Null, True, False, String, Integer, Float };
    Kind kind = Kind::Null;
    std::string text; // String: the decoded text; Integer / Float: as written
};

struct AstNode {
    NodeKind kind;
    std::uint8_t sub = 0;
    std::uint32_t a = 0;
    std::uint32_t b = 0;
};

struct Ast {
    static constexpr std::uint32_t kNone = UINT32_MAX;

    std::vector<AstNode> nodes;
    std::uint32_t root = kNone; // kNone: the empty condition
    std::vector<std::uint32_t> list_items;
    std::vector<Literal> literals;
    std::vector<std::string> parameters; // distinct, in text order
    std::vector<std::string> variables;  // distinct, in text order
    std::vector<std::string> keys;
    std::vector<std::string> schemas;
};

} // namespace voralix::condition
