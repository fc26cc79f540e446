// One cell of the binding table: empty, a node, an edge, or the edges of a
// variable-length path in path order. Cells own copies of the records (each
// copy holds its own references), so copying a cell never shares Python
// references between holders.
#pragma once

#include "graph/records.hpp"

#include <variant>
#include <vector>

namespace voralix {

using EdgeList = std::vector<EdgeRecord>;
using Cell = std::variant<std::monostate, NodeRecord, EdgeRecord, EdgeList>;

inline bool is_empty(const Cell& c) noexcept
{
    return std::holds_alternative<std::monostate>(c);
}

inline int traverse_cell(const Cell& c, visitproc visit, void* arg)
{
    if (const auto* n = std::get_if<NodeRecord>(&c)) return n->traverse(visit, arg);
    if (const auto* e = std::get_if<EdgeRecord>(&c)) return e->traverse(visit, arg);
    if (const auto* l = std::get_if<EdgeList>(&c)) {
        for (const EdgeRecord& e : *l) {
            if (int r = e.traverse(visit, arg)) return r;
        }
    }
    return 0;
}

} // namespace voralix
