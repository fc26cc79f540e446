// The property block of a node or edge body, "{name: 'Alice', age: 30}", read
// into plain C++ literal values. Pure C++: no Python objects are touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voralix {

// One literal value. Lists are stored flat, in preorder: a List entry is
// followed by its `size` elements (each a whole subtree), so arbitrarily deep
// nesting needs neither recursion nor nested containers.
struct Literal {
    enum class Kind : std::uint8_t { Null, Boolean, Integer, Float, String, List };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::size_t size = 0; // List: number of direct elements
    std::string text;     // Integer / Float: as written; String: the decoded text
};

struct PropertyBlock {
    std::vector<std::string> keys; // in written order; a repeated key appears again
    std::vector<Literal> values;   // the value of keys[i] is the i-th top-level subtree

    bool empty() const noexcept { return keys.empty(); }
};

// Reads `text`, which starts with "{" and must end with the block's closing
// "}". Keys are identifiers (str.isidentifier) or quoted strings; values are
// strings, numbers, true / false / null in any case, and lists of values. On
// a malformed block returns the reason, "Invalid property block: ...".
std::optional<std::string> read_property_block(std::string_view text, PropertyBlock& out);

} // namespace voralix
