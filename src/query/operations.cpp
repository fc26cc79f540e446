#include "query/operations.hpp"

namespace voralix {

namespace {

struct Traverser {
    visitproc visit;
    void* arg;

    int operator()(const MatchNode& m) const { return m.pattern.traverse(visit, arg); }
    int operator()(const MatchEdge& m) const { return m.pattern.traverse(visit, arg); }
    int operator()(const MatchPath& m) const { return m.pattern.traverse(visit, arg); }
    int operator()(const CreateNode& c) const { return c.pattern.traverse(visit, arg); }
    int operator()(const CreateEdge& c) const { return c.pattern.traverse(visit, arg); }
    int operator()(const CreatePath& c) const { return c.pattern.traverse(visit, arg); }
    int operator()(const MergeNode& m) const { return m.pattern.traverse(visit, arg); }
    int operator()(const MergeEdge& m) const { return m.pattern.traverse(visit, arg); }
    int operator()(const op::Match& m) const { return std::visit(*this, m.op); }
    int operator()(const op::Create& c) const { return std::visit(*this, c.op); }
    int operator()(const op::Merge& m) const { return std::visit(*this, m.op); }
    int operator()(const op::Set& s) const { return s.properties.visit(visit, arg); }
    int operator()(const NodeRecord& n) const { return n.traverse(visit, arg); }
    int operator()(const EdgeRecord& e) const { return e.traverse(visit, arg); }
    template <class Other>
    int operator()(const Other&) const
    {
        return 0;
    }
};

} // namespace

int QueryRecord::traverse(visitproc visit, void* arg) const
{
    if (int r = graph.traverse(visit, arg)) return r;
    Traverser t{visit, arg};
    for (const QueryOperation& o : operations) {
        if (int r = std::visit(t, o)) return r;
    }
    for (const auto& [name, list] : matched_vars) {
        for (const QueryResult& value : list) {
            if (int r = std::visit(t, value)) return r;
        }
    }
    return 0;
}

void QueryRecord::clear() noexcept
{
    // Move everything out first so that releasing references (which may run
    // arbitrary finalizers) never sees a half-cleared record.
    GraphRecord g = std::move(graph);
    graph = GraphRecord{};
    Bindings b = std::move(matched_vars);
    matched_vars.clear();
    std::vector<QueryOperation> ops = std::move(operations);
    operations.clear();
}

} // namespace voralix
