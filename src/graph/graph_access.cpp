#include "graph/graph_access.hpp"

#include "binding/convert.hpp"
#include "binding/pyclass.hpp"
#include "binding/values.hpp"
#include "errors/discard.hpp"
#include "graph/node_classes.hpp"

#include <algorithm>

namespace voralix {

namespace {

// One step of a scan: the next value of `walk`, read by `read` into `out`.
// (The walk checks for signals at every step.)
template <class R>
bool scan_step(DictWalk& walk, bool& failed, R& out, bool (*read)(PyObject*, R&) noexcept) noexcept
{
    PyObject *key, *value;
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
    return scan_step(walk_, failed_, out, &read_node);
}

bool EdgeScan::next(EdgeRecord& out) noexcept
{
    return scan_step(walk_, failed_, out, &read_edge);
}

void AdjacencyIndex::IdMap::reserve(std::size_t n)
{
    std::size_t capacity = 16;
    while (capacity < 2 * n) capacity *= 2;
    keys.assign(capacity, Digest{});
    ids.assign(capacity, kNoNode);
}

// The slot of `k`: its id, or a free slot (kNoNode) where it belongs.
std::uint32_t* AdjacencyIndex::IdMap::find(const Digest& k) noexcept
{
    const std::size_t mask = keys.size() - 1;
    for (std::size_t i = DigestHash{}(k) & mask;; i = (i + 1) & mask) {
        if (ids[i] == kNoNode || keys[i] == k) return &ids[i];
    }
}

namespace {

// Distinct stamps for the indexes of a process (never 0, the unstamped value).
std::uint64_t next_stamp() noexcept
{
    static std::uint64_t last = 0;
    return ++last;
}

} // namespace

std::uint32_t AdjacencyIndex::intern(const NodeRecord& n)
{
    const TypeNode* t = n.type.node();
    if (t->index_stamp == stamp_) return t->index_id;
    const Digest& uid = n.type.uid_digest();
    std::uint32_t* id = by_uid_.find(uid);
    if (*id == kNoNode) {
        *id = static_cast<std::uint32_t>(by_uid_.used++);
        by_uid_.keys[static_cast<std::size_t>(id - by_uid_.ids.data())] = uid;
    }
    t->index_stamp = stamp_;
    t->index_id = *id;
    return *id;
}

std::uint32_t AdjacencyIndex::node_id(const NodeRecord& n) const
{
    const TypeNode* t = n.type.node();
    if (t->index_stamp == stamp_) return t->index_id;
    return *const_cast<IdMap&>(by_uid_).find(n.type.uid_digest());
}

namespace {

// Counting sort of edge indexes by node number: each node's edges stay in
// edge dict order.
void group_by_node(const std::vector<std::uint32_t>& ends, std::size_t side, std::size_t nodes,
                   std::vector<std::uint32_t>& offsets, std::vector<std::uint32_t>& grouped)
{
    const std::size_t n = ends.size() / 2;
    offsets.assign(nodes + 1, 0);
    for (std::size_t i = 0; i < n; ++i) ++offsets[ends[2 * i + side] + 1];
    for (std::size_t k = 0; k < nodes; ++k) offsets[k + 1] += offsets[k];
    grouped.resize(n);
    std::vector<std::uint32_t> fill(offsets.begin(), offsets.end() - 1);
    for (std::size_t i = 0; i < n; ++i) {
        grouped[fill[ends[2 * i + side]]++] = static_cast<std::uint32_t>(i);
    }
}

} // namespace

Result<std::unique_ptr<AdjacencyIndex>> AdjacencyIndex::build(const GraphRecord& g)
{
    std::unique_ptr<AdjacencyIndex> index(new AdjacencyIndex(g));
    if (!g.edges) return index;
    // No Python code runs while the snapshot is taken: a plain walk suffices.
    const auto size = static_cast<std::size_t>(PyDict_GET_SIZE(g.edges.get()));
    if (size >= kNoNode / 2) {
        PyErr_SetString(PyExc_OverflowError, "too many edges to index");
        return PythonError{};
    }
    index->edges_.reserve(size);
    index->ends_.reserve(2 * size);
    index->by_uid_.reserve(2 * size);
    index->stamp_ = next_stamp();
    InterruptCheck interrupt;
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(g.edges.get(), &pos, &key, &value)) {
        // A signal handler is Python code: after it, the dict may have changed.
        if (!interrupt.tick() || !index->guard_.unchanged()) return PythonError{};
        if (!binding::check_instance(value, edge_type(), nullptr)) return PythonError{};
        const EdgeRecord& e = binding::as_object<EdgeRecord>(value)->value;
        index->ends_.push_back(index->intern(e.start));
        index->ends_.push_back(index->intern(e.end));
        index->edges_.push_back(Ref::borrow(value));
    }
    const std::size_t nodes = index->by_uid_.used;
    group_by_node(index->ends_, 0, nodes, index->out_offsets_, index->out_edges_);
    group_by_node(index->ends_, 1, nodes, index->in_offsets_, index->in_edges_);
    return index;
}

AdjacencyIndex::Span AdjacencyIndex::outgoing(std::uint32_t id) const noexcept
{
    if (id == kNoNode) return {nullptr, nullptr};
    return {out_edges_.data() + out_offsets_[id], out_edges_.data() + out_offsets_[id + 1]};
}

AdjacencyIndex::Span AdjacencyIndex::incoming(std::uint32_t id) const noexcept
{
    if (id == kNoNode) return {nullptr, nullptr};
    return {in_edges_.data() + in_offsets_[id], in_edges_.data() + in_offsets_[id + 1]};
}

const Term& AdjacencyIndex::term(std::uint32_t i) const noexcept
{
    // The term of an Edge object never changes (only its property dict does).
    return binding::as_object<EdgeRecord>(edges_[i].get())->value.term;
}

bool AdjacencyIndex::read(std::uint32_t i, EdgeRecord& out) const noexcept
{
    return read_edge(edges_[i].get(), out);
}

bool is_node_object(PyObject* o) noexcept
{
    return Py_IS_TYPE(o, node_type());
}

bool is_edge_object(PyObject* o) noexcept
{
    return Py_IS_TYPE(o, edge_type());
}

PyObject* new_node_object(const NodeRecord& n) noexcept
{
    return node_to_python(n);
}

PyObject* new_edge_object(const EdgeRecord& e) noexcept
{
    return edge_to_python(e);
}

bool read_node_object(PyObject* o, NodeRecord& out) noexcept
{
    return read_node(o, out);
}

bool read_edge_object(PyObject* o, EdgeRecord& out) noexcept
{
    return read_edge(o, out);
}

bool lookup_property(PyObject* properties, PyObject* key, Ref& out) noexcept
{
    out.reset();
    if (properties == nullptr) return true;
    PyObject* found = nullptr;
    const int r = PyDict_GetItemRef(properties, key, &found);
    if (r < 0) return discard_exception();
    if (r > 0) out = Ref::steal(found);
    return true;
}

Result<Ref> lookup_property(const Ref& properties, PyObject* key)
{
    Ref out;
    if (!lookup_property(properties.get(), key, out)) return PythonError{};
    return out;
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
    // Collect first, remove after: a removal may run a key's __eq__.
    std::vector<Ref> doomed;
    InterruptCheck interrupt;
    DictWalk walk(g.edges);
    PyObject *key, *value;
    while (walk.next(key, value)) {
        if (!Py_IS_TYPE(value, edge_type())) continue; // not an edge: nothing it touches
        EdgeRecord e;
        if (!read_edge(value, e)) {
            if (!discard_exception()) return PythonError{};
            continue;
        }
        if (deleted(e.start) || deleted(e.end)) doomed.push_back(Ref::borrow(key));
    }
    if (walk.failed()) return PythonError{};
    for (const Ref& k : doomed) {
        if (!interrupt.tick()) return PythonError{};
        if (PyDict_DelItem(g.edges.get(), k.get()) < 0 && !discard_exception()) {
            return PythonError{};
        }
    }
    return ok_status();
}

} // namespace voralix
