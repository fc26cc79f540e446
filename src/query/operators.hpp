// The plan's operators. Each one pulls batches of rows from its input and
// hands out batches of its own (the Volcano model over row batches): a Slice
// that has its rows stops pulling, so upstream scans and expansions stop too.
// Operators are the alternatives of one variant and are pulled through
// std::visit, so an operator without a `next` does not compile.
//
// Path rows (from NodeScan, EdgeScan and Expand) hold one cell per position
// of a path pattern: node 0, edge 0, node 1, ... Table rows (from Source,
// Bind and the row operators) hold one cell per column of the binding table.
#pragma once

#include "graph/graph_access.hpp"
#include "patterns/path_pattern.hpp"
#include "query/condition/condition.hpp"
#include "query/table.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace voralix {

enum class Direction : std::uint8_t { Forward, Backward, Any };

// What every operator of one run shares.
struct RunContext {
    explicit RunContext(GraphRecord g) noexcept : graph(std::move(g)) {}
    GraphRecord graph;
    // Built at the first expansion of a run; dropped after every write.
    Result<AdjacencyIndex*> adjacency();
    void graph_changed() noexcept { index_.reset(); }

    // Operators pull from one another recursively: a chain deeper than this
    // (a path of that many hops) raises RecursionError rather than risk the
    // C stack. The plan keeps chains of row operations shorter by completing
    // a step now and then.
    static constexpr int kMaxDepth = 1000;
    int depth = 0;

private:
    std::unique_ptr<AdjacencyIndex> index_;
};

struct Operator;
using OperatorPtr = std::unique_ptr<Operator>;

// Pulls the next batch into `out` (cleared first, width set by the operator):
// at least one row and at most about out.want, or none at the end.
Status pull(Operator& op, RunContext& ctx, Rows& out);

// The nodes that pass `pattern` (width 1): with a specific type only the
// nodes of that type, else the node dict in order.
struct NodeScanOp {
    NodePattern pattern;
    bool started = false;
    std::vector<NodeRecord> typed; // nodes of the pattern's type, when it has one
    std::size_t typed_next = 0;
    std::unique_ptr<NodeScan> scan;

    Status next(RunContext& ctx, Rows& out);
};

// The first hop of a path (width 3: left node, edge, right node), edges in
// the edge dict's order; an "any" hop gives an edge's forward orientation
// before its backward one, a self-loop once. Without a right pattern the
// right node is not tested (a variable-length hop tests its end later).
struct EdgeScanOp {
    NodePattern left;
    EdgePattern edge;
    Direction direction = Direction::Forward;
    std::optional<NodePattern> right;
    std::unique_ptr<EdgeScan> scan;
    EdgeRecord current;
    int orientations_left = 0; // of `current` still to try: 2, 1 or 0
    bool next_backward = false;

    Status next(RunContext& ctx, Rows& out);
};

// One more hop from the last node of each input path row, through the
// adjacency index. A fixed hop adds (edge, node); a variable-length hop adds
// (list of edges, node) for every trail of min..max edges, depth first, a
// trail before its extensions. `seeded`: the input's last two cells already
// hold the first edge of the trail and the node it reached (a first hop read
// from the edge dict). No edge appears twice in one path instance.
struct ExpandOp {
    OperatorPtr input;
    EdgePattern edge;
    Direction direction = Direction::Forward;
    NodePattern right;
    bool variable = false;
    bool seeded = false;
    std::uint64_t min = 1, max = 1;

    struct Frame {
        AdjacencyIndex::Span out, in; // candidate edges not yet tried
        std::size_t depth = 0;
    };
    Rows in_rows;
    std::size_t in_next = 0;
    bool input_done = false;
    std::size_t prefix_width = 0;   // cells of the input row kept in front
    std::vector<Term> prefix_terms; // terms of the edges before this hop
    std::vector<Frame> stack;
    std::vector<EdgeRecord> trail;
    InterruptCheck interrupt;

    Status next(RunContext& ctx, Rows& out);
};

// The stored binding table, copied out row by row.
struct SourceOp {
    Ref table; // a shared Table, or null for none
    std::size_t next_block = 0, next_row = 0;

    Status next(RunContext& ctx, Rows& out);
};

// A match: row i of the output is row i of the input with the match's
// columns replaced by the cells of path row i (emptied once the paths run
// out); the table grows when there are more paths than rows.
struct BindOp {
    OperatorPtr input;
    OperatorPtr paths;
    std::size_t in_width = 0, out_width = 0;
    std::vector<std::pair<std::size_t, std::size_t>> mapping; // path position -> column
    bool identity = false; // every path position maps to the column of its index
    Rows in_rows, path_rows;
    std::size_t in_next = 0, path_next = 0;
    bool input_done = false, paths_done = false;

    Status next(RunContext& ctx, Rows& out);
};

// where(condition): the rows for which the condition is true.
struct FilterOp {
    OperatorPtr input;
    condition::Bound condition;
    InterruptCheck interrupt;
    Rows in_rows;

    Status next(RunContext& ctx, Rows& out);
};

// order_by(...): a stable sort of all input rows by property values.
struct SortOp {
    OperatorPtr input;
    struct Key {
        std::size_t column;
        Ref property; // the key, as an exact str
        bool ascending;
    };
    std::vector<Key> keys;
    bool sorted = false;
    Rows rows;
    std::vector<std::uint32_t> order;
    std::size_t next_row = 0;

    Status next(RunContext& ctx, Rows& out);
};

// skip(n) and limit(n).
struct SliceOp {
    OperatorPtr input;
    std::uint64_t skip = 0;
    std::optional<std::uint64_t> limit;
    Rows in_rows;

    Status next(RunContext& ctx, Rows& out);
};

// with_(...): only the kept columns; rows left empty disappear.
struct ProjectOp {
    OperatorPtr input;
    std::vector<std::size_t> keep; // input column of each output column
    Rows in_rows;

    Status next(RunContext& ctx, Rows& out);
};

struct Operator {
    std::variant<NodeScanOp, EdgeScanOp, ExpandOp, SourceOp, BindOp, FilterOp, SortOp, SliceOp,
                 ProjectOp>
        op;

    // A queue of many operations, or a path of many hops, makes a long chain:
    // it is released one operator at a time, never by nested destructors.
    ~Operator();
};

template <class Op>
OperatorPtr make_operator(Op&& op)
{
    return OperatorPtr(new Operator{std::move(op)});
}

// The operators that produce the path rows of a path pattern (nodes and
// edges alternating, checked by the caller).
OperatorPtr path_operators(const PathPattern& path, const std::vector<Direction>& directions);

Result<Direction> direction_of(const EdgePattern& edge, const char* context);

} // namespace voralix
