#include "graph/graph.hpp"

#include "binding/convert.hpp"
#include "binding/pyclass.hpp"
#include "binding/values.hpp"
#include "graph/node_classes.hpp"
#include "query/query_class.hpp"

#include <optional>
#include <string_view>

namespace voralix {

using namespace binding;
using GraphObject = Object<GraphRecord>;

Result<std::vector<NodeRecord>> get_nodes_by_type(const GraphRecord& g, const Digest& type_uid)
{
    std::vector<NodeRecord> found;
    if (!g.nodes) return found;
    // Every key is taken as text and every value read as a Node. A node of the
    // asked type found under a plain str key is used as it is; under a str
    // subclass key its text is looked up again as a plain str afterwards,
    // which may find another entry or none.
    struct Hit {
        std::optional<NodeRecord> node;
        std::string_view text; // the key's text when node is empty; lives in the key
        Ref key;
    };
    std::vector<Hit> hits;
    // No Python code runs during this walk, so the dict cannot change under it.
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(g.nodes.get(), &pos, &key, &value)) {
        std::string_view text;
        if (!to_text(key, nullptr, text)) return PythonError{};
        if (!check_instance(value, node_type(), nullptr)) return PythonError{};
        auto* node = as_object<NodeRecord>(value);
        SharedBorrow borrow(node->borrow);
        if (!borrow) return PythonError{};
        if (node->value.type.uid_digest() != type_uid) continue;
        if (PyUnicode_CheckExact(key)) {
            hits.push_back({node->value, {}, Ref()});
        } else {
            hits.push_back({std::nullopt, text, Ref::borrow(key)});
        }
    }
    found.reserve(hits.size());
    for (Hit& hit : hits) {
        if (hit.node) {
            found.push_back(std::move(*hit.node));
            continue;
        }
        Ref plain = Ref::steal(to_python_str(hit.text));
        if (!plain) return PythonError{};
        PyObject* value = nullptr;
        int r = PyDict_GetItemRef(g.nodes.get(), plain.get(), &value);
        if (r < 0) return PythonError{};
        if (r == 0) continue;
        Ref held = Ref::steal(value);
        NodeRecord n;
        if (!read_node(held.get(), n)) return PythonError{};
        found.push_back(std::move(n));
    }
    return found;
}

GraphRecord read_graph(PyObject* obj) noexcept
{
    return as_object<GraphRecord>(obj)->value;
}

namespace {

Signature kGraphNew("Graph", "Graph", CallKind::Constructor);
Signature kGraphQuery("Graph", "query", CallKind::Method);

PyObject* graph_new(PyTypeObject* type, Args&)
{
    GraphRecord g{Ref::steal(PyDict_New()), Ref::steal(PyDict_New())};
    if (!g.nodes || !g.edges) return nullptr;
    return wrap(type, std::move(g));
}

PyObject* graph_query(GraphObject* self, Args&)
{
    SharedBorrow borrow(self->borrow);
    if (!borrow) return nullptr;
    return new_query(self->value);
}

PyObject* graph_get_nodes(GraphObject* self)
{
    SharedBorrow borrow(self->borrow);
    if (!borrow) return nullptr;
    return Py_NewRef(self->value.nodes ? self->value.nodes.get() : Py_None);
}

PyObject* graph_get_edges(GraphObject* self)
{
    SharedBorrow borrow(self->borrow);
    if (!borrow) return nullptr;
    return Py_NewRef(self->value.edges ? self->value.edges.get() : Py_None);
}

PyObject* graph_str(GraphObject* self)
{
    SharedBorrow borrow(self->borrow);
    if (!borrow) return nullptr;
    const GraphRecord& g = self->value;
    return PyUnicode_FromFormat("Graph(%zd nodes, %zd edges)",
                                g.nodes ? PyDict_GET_SIZE(g.nodes.get()) : Py_ssize_t{0},
                                g.edges ? PyDict_GET_SIZE(g.edges.get()) : Py_ssize_t{0});
}

} // namespace

PyTypeObject* graph_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b("Graph", kGraphNew,
                       "A typed graph: `nodes` maps node uids to Node objects and `edges` maps "
                       "edge uids to Edge objects.\n\n"
                       "Fill the dicts directly (graph.nodes[n.uid()] = n) or through queries "
                       "made with query(); every query shares the same two dicts.");
        b.object<GraphRecord>()
            .constructor<kGraphNew, graph_new>()
            .def<kGraphQuery, graph_query>(
                "Returns a new Query on this graph's dicts, with an empty queue and no "
                "bindings.")
            .attribute("nodes", &getter<graph_get_nodes>, nullptr,
                       "The node dict itself: node uid -> Node.")
            .attribute("edges", &getter<graph_get_edges>, nullptr,
                       "The edge dict itself: edge uid -> Edge.")
            .slot(Py_tp_str, reinterpret_cast<void*>(&unary<graph_str>))
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<graph_str>));
        return b.build();
    }();
    return type;
}

} // namespace voralix
