// Path matching: the node scan, the first hop read from the edge dict, and the
// expansion of further hops (fixed or variable-length) through the adjacency
// index.
#include "query/operators.hpp"

#include <limits>

namespace voralix {

Status pull(Operator& op, RunContext& ctx, Rows& out)
{
    out.clear();
    // Each operator pulls from the one before it: a very long chain raises
    // RecursionError instead of overflowing the C stack.
    if (ctx.depth >= RunContext::kMaxDepth) {
        PyErr_SetString(PyExc_RecursionError,
                        "maximum query depth exceeded (a path of more than 1000 hops?)");
        return PythonError{};
    }
    if (Py_EnterRecursiveCall(" while running a query")) return PythonError{};
    ++ctx.depth;
    Status s = std::visit([&](auto& o) { return o.next(ctx, out); }, op.op);
    --ctx.depth;
    Py_LeaveRecursiveCall();
    return s;
}

namespace {

// Moves the operators that `op` pulls from into `out`.
void take_inputs(Operator& op, std::vector<OperatorPtr>& out)
{
    std::visit(
        [&](auto& o) {
            if constexpr (requires { o.input; }) {
                if (o.input) out.push_back(std::move(o.input));
            }
            if constexpr (requires { o.paths; }) {
                if (o.paths) out.push_back(std::move(o.paths));
            }
        },
        op.op);
}

} // namespace

Operator::~Operator()
{
    std::vector<OperatorPtr> pending;
    take_inputs(*this, pending);
    while (!pending.empty()) {
        OperatorPtr next = std::move(pending.back());
        pending.pop_back();
        take_inputs(*next, pending);
        // `next` is released here with no inputs left: no nesting.
    }
}

Result<AdjacencyIndex*> RunContext::adjacency()
{
    if (!index_) {
        auto built = AdjacencyIndex::build(graph);
        if (!built) return std::move(built).error();
        index_ = std::move(*built);
    }
    return index_.get();
}

Result<Direction> direction_of(const EdgePattern& edge, const char* context)
{
    if (edge.direction == "forward") return Direction::Forward;
    if (edge.direction == "backward") return Direction::Backward;
    if (edge.direction == "any") return Direction::Any;
    return VoralixError::invalid_query("Unknown edge direction '" + edge.direction + "'", context);
}

// NodeScan

Status NodeScanOp::next(RunContext& ctx, Rows& out)
{
    out.width = 1;
    out.reserve_rows(out.want);
    if (!started) {
        started = true;
        if (pattern.type_obj) {
            // Only nodes of that type can pass: look them up by type uid.
            auto found = get_nodes_by_type(ctx.graph, pattern.type_obj.uid_digest());
            if (!found) return std::move(found).error();
            typed = std::move(*found);
        } else {
            scan = std::make_unique<NodeScan>(ctx.graph);
        }
    }
    NodeRecord n;
    while (out.count() < out.want) {
        if (scan) {
            if (!scan->next(n)) {
                if (scan->failed()) return PythonError{};
                break;
            }
        } else {
            if (typed_next == typed.size()) break;
            n = std::move(typed[typed_next++]);
        }
        if (!accepts_every_node(pattern)) {
            Result<bool> ok = node_pattern_matches(pattern, n);
            if (!ok) return std::move(ok).error();
            if (!*ok) continue;
        }
        out.add_row()[0] = std::move(n);
    }
    return ok_status();
}

// EdgeScan

Status EdgeScanOp::next(RunContext& ctx, Rows& out)
{
    out.width = 3;
    out.reserve_rows(out.want);
    if (!scan) scan = std::make_unique<EdgeScan>(ctx.graph);
    while (out.count() < out.want) {
        if (orientations_left == 0) {
            if (!scan->next(current)) {
                if (scan->failed()) return PythonError{};
                break;
            }
            if (!accepts_every_edge(edge)) {
                Result<bool> ok = edge_pattern_matches(edge, current);
                if (!ok) return std::move(ok).error();
                if (!*ok) continue;
            }
            orientations_left =
                direction == Direction::Any && !same_node_uid(current.start, current.end) ? 2 : 1;
            next_backward = direction == Direction::Backward;
        }
        // "any" takes the forward orientation first, then the backward one.
        const bool backward = next_backward;
        next_backward = true;
        --orientations_left;
        const NodeRecord& from = backward ? current.end : current.start;
        const NodeRecord& to = backward ? current.start : current.end;
        if (!accepts_every_node(left)) {
            Result<bool> ok = node_pattern_matches(left, from);
            if (!ok) return std::move(ok).error();
            if (!*ok) continue;
        }
        if (right && !accepts_every_node(*right)) {
            Result<bool> ok = node_pattern_matches(*right, to);
            if (!ok) return std::move(ok).error();
            if (!*ok) continue;
        }
        NodeRecord arrived = to;
        out.cells.emplace_back(std::in_place_type<NodeRecord>, from);
        if (orientations_left == 0) {
            out.cells.emplace_back(std::in_place_type<EdgeRecord>, std::move(current));
        } else {
            out.cells.emplace_back(std::in_place_type<EdgeRecord>, current);
        }
        out.cells.emplace_back(std::in_place_type<NodeRecord>, std::move(arrived));
    }
    return ok_status();
}

// Expand

namespace {

// Edges are told apart by uid, that is by term.
void collect_terms(const Cell& c, std::vector<Term>& out)
{
    if (const auto* e = std::get_if<EdgeRecord>(&c)) {
        out.push_back(e->term);
    } else if (const auto* l = std::get_if<EdgeList>(&c)) {
        for (const EdgeRecord& x : *l) out.push_back(x.term);
    }
}

} // namespace

Status ExpandOp::next(RunContext& ctx, Rows& out)
{
    auto index_or = ctx.adjacency();
    if (!index_or) return std::move(index_or).error();
    AdjacencyIndex& index = **index_or;
    out.width = prefix_width + 2;

    // Emits the current trail ending at `node`, if it is long enough and the
    // node passes the right pattern.
    auto emit = [&](const NodeRecord& node, std::size_t depth) -> Status {
        if (depth < min || depth > max) return ok_status();
        if (!accepts_every_node(right)) {
            Result<bool> ok = node_pattern_matches(right, node);
            if (!ok) return std::move(ok).error();
            if (!*ok) return ok_status();
        }
        // A long trail is long to copy: count it, so that Ctrl-C stays prompt.
        if (variable && !interrupt.tick(static_cast<std::uint32_t>(trail.size()))) {
            return PythonError{};
        }
        const Cell* source = in_rows.row(in_next - 1);
        out.cells.insert(out.cells.end(), source, source + prefix_width);
        if (variable) {
            out.cells.emplace_back(std::in_place_type<EdgeList>, trail.begin(), trail.end());
        } else {
            out.cells.emplace_back(std::in_place_type<EdgeRecord>, trail.front());
        }
        out.cells.emplace_back(std::in_place_type<NodeRecord>, node);
        return ok_status();
    };
    // Continues from node `id` when the trail may grow.
    auto push = [&](std::uint32_t id, std::size_t depth) {
        if (depth >= max) return false;
        stack.push_back(Frame{index.outgoing(id), index.incoming(id), depth});
        return true;
    };
    auto used = [&](const Term& t) {
        for (const Term& x : prefix_terms) {
            if (x == t) return true;
        }
        for (const EdgeRecord& x : trail) {
            if (x.term == t) return true;
        }
        return false;
    };

    while (out.count() < out.want) {
        if (stack.empty()) {
            // The next input row starts a new search.
            if (in_next == in_rows.count()) {
                if (input_done) break;
                Status s = pull(*input, ctx, in_rows);
                if (!s) return s;
                in_next = 0;
                if (in_rows.empty()) {
                    input_done = true;
                    break;
                }
                continue;
            }
            const Cell* row = in_rows.row(in_next++);
            const std::size_t width = in_rows.width;
            prefix_width = seeded ? width - 2 : width;
            out.width = prefix_width + 2;
            out.reserve_rows(out.want > out.count() ? out.want - out.count() : 0);
            prefix_terms.clear();
            for (std::size_t i = 0; i < prefix_width; ++i) collect_terms(row[i], prefix_terms);
            trail.clear();
            if (seeded) trail.push_back(std::get<EdgeRecord>(row[width - 2]));
            const NodeRecord& start = std::get<NodeRecord>(row[width - 1]);
            const std::size_t depth = trail.size();
            Status s = emit(start, depth);
            if (!s) return s;
            push(index.node_id(start), depth);
            continue;
        }
        if (!interrupt.tick() || !index.unchanged()) return PythonError{};
        Frame& f = stack.back();
        // The next candidate edge at the frame's node, in edge dict order; a
        // self-loop (in both lists) is taken once, forward.
        const bool more_out = direction != Direction::Backward && f.out.begin != f.out.end;
        const bool more_in = direction != Direction::Forward && f.in.begin != f.in.end;
        if (!more_out && !more_in) {
            // Leaving a node drops the edge that reached it (the search's
            // starting node was reached by no edge of this search).
            if (stack.size() > 1) trail.resize(f.depth - 1);
            stack.pop_back();
            continue;
        }
        const bool forward = more_out && (!more_in || *f.out.begin <= *f.in.begin);
        const std::uint32_t i = forward ? *f.out.begin : *f.in.begin;
        if (forward) ++f.out.begin;
        if (more_in && *f.in.begin == i) ++f.in.begin;
        if (used(index.term(i))) continue;
        EdgeRecord e;
        if (!index.read(i, e)) return PythonError{};
        if (!accepts_every_edge(edge)) {
            Result<bool> ok = edge_pattern_matches(edge, e);
            if (!ok) return std::move(ok).error();
            if (!*ok) continue;
        }
        const std::uint32_t reached_id = forward ? index.end_of(i) : index.start_of(i);
        const std::size_t depth = f.depth + 1; // `f` may move when the stack grows
        trail.push_back(std::move(e));
        const EdgeRecord& last = trail.back();
        Status s = emit(forward ? last.end : last.start, depth);
        if (!s) return s;
        if (!push(reached_id, depth)) trail.pop_back();
    }
    return ok_status();
}

OperatorPtr path_operators(const PathPattern& path, const std::vector<Direction>& directions)
{
    const NodePattern& first = path.nodes.front();
    if (path.edges.empty()) return make_operator(NodeScanOp{first});
    OperatorPtr op;
    for (std::size_t k = 0; k < path.edges.size(); ++k) {
        const EdgePattern& e = path.edges[k];
        const NodePattern& right = path.nodes[k + 1];
        const Direction dir = directions[k];
        if (!e.hops) {
            if (k == 0) {
                op = make_operator(EdgeScanOp{first, e, dir, right});
                continue;
            }
            ExpandOp x{std::move(op), e, dir, right};
            op = make_operator(std::move(x));
            continue;
        }
        const std::uint64_t min = e.hops->min;
        const std::uint64_t max = e.hops->max.value_or(std::numeric_limits<std::uint64_t>::max());
        bool seeded = false;
        if (k == 0) {
            if (min == 0) {
                op = make_operator(NodeScanOp{first});
            } else {
                // Trails of a first hop start with the edges in edge dict order.
                op = make_operator(EdgeScanOp{first, e, dir, std::nullopt});
                seeded = true;
            }
        }
        ExpandOp x{std::move(op), e, dir, right, true, seeded, min, max};
        op = make_operator(std::move(x));
    }
    return op;
}

} // namespace voralix
