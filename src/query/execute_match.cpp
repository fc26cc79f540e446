// Node and path matches: scan the graph, collect copies of the matching
// records, and bind them only once the scan has succeeded.
#include "graph/dict_walk.hpp"
#include "query/execute.hpp"

#include "graph/node_classes.hpp"

namespace voralix {

namespace {

void bind(QueryRecord& q, const std::optional<std::string>& variable, BindingList&& list)
{
    if (variable) q.matched_vars.insert_or_assign(*variable, std::move(list));
}

} // namespace

Result<BindingList> find_nodes(const QueryRecord& q, const NodePattern& p, bool first_only)
{
    BindingList found;
    // Tests one candidate; true when the scan should stop.
    auto test = [&](NodeRecord& n) -> Result<bool> {
        Result<bool> ok = node_pattern_matches(p, n);
        if (!ok) return std::move(ok).error();
        if (*ok) found.emplace_back(std::move(n));
        return *ok && first_only;
    };
    if (p.type_obj) {
        // Only nodes of that type can pass: look them up by type uid.
        Result<std::vector<NodeRecord>> candidates =
            get_nodes_by_type(q.graph, p.type_obj.uid_digest());
        if (!candidates) return std::move(candidates).error();
        for (NodeRecord& n : *candidates) {
            Result<bool> stop = test(n);
            if (!stop) return std::move(stop).error();
            if (*stop) break;
        }
        return found;
    }
    DictWalk walk(q.graph.nodes);
    PyObject *key, *value;
    while (walk.next(key, value)) {
        NodeRecord n;
        if (!read_node(value, n)) return PythonError{};
        Result<bool> stop = test(n);
        if (!stop) return std::move(stop).error();
        if (*stop) return found;
    }
    if (walk.failed()) return PythonError{};
    return found;
}

namespace {

Status match_node(QueryRecord& q, const NodePattern& p)
{
    Result<BindingList> found = find_nodes(q, p, false);
    if (!found) return std::move(found).error();
    bind(q, p.variable, std::move(*found));
    return ok_status();
}

// A path of two node patterns joined by one edge pattern: every edge whose
// term type, start node and end node pass, as three lists aligned by index.
Status match_one_edge(QueryRecord& q, const NodePattern& from, const EdgePattern& edge,
                      const NodePattern& to)
{
    BindingList starts, edges, ends;
    DictWalk walk(q.graph.edges);
    PyObject *key, *value;
    while (walk.next(key, value)) {
        EdgeRecord e;
        if (!read_edge(value, e)) return PythonError{};
        if (edge.term_type_schema && !edge.term_type_schema->matches(e.term.type())) continue;
        Result<bool> ok = node_pattern_matches(from, e.start);
        if (!ok) return std::move(ok).error();
        if (!*ok) continue;
        ok = node_pattern_matches(to, e.end);
        if (!ok) return std::move(ok).error();
        if (!*ok) continue;
        starts.emplace_back(e.start);
        ends.emplace_back(e.end);
        edges.emplace_back(std::move(e));
    }
    if (walk.failed()) return PythonError{};
    // Stored in path order: where two positions share a name, the later wins.
    bind(q, from.variable, std::move(starts));
    bind(q, edge.variable, std::move(edges));
    bind(q, to.variable, std::move(ends));
    return ok_status();
}

} // namespace

Status execute_match(QueryRecord& q, const MatchOp& op)
{
    if (const auto* m = std::get_if<MatchNode>(&op)) return match_node(q, m->pattern);
    if (const auto* m = std::get_if<MatchPath>(&op)) {
        const PathPattern& path = m->pattern;
        if (path.nodes.size() == 1 && path.edges.empty()) return match_node(q, path.nodes[0]);
        if (path.nodes.size() == 2 && path.edges.size() == 1) {
            return match_one_edge(q, path.nodes[0], path.edges[0], path.nodes[1]);
        }
    }
    // Edge matches and longer paths bind nothing.
    return ok_status();
}

} // namespace voralix
