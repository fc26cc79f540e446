#include "graph/graph_access.hpp"

#include "binding/values.hpp"
#include "errors/discard.hpp"
#include "graph/node_classes.hpp"

#include <algorithm>

namespace voralix {

namespace {

// One step of a scan: the next value of `walk`, read by `read` into `out`.
template <class R>
bool scan_step(DictWalk& walk, InterruptCheck& interrupt, bool& failed, R& out,
               bool (*read)(PyObject*, R&) noexcept) noexcept
{
    PyObject *key, *value;
    if (!interrupt.tick()) {
        failed = true;
        return false;
    }
    if (!walk.next(key, value)) {
        failed = walk.failed();
        return false;
    }
    if (!read(value, out)) {
        failed = true;
        return false;
    }
    return true;
}

} // namespace

bool NodeScan::next(NodeRecord& out) noexcept
{
    return scan_step(walk_, interrupt_, failed_, out, &read_node);
}

bool EdgeScan::next(EdgeRecord& out) noexcept
{
    return scan_step(walk_, interrupt_, failed_, out, &read_edge);
}

Result<std::unique_ptr<AdjacencyIndex>> AdjacencyIndex::build(const GraphRecord& g)
{
    std::unique_ptr<AdjacencyIndex> index(new AdjacencyIndex(g));
    if (!g.edges) return index;
    // No Python code runs while the snapshot is taken: a plain walk suffices.
    const Py_ssize_t size = PyDict_GET_SIZE(g.edges.get());
    index->edges_.reserve(static_cast<std::size_t>(size));
    InterruptCheck interrupt;
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(g.edges.get(), &pos, &key, &value)) {
        if (!interrupt.tick()) return PythonError{};
        EdgeRecord e;
        if (!read_edge(value, e)) return PythonError{};
        const auto i = static_cast<std::uint32_t>(index->edges_.size());
        index->by_node_[e.start.type.uid_digest()].out.push_back(i);
        index->by_node_[e.end.type.uid_digest()].in.push_back(i);
        index->edges_.push_back(std::move(e));
    }
    return index;
}

const std::vector<std::uint32_t>& AdjacencyIndex::outgoing(const Digest& node_type) const noexcept
{
    static const std::vector<std::uint32_t> none;
    auto it = by_node_.find(node_type);
    return it == by_node_.end() ? none : it->second.out;
}

const std::vector<std::uint32_t>& AdjacencyIndex::incoming(const Digest& node_type) const noexcept
{
    static const std::vector<std::uint32_t> none;
    auto it = by_node_.find(node_type);
    return it == by_node_.end() ? none : it->second.in;
}

Result<Ref> lookup_property(const Ref& properties, PyObject* key)
{
    if (!properties) return Ref();
    PyObject* found = nullptr;
    if (PyDict_GetItemRef(properties.get(), key, &found) < 0) {
        if (!discard_exception()) return PythonError{};
        return Ref();
    }
    return Ref::steal(found);
}

Status update_properties(const Ref& target, const Ref& source)
{
    if (!target || !source) return ok_status();
    DictWalk walk(source);
    InterruptCheck interrupt;
    PyObject *key, *value;
    while (walk.next(key, value)) {
        if (!interrupt.tick() || PyDict_SetItem(target.get(), key, value) < 0) {
            return PythonError{};
        }
    }
    if (walk.failed()) return PythonError{};
    return ok_status();
}

namespace {

Status store(const Ref& dict, const Digest& uid, PyObject* object)
{
    Ref owned = Ref::steal(object);
    if (!owned) return PythonError{};
    Ref key = Ref::steal(binding::digest_to_python(uid));
    if (!key) return PythonError{};
    if (!dict) {
        PyErr_SetString(PyExc_RuntimeError, "the graph was cleared");
        return PythonError{};
    }
    if (PyDict_SetItem(dict.get(), key.get(), owned.get()) < 0) return PythonError{};
    return ok_status();
}

Status remove(const Ref& dict, const Digest& uid)
{
    if (!dict) return ok_status();
    Ref key = Ref::steal(binding::digest_to_python(uid));
    if (!key) return PythonError{};
    if (PyDict_DelItem(dict.get(), key.get()) < 0 && !discard_exception()) return PythonError{};
    return ok_status();
}

} // namespace

Status store_node(const GraphRecord& g, const NodeRecord& n)
{
    return store(g.nodes, node_uid(n), node_to_python(n));
}

Status store_edge(const GraphRecord& g, const EdgeRecord& e)
{
    return store(g.edges, edge_uid(e), edge_to_python(e));
}

Status remove_node(const GraphRecord& g, const NodeRecord& n)
{
    return remove(g.nodes, node_uid(n));
}

Status remove_edge(const GraphRecord& g, const EdgeRecord& e)
{
    return remove(g.edges, edge_uid(e));
}

Status detach_edges(const GraphRecord& g, std::vector<Digest> deleted_types)
{
    if (deleted_types.empty() || !g.edges) return ok_status();
    std::sort(deleted_types.begin(), deleted_types.end());
    auto deleted = [&](const NodeRecord& n) {
        return std::binary_search(deleted_types.begin(), deleted_types.end(), n.type.uid_digest());
    };
    // Collect first, remove after: no Python code runs during the walk, while
    // a removal may run a key's __eq__.
    std::vector<Ref> doomed;
    InterruptCheck interrupt;
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(g.edges.get(), &pos, &key, &value)) {
        if (!interrupt.tick()) return PythonError{};
        if (!Py_IS_TYPE(value, edge_type())) continue; // not an edge: nothing it touches
        EdgeRecord e;
        if (!read_edge(value, e)) {
            if (!discard_exception()) return PythonError{};
            continue;
        }
        if (deleted(e.start) || deleted(e.end)) doomed.push_back(Ref::borrow(key));
    }
    for (const Ref& k : doomed) {
        if (!interrupt.tick()) return PythonError{};
        if (PyDict_DelItem(g.edges.get(), k.get()) < 0 && !discard_exception()) {
            return PythonError{};
        }
    }
    return ok_status();
}

} // namespace voralix
