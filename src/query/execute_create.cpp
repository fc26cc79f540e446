// Create and merge: node creation writes a new Node object into the graph's
// node dict under its uid; merges look for an existing element first.
#include "graph/dict_walk.hpp"
#include "query/execute.hpp"

#include "binding/values.hpp"
#include "graph/node_classes.hpp"
#include "type_schema/schema_type.hpp"

namespace voralix {

namespace {

void append_binding(QueryRecord& q, const std::optional<std::string>& variable, QueryResult value)
{
    if (variable) q.matched_vars[*variable].push_back(std::move(value));
}

// The type a created node gets: the pattern's specific type, or else the one
// type its schema names (pattern strings carry only schemas).
std::optional<Type> type_to_create(const NodePattern& p)
{
    if (p.type_obj) return p.type_obj;
    if (p.type_schema) return type_named_by_schema(p.type_schema->text());
    return std::nullopt;
}

Status create_node(QueryRecord& q, const NodePattern& p)
{
    std::optional<Type> type = type_to_create(p);
    if (!type) return ok_status();
    NodeRecord n{std::move(*type), Ref::steal(p.properties.to_dict())};
    if (!n.properties) return PythonError{};
    Ref uid = Ref::steal(binding::digest_to_python(node_uid(n)));
    if (!uid) return PythonError{};
    Ref object = Ref::steal(node_to_python(n));
    if (!object) return PythonError{};
    if (!q.graph.nodes || PyDict_SetItem(q.graph.nodes.get(), uid.get(), object.get()) < 0) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_RuntimeError, "the graph was cleared");
        return PythonError{};
    }
    if (p.variable) q.matched_vars.insert_or_assign(*p.variable, BindingList{QueryResult(n)});
    return ok_status();
}

Status merge_node(QueryRecord& q, const NodePattern& p)
{
    Result<BindingList> found = find_nodes(q, p, true);
    if (!found) return std::move(found).error();
    if (!found->empty()) {
        append_binding(q, p.variable, std::move(found->front()));
        return ok_status();
    }
    // Only a typed pattern creates the node it did not find.
    return p.type_obj ? create_node(q, p) : ok_status();
}

// The first node bound to `name`, if its list starts with a node.
const NodeRecord* first_bound_node(const QueryRecord& q, const std::string& name)
{
    auto it = q.matched_vars.find(name);
    if (it == q.matched_vars.end() || it->second.empty()) return nullptr;
    return std::get_if<NodeRecord>(&it->second.front());
}

Status merge_edge(QueryRecord& q, const MergeEdge& m)
{
    const NodeRecord* s = first_bound_node(q, m.start);
    const NodeRecord* e = first_bound_node(q, m.end);
    if (s == nullptr || e == nullptr) return ok_status();
    const NodeRecord start = *s, end = *e;
    DictWalk walk(q.graph.edges);
    PyObject *key, *value;
    while (walk.next(key, value)) {
        EdgeRecord edge;
        if (!read_edge(value, edge)) return PythonError{};
        if (same_node_uid(edge.start, start) && same_node_uid(edge.end, end)) {
            append_binding(q, m.pattern.variable, std::move(edge));
            return ok_status();
        }
    }
    if (walk.failed()) return PythonError{};
    return ok_status();
}

} // namespace

Status execute_create(QueryRecord& q, const CreateOp& op)
{
    if (const auto* c = std::get_if<CreateNode>(&op)) return create_node(q, c->pattern);
    if (const auto* c = std::get_if<CreatePath>(&op)) {
        for (const NodePattern& p : c->pattern.nodes) {
            Status s = create_node(q, p);
            if (!s) return s;
        }
    }
    // An edge create builds nothing.
    return ok_status();
}

Status execute_merge(QueryRecord& q, const MergeOp& op)
{
    if (const auto* m = std::get_if<MergeNode>(&op)) return merge_node(q, m->pattern);
    return merge_edge(q, std::get<MergeEdge>(op));
}

} // namespace voralix
