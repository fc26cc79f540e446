#include "graph/node_classes.hpp"

#include "binding/convert.hpp"
#include "binding/pyclass.hpp"
#include "binding/values.hpp"
#include "graph/graph_methods.hpp"
#include "term/term_class.hpp"
#include "types/type_classes.hpp"

namespace voralix {

using namespace binding;

Result<NodeRecord> new_node(PyObject* type_obj, PyObject* properties)
{
    NodeRecord n;
    if (!python_to_type(type_obj, n.type)) return PythonError{};
    n.properties = properties != nullptr ? Ref::borrow(properties) : Ref::steal(PyDict_New());
    if (!n.properties) return PythonError{};
    return n;
}

PyObject* node_to_python(const NodeRecord& n) noexcept
{
    return wrap(node_type(), NodeRecord(n));
}

PyObject* edge_to_python(const EdgeRecord& e) noexcept
{
    return wrap(edge_type(), EdgeRecord(e));
}

bool read_node(PyObject* obj, NodeRecord& out) noexcept
{
    if (!check_instance(obj, node_type(), nullptr)) return false;
    auto* o = as_object<NodeRecord>(obj);
    SharedBorrow borrow(o->borrow);
    if (!borrow) return false;
    out = o->value;
    return true;
}

bool read_edge(PyObject* obj, EdgeRecord& out) noexcept
{
    if (!check_instance(obj, edge_type(), nullptr)) return false;
    auto* o = as_object<EdgeRecord>(obj);
    SharedBorrow borrow(o->borrow);
    if (!borrow) return false;
    out = o->value;
    return true;
}

namespace {

// The held dict itself; None only for an object the garbage collector cleared.
PyObject* properties_or_none(const Ref& props)
{
    return Py_NewRef(props ? props.get() : Py_None);
}

// Replaces the property dict of a Node or Edge object.
template <class V>
int set_properties(Object<V>* self, PyObject* value)
{
    if (!check_dict(value, "properties")) return -1;
    // The old dict is released only after the borrow ends: its release may run
    // Python code (a finalizer) that reads this object.
    Ref old = Ref::borrow(value);
    ExclusiveBorrow borrow(self->borrow);
    if (!borrow) return -1;
    std::swap(old, self->value.properties);
    return 0;
}

template <class V>
PyObject* get_properties(const V& value)
{
    return properties_or_none(value.properties);
}

// Node

Param kNodeParams[] = {{"type"}, {"properties", "None"}};
Signature kNodeNew("Node", "Node", CallKind::Constructor, kNodeParams);
Signature kNodeUid("Node", "uid", CallKind::Method);

PyObject* node_new(PyTypeObject* type, Args& a)
{
    PyObject* props = a.given(1) ? a[1] : nullptr;
    if (props != nullptr && !check_dict(props, a.name(1))) return nullptr;
    Result<NodeRecord> n = new_node(a[0], props);
    if (!n) return raise_error(std::move(n).error());
    return wrap(type, std::move(*n));
}

PyObject* node_get_type(const NodeRecord& value)
{
    return type_to_python(value.type);
}

PyObject* node_uid_method(const NodeRecord& value, Args&)
{
    return digest_to_python(node_uid(value));
}

PyObject* node_str(const NodeRecord& value)
{
    return to_python_str(node_text(value));
}

// Edge

Param kEdgeParams[] = {{"term"}, {"start"}, {"end"}, {"properties", "None"}};
Signature kEdgeNew("Edge", "Edge", CallKind::Constructor, kEdgeParams);
Signature kEdgeUid("Edge", "uid", CallKind::Method);

PyObject* edge_new(PyTypeObject* type, Args& a)
{
    PyObject* props = a.given(3) ? a[3] : nullptr;
    if (props != nullptr && !check_dict(props, a.name(3))) return nullptr;
    EdgeRecord e;
    if (!check_instance(a[0], term_type(), a.name(0)) || !read_term(a[0], e.term)) return nullptr;
    if (!check_instance(a[1], node_type(), a.name(1)) || !read_node(a[1], e.start)) return nullptr;
    if (!check_instance(a[2], node_type(), a.name(2)) || !read_node(a[2], e.end)) return nullptr;
    e.properties = props != nullptr ? Ref::borrow(props) : Ref::steal(PyDict_New());
    if (!e.properties) return nullptr;
    return wrap(type, std::move(e));
}

PyObject* edge_get_term(const EdgeRecord& value)
{
    return term_to_python(value.term);
}

PyObject* edge_get_start(const EdgeRecord& value)
{
    return node_to_python(value.start);
}

PyObject* edge_get_end(const EdgeRecord& value)
{
    return node_to_python(value.end);
}

PyObject* edge_uid_method(const EdgeRecord& value, Args&)
{
    return digest_to_python(edge_uid(value));
}

PyObject* edge_str(const EdgeRecord& value)
{
    return to_python_str(edge_text(value));
}

} // namespace

PyTypeObject* node_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b("Node", kNodeNew,
                       "A graph node standing for one type, with a dict of properties.\n\n"
                       "The properties dict is held itself, never copied.");
        b.object<NodeRecord>()
            .constructor<kNodeNew, node_new>()
            .def<kNodeUid, node_uid_method>(
                "Returns the unique identifier of this node: the SHA256 hash of \"node:\" "
                "followed by the uid of its type.")
            .attribute("type", &getter<node_get_type>, nullptr,
                       "The type this node stands for (a new object on every read).")
            .attribute("properties", &getter<get_properties<NodeRecord>>,
                       &setter<set_properties<NodeRecord>>,
                       "The node's property dict itself (not a copy).")
            .slot(Py_tp_str, reinterpret_cast<void*>(&unary<node_str>))
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<node_str>));
        define_node_copy_methods(b);
        return b.build();
    }();
    return type;
}

PyTypeObject* edge_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b("Edge", kEdgeNew,
                       "A directed graph edge standing for one term, from a start node to an "
                       "end node, with a dict of properties.\n\n"
                       "The edge keeps copies of its end nodes that share their types and "
                       "property dicts.");
        b.object<EdgeRecord>()
            .constructor<kEdgeNew, edge_new>()
            .def<kEdgeUid, edge_uid_method>(
                "Returns the unique identifier of this edge: the SHA256 hash of \"edge:\" "
                "followed by the uid of its term.")
            .attribute("term", &getter<edge_get_term>, nullptr,
                       "The term this edge stands for (a new object on every read).")
            .attribute("start", &getter<edge_get_start>, nullptr,
                       "The start node (a new object on every read, sharing the node's "
                       "type and property dict).")
            .attribute("end", &getter<edge_get_end>, nullptr,
                       "The end node (a new object on every read, sharing the node's type "
                       "and property dict).")
            .attribute("properties", &getter<get_properties<EdgeRecord>>,
                       &setter<set_properties<EdgeRecord>>,
                       "The edge's property dict itself (not a copy).")
            .slot(Py_tp_str, reinterpret_cast<void*>(&unary<edge_str>))
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<edge_str>));
        define_edge_copy_methods(b);
        return b.build();
    }();
    return type;
}

} // namespace voralix
