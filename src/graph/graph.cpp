#include "graph/graph.hpp"

#include "binding/convert.hpp"
#include "binding/pyclass.hpp"
#include "binding/values.hpp"
#include "graph/dict_walk.hpp"
#include "graph/graph_docs.hpp"
#include "graph/graph_methods.hpp"
#include "graph/node_classes.hpp"
#include "util/interrupt.hpp"

#include <optional>
#include <string_view>

namespace voralix {

using namespace binding;

Result<std::vector<NodeRecord>> get_nodes_by_type(const GraphRecord& g, const Digest& type_uid)
{
    std::vector<NodeRecord> found;
    if (!g.nodes) return found;
    // First pass: every key must be a str with a text and every value a Node;
    // the keys of the nodes of the asked type are kept, as plain str.
    // The walk checks for signals, and a signal handler may change the dict.
    std::vector<Ref> keys;
    DictWalk walk(g.nodes);
    PyObject *key, *value;
    while (walk.next(key, value)) {
        std::string_view text;
        if (!to_text(key, nullptr, text)) return PythonError{};
        if (!check_instance(value, node_type(), nullptr)) return PythonError{};
        auto* node = as_object<NodeRecord>(value);
        SharedBorrow borrow(node->borrow);
        if (!borrow) return PythonError{};
        if (node->value.type.uid_digest() != type_uid) continue;
        keys.push_back(PyUnicode_CheckExact(key) ? Ref::borrow(key)
                                                 : Ref::steal(to_python_str(text)));
        if (!keys.back()) return PythonError{};
    }
    if (walk.failed()) return PythonError{};
    // Second pass: look each key up again (a str-subclass key's text may lead
    // to another entry, or to none) and copy the node found.
    found.reserve(keys.size());
    InterruptCheck interrupt;
    for (const Ref& k : keys) {
        if (!interrupt.tick()) return PythonError{};
        PyObject* found_value = nullptr;
        int r = PyDict_GetItemRef(g.nodes.get(), k.get(), &found_value);
        if (r < 0) return PythonError{};
        if (r == 0) continue;
        Ref held = Ref::steal(found_value);
        NodeRecord n;
        if (!read_node(held.get(), n)) return PythonError{};
        found.push_back(std::move(n));
    }
    return found;
}

namespace {
QueryFactory g_query_factory = nullptr;
} // namespace

void set_query_factory(QueryFactory make) noexcept
{
    g_query_factory = make;
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

PyObject* graph_query(const GraphRecord& value, Args&)
{
    return g_query_factory(value);
}

PyObject* graph_get_nodes(const GraphRecord& value)
{
    return Py_NewRef(value.nodes ? value.nodes.get() : Py_None);
}

PyObject* graph_get_edges(const GraphRecord& value)
{
    return Py_NewRef(value.edges ? value.edges.get() : Py_None);
}

PyObject* graph_str(const GraphRecord& value)
{
    const GraphRecord& g = value;
    return PyUnicode_FromFormat("Graph(%zd nodes, %zd edges)",
                                g.nodes ? PyDict_GET_SIZE(g.nodes.get()) : Py_ssize_t{0},
                                g.edges ? PyDict_GET_SIZE(g.edges.get()) : Py_ssize_t{0});
}

} // namespace

PyTypeObject* graph_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b("Graph", kGraphNew, docs::kGraph);
        b.object<GraphRecord>()
            .constructor<kGraphNew, graph_new>()
            .def<kGraphQuery, graph_query>(docs::kGraphQuery)
            .attribute("nodes", &getter<graph_get_nodes>, nullptr, docs::kGraphNodes)
            .attribute("edges", &getter<graph_get_edges>, nullptr, docs::kGraphEdges)
            .slot(Py_tp_str, reinterpret_cast<void*>(&unary<graph_str>))
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<graph_str>));
        define_graph_edit_methods(b);
        define_graph_check_methods(b);
        define_graph_json_methods(b);
        define_graph_copy_methods(b);
        define_graph_networkx_methods(b);
        define_graph_display_methods(b);
        return b.build();
    }();
    return type;
}

} // namespace voralix
