// The type-schema matcher: a schema text is read once into a small tree of
// match instructions, which is then walked against any number of types.
#pragma once

#include "types/type.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace voralix {

// Captures in the order their names were first written; writing a name that is
// already present replaces its value in place.
using CaptureList = std::vector<std::pair<std::string, Type>>;

// A schema text compiled for repeated matching.
//
// The meaning of a schema text depends on the type only at its leaves (a
// variable name, the wildcard, a capture group, a function type), so the text
// is read once into a tree of those leaves and nodes. Matching walks the tree
// with an explicit stack; it neither recurses nor allocates unless the schema
// is more than a few dozen levels deep.
class CompiledSchema {
public:
    // Never fails: every text compiles, malformed text compiles to a tree that
    // simply does not match.
    explicit CompiledSchema(std::string_view text);

    // matches_type: true if the schema matches `t`.
    bool matches(const Type& t) const;
    // Matches `t` and fills `out` with the captured sub-types. `out` is cleared
    // first; on no match it is left empty.
    bool capture(const Type& t, CaptureList& out) const;

    // True if the schema contains a capture group; without one, capture() can
    // only ever report an empty list.
    bool has_captures() const noexcept { return name_count_ != 0; }

private:
    enum class Kind : std::uint8_t {
        Wildcard, // matches every type
        Never,    // matches no type
        Name,     // a Variable whose name equals text_[a, b) (wrapped: "$" + it + "$")
        Capture,  // child at index + 1; records text_[a, b) under name id `c`
        Function, // an Application; left child at index + 1, right child at `c`
    };
    struct Node {
        std::size_t a = 0;
        std::size_t b = 0;
        std::size_t c = 0;
        Kind kind = Kind::Never;
        bool wrapped = false;
    };

    template <class Index>
    void compile(Index& index);
    void number_capture_names();
    bool name_matches(const Node& n, const TypeNode* t) const noexcept;
    std::string_view slice(const Node& n) const noexcept
    {
        return std::string_view(text_).substr(n.a, n.b - n.a);
    }

    std::string text_; // the trimmed schema text; every node's range points into it
    std::vector<Node> nodes_;
    std::size_t name_count_ = 0; // distinct capture names
};

} // namespace voralix
