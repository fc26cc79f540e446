// Path matching: the node scan, the first hop read from the edge dict, and the
// expansion of further hops (fixed or variable-length) through the adjacency
// index.
#include "query/operators.hpp"

#include <limits>

namespace voralix {

Status pull(Operator& op, RunContext& ctx, Rows& out)
{
    out.clear();
    return std::visit([&](auto& o) { return o.next(ctx, out); }, op.op);
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
    while (out.count() < kBatchRows) {
        if (scan) {
            if (!scan->next(n)) {
                if (scan->failed()) return PythonError{};
                break;
            }
        } else {
            if (typed_next == typed.size()) break;
            n = std::move(typed[typed_next++]);
        }
        Result<bool> ok = node_pattern_matches(pattern, n);
        if (!ok) return std::move(ok).error();
        if (*ok) out.add_row()[0] = std::move(n);
    }
    return ok_status();
}

// EdgeScan

Status EdgeScanOp::next(RunContext& ctx, Rows& out)
{
    out.width = 3;
    if (!scan) scan = std::make_unique<EdgeScan>(ctx.graph);
    while (out.count() < kBatchRows) {
        if (orientations_left == 0) {
            if (!scan->next(current)) {
                if (scan->failed()) return PythonError{};
                break;
            }
            Result<bool> ok = edge_pattern_matches(edge, current);
            if (!ok) return std::move(ok).error();
            if (!*ok) continue;
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
        Result<bool> ok = node_pattern_matches(left, from);
        if (!ok) return std::move(ok).error();
        if (!*ok) continue;
        if (right) {
            ok = node_pattern_matches(*right, to);
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

void collect_edge_ids(const Cell& c, std::vector<Digest>& out)
{
    if (const auto* e = std::get_if<EdgeRecord>(&c)) {
        out.push_back(e->term.uid_digest());
    } else if (const auto* l = std::get_if<EdgeList>(&c)) {
        for (const EdgeRecord& x : *l) out.push_back(x.term.uid_digest());
    }
}

bool contains(const std::vector<Digest>& ids, const Digest& d) noexcept
{
    for (const Digest& x : ids) {
        if (x == d) return true;
    }
    return false;
}

} // namespace

Status ExpandOp::next(RunContext& ctx, Rows& out)
{
    auto index_or = ctx.adjacency();
    if (!index_or) return std::move(index_or).error();
    AdjacencyIndex& index = **index_or;
    const std::vector<EdgeRecord>& edges = index.edges();
    out.width = prefix_width + 2;

    // Emits the current trail ending at `node`, if it is long enough and the
    // node passes the right pattern.
    auto emit = [&](const NodeRecord& node, std::size_t depth) -> Status {
        if (depth < min || depth > max) return ok_status();
        Result<bool> ok = node_pattern_matches(right, node);
        if (!ok) return std::move(ok).error();
        if (!*ok) return ok_status();
        Cell* row = out.add_row();
        const Cell* source = in_rows.row(in_next - 1);
        std::copy(source, source + prefix_width, row);
        if (variable) {
            row[prefix_width] = EdgeList(trail.begin(), trail.end());
        } else {
            row[prefix_width] = trail.front();
        }
        row[prefix_width + 1] = node;
        return ok_status();
    };
    // Continues from `node` when the trail may grow.
    auto push = [&](const NodeRecord& node, std::size_t depth) {
        if (depth >= max) return false;
        const Digest& d = node.type.uid_digest();
        stack.push_back(Frame{node, &index.outgoing(d), &index.incoming(d), 0, 0, depth});
        return true;
    };

    while (out.count() < kBatchRows) {
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
            prefix_edges.clear();
            for (std::size_t i = 0; i < prefix_width; ++i) collect_edge_ids(row[i], prefix_edges);
            trail.clear();
            if (seeded) trail.push_back(std::get<EdgeRecord>(row[width - 2]));
            const NodeRecord& start = std::get<NodeRecord>(row[width - 1]);
            const std::size_t depth = trail.size();
            Status s = emit(start, depth);
            if (!s) return s;
            push(start, depth);
            continue;
        }
        if (!interrupt.tick() || !index.unchanged()) return PythonError{};
        Frame& f = stack.back();
        // The next candidate edge at the frame's node, in edge dict order.
        const std::size_t none = std::numeric_limits<std::size_t>::max();
        const std::size_t a = direction != Direction::Backward && f.out_pos < f.out->size()
                                  ? (*f.out)[f.out_pos]
                                  : none;
        const std::size_t b = direction != Direction::Forward && f.in_pos < f.in->size()
                                  ? (*f.in)[f.in_pos]
                                  : none;
        if (a == none && b == none) {
            // Leaving a node drops the edge that reached it (the search's
            // starting node was reached by no edge of this search).
            if (stack.size() > 1) trail.resize(f.depth - 1);
            stack.pop_back();
            continue;
        }
        const bool forward = a <= b; // a self-loop (a == b) is taken once, forward
        const std::size_t i = forward ? a : b;
        if (forward) ++f.out_pos;
        if (!forward || a == b) ++f.in_pos;
        const EdgeRecord& e = edges[i];
        const Digest& id = e.term.uid_digest();
        bool used = contains(prefix_edges, id);
        for (std::size_t k = 0; !used && k < trail.size(); ++k) {
            used = trail[k].term.uid_digest() == id;
        }
        if (used) continue;
        Result<bool> ok = edge_pattern_matches(edge, e);
        if (!ok) return std::move(ok).error();
        if (!*ok) continue;
        const NodeRecord reached = forward ? e.end : e.start;
        const std::size_t depth = f.depth + 1; // `f` may move when the stack grows
        trail.push_back(e);
        Status s = emit(reached, depth);
        if (!s) return s;
        if (!push(reached, depth)) trail.pop_back();
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
