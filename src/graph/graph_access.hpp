// The query engine's only way into the graph's dicts and the elements' property
// dicts: node and edge scans, the typed node lookup, the adjacency index used
// for multi-hop expansion, and the writes (store, remove, detach, update
// properties). Every loop here checks for signals; every walk during which
// Python code may run detects changes of the walked dict.
#pragma once

#include <Python.h>

#include "errors/error.hpp"
#include "graph/dict_walk.hpp"
#include "graph/graph.hpp"
#include "graph/records.hpp"
#include "util/interrupt.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace voralix {

// Walks the node dict in order, copying each value's record. A value that is
// not a Node fails with the conversion TypeError.
class NodeScan {
public:
    explicit NodeScan(const GraphRecord& g) noexcept : walk_(g.nodes) {}
    // Next node into `out`; false at the end or on failure (then failed()).
    bool next(NodeRecord& out) noexcept;
    bool failed() const noexcept { return failed_; }

private:
    DictWalk walk_;
    InterruptCheck interrupt_;
    bool failed_ = false;
};

// The same over the edge dict.
class EdgeScan {
public:
    explicit EdgeScan(const GraphRecord& g) noexcept : walk_(g.edges) {}
    bool next(EdgeRecord& out) noexcept;
    bool failed() const noexcept { return failed_; }

private:
    DictWalk walk_;
    InterruptCheck interrupt_;
    bool failed_ = false;
};

// Edges by the uid of their end nodes, for expansion from a reached node. Built
// once per run from a snapshot of the edge dict (edges in dict order); a
// change of the edge dict while the index is in use ends the run with the
// walk's RuntimeError, as a walk of the dict would.
class AdjacencyIndex {
public:
    static Result<std::unique_ptr<AdjacencyIndex>> build(const GraphRecord& g);

    const std::vector<EdgeRecord>& edges() const noexcept { return edges_; }
    // Indexes into edges() of the edges that start (end) at a node of that
    // type uid, ascending (dict order). Empty when there are none.
    const std::vector<std::uint32_t>& outgoing(const Digest& node_type) const noexcept;
    const std::vector<std::uint32_t>& incoming(const Digest& node_type) const noexcept;
    // False with the RuntimeError set once the edge dict has changed.
    bool unchanged() noexcept { return guard_.unchanged(); }

private:
    explicit AdjacencyIndex(const GraphRecord& g) noexcept : guard_(g.edges) {}
    struct DigestHash {
        std::size_t operator()(const Digest& d) const noexcept
        {
            std::size_t h;
            static_assert(sizeof h <= sizeof(Digest));
            __builtin_memcpy(&h, d.data(), sizeof h);
            return h;
        }
    };
    struct Lists {
        std::vector<std::uint32_t> out, in;
    };
    DictWalk guard_;
    std::vector<EdgeRecord> edges_;
    std::unordered_map<Digest, Lists, DigestHash> by_node_;
};

// A property value of an element's dict: null when the key is missing or the
// lookup raised an Exception (a failing lookup counts as a mismatch); other
// exceptions (KeyboardInterrupt, SystemExit) fail the call.
Result<Ref> lookup_property(const Ref& properties, PyObject* key);

// Stores every item of `source` (walked in order) into `target`.
Status update_properties(const Ref& target, const Ref& source);

// A new Python Node / Edge object for the record, stored under its uid.
Status store_node(const GraphRecord& g, const NodeRecord& n);
Status store_edge(const GraphRecord& g, const EdgeRecord& e);

// Removes the element's uid from its dict; a key already gone (or a removal
// failing with an Exception) is no failure.
Status remove_node(const GraphRecord& g, const NodeRecord& n);
Status remove_edge(const GraphRecord& g, const EdgeRecord& e);

// Removes every edge whose start or end node has one of the given type uids
// (the types of deleted nodes: node uids are equal exactly when type uids are).
Status detach_edges(const GraphRecord& g, std::vector<Digest> deleted_types);

} // namespace voralix
