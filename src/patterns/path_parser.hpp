// The pattern-string parser behind PathPattern::parse: turns text such as
// "(n:Person)-[e:knows]->(m)" into plain node and edge descriptions.
// Pure C++: no Python objects are touched.
#pragma once

#include "errors/error.hpp"
#include "patterns/hop_range.hpp"
#include "patterns/property_block.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voralix {

struct ParsedNode {
    std::optional<std::string> variable;
    std::optional<std::string> schema; // type-schema text, e.g. "$Person$"
    PropertyBlock properties;          // from "{...}"; empty when there is none
};

struct ParsedEdge {
    std::optional<std::string> variable;
    std::optional<std::string> schema; // schema text for the edge term's type
    PropertyBlock properties;
    std::optional<HopRange> hops; // from a quantifier such as "*1..3"
    std::string direction;        // "forward", "backward" or "any"
};

struct ParsedPath {
    std::vector<ParsedNode> nodes;
    std::vector<ParsedEdge> edges; // edge i lies between node i and node i+1
};

// Parses a pattern string (valid UTF-8). Runs in time linear in the text and
// never recurses. Every failure is VoralixError::invalid_pattern.
Result<ParsedPath> parse_path(std::string_view text);

} // namespace voralix
