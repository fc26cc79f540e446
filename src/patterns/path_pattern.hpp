// Path patterns: node and edge patterns in path order, built by the
// pattern-string parser or step by step from Python.
#pragma once

#include "patterns/patterns.hpp"

#include <string_view>
#include <vector>

namespace voralix {

struct PathPattern {
    std::vector<NodePattern> nodes;
    std::vector<EdgePattern> edges; // edge i stands between node i and node i + 1

    int traverse(visitproc visit, void* arg) const
    {
        for (const auto& n : nodes) {
            if (int r = n.traverse(visit, arg)) return r;
        }
        for (const auto& e : edges) {
            if (int r = e.traverse(visit, arg)) return r;
        }
        return 0;
    }
    void clear() noexcept
    {
        nodes.clear();
        edges.clear();
    }
};

// PathPattern::parse: the parsed patterns have no specific type or term and no
// required properties.
Result<PathPattern> parse_path_pattern(std::string_view text);

} // namespace voralix
