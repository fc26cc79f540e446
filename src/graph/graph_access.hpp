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
#include <vector>

namespace voralix {

struct DigestHash {
    std::size_t operator()(const Digest& d) const noexcept
    {
        std::size_t h;
        static_assert(sizeof h <= sizeof(Digest));
        __builtin_memcpy(&h, d.data(), sizeof h);
        return h;
    }
};

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
    bool failed_ = false;
};

// Edges by the uid of their end nodes, for expansion from a reached node. Built
// once per run from a snapshot of the edge dict (edges in dict order); a
// change of the edge dict while the index is in use ends the run with the
// walk's RuntimeError, as a walk of the dict would. Nodes are numbered by
// uid; each edge knows the numbers of its ends, and the edges at a node are
// kept in flat arrays (edge dict order), so expansion looks nothing up.
class AdjacencyIndex {
public:
    static constexpr std::uint32_t kNoNode = 0xFFFFFFFF;
    struct Span {
        const std::uint32_t* begin;
        const std::uint32_t* end;
    };

    static Result<std::unique_ptr<AdjacencyIndex>> build(const GraphRecord& g);

    // The number of the node with this record's uid, or kNoNode when no
    // edge touches it.
    std::uint32_t node_id(const NodeRecord& n) const;
    // Indexes of the edges that start (end) at node `id`, ascending.
    Span outgoing(std::uint32_t id) const noexcept;
    Span incoming(std::uint32_t id) const noexcept;
    std::uint32_t start_of(std::uint32_t edge) const noexcept { return ends_[2 * edge]; }
    std::uint32_t end_of(std::uint32_t edge) const noexcept { return ends_[2 * edge + 1]; }
    // The term of edge `i` (for telling edges apart by uid without a copy).
    const Term& term(std::uint32_t i) const noexcept;
    // A copy of edge `i`'s record; false with the exception set on failure.
    bool read(std::uint32_t i, EdgeRecord& out) const noexcept;
    // False with the RuntimeError set once the edge dict has changed.
    bool unchanged() noexcept { return guard_.unchanged(); }

private:
    explicit AdjacencyIndex(const GraphRecord& g) noexcept : guard_(g.edges) {}
    std::uint32_t intern(const NodeRecord& n);

    DictWalk guard_;
    std::vector<Ref> edges_;          // the Edge objects, in dict order
    std::vector<std::uint32_t> ends_; // start and end node number of each edge
    std::vector<std::uint32_t> out_offsets_, out_edges_, in_offsets_, in_edges_;
    // Node numbers by uid digest (open addressing, no allocation per entry).
    // Each type node also remembers its number, stamped with this index's
    // stamp: copies share their type node, so looking a node up costs a read
    // of memory that copying it touches anyway; a type node last stamped by
    // another index falls back to the digest.
    struct IdMap {
        std::vector<Digest> keys;
        std::vector<std::uint32_t> ids; // kNoNode: free slot
        std::size_t used = 0;
        void reserve(std::size_t n);
        std::uint32_t* find(const Digest& k) noexcept;
    };
    IdMap by_uid_;
    std::uint64_t stamp_ = 0;
};

// Python objects of the graph's classes, for results and condition values.
bool is_node_object(PyObject* o) noexcept;
bool is_edge_object(PyObject* o) noexcept;
PyObject* new_node_object(const NodeRecord& n) noexcept;
PyObject* new_edge_object(const EdgeRecord& e) noexcept;
// Copies the record out of a Node / Edge object (conversion TypeError else).
bool read_node_object(PyObject* o, NodeRecord& out) noexcept;
bool read_edge_object(PyObject* o, EdgeRecord& out) noexcept;

// A property value of an element's dict (`properties` may be null: no
// dict): null when the key is missing or the lookup raised an Exception (a
// failing lookup counts as a mismatch); false with the exception set for any
// other (KeyboardInterrupt, SystemExit).
bool lookup_property(PyObject* properties, PyObject* key, Ref& out) noexcept;
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
