// The pipeline: runs the queue in order, and carries out set and delete.
#include "graph/dict_walk.hpp"
#include "query/execute.hpp"

#include "binding/values.hpp"
#include "graph/node_classes.hpp"

#include <algorithm>

namespace voralix {

Status execute_set(QueryRecord& q, const op::Set& s)
{
    auto it = q.matched_vars.find(s.variable);
    if (it == q.matched_vars.end() || !s.properties) return ok_status();
    // Storing an item may run Python code (a key's __eq__) that changes the
    // bindings' owner or the dicts: work on copies of the bound node records.
    std::vector<NodeRecord> targets;
    for (const QueryResult& value : it->second) {
        if (const auto* n = std::get_if<NodeRecord>(&value); n != nullptr && n->properties) {
            targets.push_back(*n);
        }
    }
    for (const NodeRecord& n : targets) {
        DictWalk walk(s.properties);
        PyObject *key, *value;
        while (walk.next(key, value)) {
            if (PyDict_SetItem(n.properties.get(), key, value) < 0) return PythonError{};
        }
        if (walk.failed()) return PythonError{};
    }
    return ok_status();
}

namespace {

// Removes `uid` from `dict`; a key that is already gone is no failure.
void remove_key(const Ref& dict, const Digest& uid)
{
    if (!dict) return;
    Ref key = Ref::steal(binding::digest_to_python(uid));
    if (!key || PyDict_DelItem(dict.get(), key.get()) < 0) PyErr_Clear();
}

// Removes every edge whose start or end node has the type of a deleted node
// (node uids are equal exactly when type uids are).
void detach_edges(QueryRecord& q, std::vector<Digest>& deleted_types)
{
    if (deleted_types.empty() || !q.graph.edges) return;
    std::sort(deleted_types.begin(), deleted_types.end());
    auto deleted = [&](const NodeRecord& n) {
        return std::binary_search(deleted_types.begin(), deleted_types.end(), n.type.uid_digest());
    };
    // Collect first, remove after: no Python code runs during the walk.
    std::vector<Ref> doomed;
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(q.graph.edges.get(), &pos, &key, &value)) {
        if (!Py_IS_TYPE(value, edge_type())) continue;
        EdgeRecord e;
        if (!read_edge(value, e)) {
            PyErr_Clear();
            continue;
        }
        if (deleted(e.start) || deleted(e.end)) doomed.push_back(Ref::borrow(key));
    }
    for (const Ref& key : doomed) {
        if (PyDict_DelItem(q.graph.edges.get(), key.get()) < 0) PyErr_Clear();
    }
}

} // namespace

void execute_delete(QueryRecord& q, const op::Delete& d)
{
    std::vector<Digest> deleted_types;
    for (const std::string& name : d.variables) {
        auto it = q.matched_vars.find(name);
        if (it == q.matched_vars.end()) continue;
        for (const QueryResult& value : it->second) {
            if (const auto* n = std::get_if<NodeRecord>(&value)) {
                remove_key(q.graph.nodes, node_uid(*n));
                if (d.detach) deleted_types.push_back(n->type.uid_digest());
            } else {
                remove_key(q.graph.edges, edge_uid(std::get<EdgeRecord>(value)));
            }
        }
    }
    if (d.detach) detach_edges(q, deleted_types);
}

Status execute_operations(QueryRecord& q)
{
    // The query is held exclusively for the whole run, so the queue cannot
    // change under this loop; it is walked in place.
    for (const QueryOperation& operation : q.operations) {
        Status s = ok_status();
        switch (operation.index()) {
        case 0: s = execute_match(q, std::get<op::Match>(operation).op); break;
        case 2: s = execute_create(q, std::get<op::Create>(operation).op); break;
        case 3: s = execute_set(q, std::get<op::Set>(operation)); break;
        case 4: execute_delete(q, std::get<op::Delete>(operation)); break;
        case 5: s = execute_merge(q, std::get<op::Merge>(operation).op); break;
        default: break; // Where, With, OrderBy, Limit and Skip change nothing yet
        }
        if (!s) return s;
    }
    return ok_status();
}

} // namespace voralix
