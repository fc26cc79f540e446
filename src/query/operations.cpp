#include "query/operations.hpp"

namespace voralix {

namespace {

struct Traverser {
    visitproc visit;
    void* arg;

    template <class P>
        requires requires(const P& p) { p.pattern; }
    int operator()(const P& p) const
    {
        return p.pattern.traverse(visit, arg);
    }
    int operator()(const op::Match& m) const { return std::visit(*this, m.op); }
    int operator()(const op::Create& c) const { return std::visit(*this, c.op); }
    int operator()(const op::Merge& m) const { return std::visit(*this, m.op); }
    int operator()(const op::Set& s) const { return s.properties.visit(visit, arg); }
    template <class Other>
    int operator()(const Other&) const
    {
        return 0;
    }
};

} // namespace

int QueueEntry::traverse(visitproc visit, void* arg) const
{
    if (int r = previous.visit(visit, arg)) return r;
    return std::visit(Traverser{visit, arg}, operation);
}

void QueueEntry::clear() noexcept
{
    // Releasing references may run arbitrary finalizers: detach them first.
    Ref before = std::move(previous);
    QueryOperation gone = std::move(operation);
    operation = op::Limit{};
}

int QueryRecord::traverse(visitproc visit, void* arg) const
{
    if (int r = graph.traverse(visit, arg)) return r;
    if (int r = last.visit(visit, arg)) return r;
    if (int r = bindings.visit(visit, arg)) return r;
    return params.visit(visit, arg);
}

void QueryRecord::clear() noexcept
{
    GraphRecord g = std::move(graph);
    graph = GraphRecord{};
    Ref a = std::move(last), b = std::move(bindings), c = std::move(params);
}

} // namespace voralix
