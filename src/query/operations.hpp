// Query records: the operation queue with its alternatives, the bound values
// and the query itself.
#pragma once

#include <Python.h>

#include "graph/graph.hpp"
#include "graph/records.hpp"
#include "patterns/path_pattern.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace voralix {

struct MatchNode {
    NodePattern pattern;
};
struct MatchEdge {
    EdgePattern pattern;
    std::optional<std::string> start;
    std::optional<std::string> end;
};
struct MatchPath {
    PathPattern pattern;
};
using MatchOp = std::variant<MatchNode, MatchEdge, MatchPath>;

struct CreateNode {
    NodePattern pattern;
};
struct CreateEdge {
    EdgePattern pattern;
    std::string start;
    std::string end;
};
struct CreatePath {
    PathPattern pattern;
};
using CreateOp = std::variant<CreateNode, CreateEdge, CreatePath>;

struct MergeNode {
    NodePattern pattern;
};
struct MergeEdge {
    EdgePattern pattern;
    std::string start;
    std::string end;
};
using MergeOp = std::variant<MergeNode, MergeEdge>;

namespace op {
struct Match {
    MatchOp op;
};
struct Where {
    std::string condition;
};
struct Create {
    CreateOp op;
};
struct Set {
    std::string variable;
    Ref properties; // a dict, held by reference
};
struct Delete {
    std::vector<std::string> variables;
    bool detach = false;
};
struct Merge {
    MergeOp op;
};
struct With {
    std::vector<std::string> variables;
};
struct OrderBy {
    std::string variable;
    std::string key;
    bool ascending = true;
};
struct Limit {
    std::uint64_t count = 0;
};
struct Skip {
    std::uint64_t count = 0;
};
} // namespace op

// The variant index is the operation's tag.
using QueryOperation = std::variant<op::Match, op::Where, op::Create, op::Set, op::Delete,
                                    op::Merge, op::With, op::OrderBy, op::Limit, op::Skip>;

// One queued operation with the queue before it: the queue is an immutable
// list shared by every copy of a query (a builder links a new entry to the
// current last one), so copying a query never copies its operations.
struct QueueEntry {
    Ref previous; // the entry before, or null for the first operation
    QueryOperation operation;

    int traverse(visitproc visit, void* arg) const;
    void clear() noexcept;

    static constexpr const char* kTypeName = "voralix.QueuedOperation";
};

struct QueryRecord {
    GraphRecord graph;
    Ref last;     // the last QueueEntry, or null for an empty queue
    Ref bindings; // the binding table left by the last run (a shared Table), or null
    Ref params;   // a dict of condition parameters, or null; never changed once set

    int traverse(visitproc visit, void* arg) const;
    void clear() noexcept;
};

} // namespace voralix
