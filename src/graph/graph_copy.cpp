// copy.copy, copy.deepcopy and pickle for Node, Edge and Graph. Shallow copies
// share property dicts; deep copies copy them through copy.deepcopy with the
// caller's memo, so a dict shared by a node and an edge's copy of it stays
// shared in the copy. Pickling reduces through class references (see
// binding/reduce.hpp) and keeps property dicts in the state, so a property
// that refers back to its element (a cycle) pickles too.
#include "graph/graph_methods.hpp"

#include "binding/convert.hpp"
#include "binding/reduce.hpp"
#include "graph/dict_walk.hpp"
#include "graph/node_classes.hpp"
#include "term/term_class.hpp"
#include "types/type_classes.hpp"
#include "util/interrupt.hpp"

namespace voralix {

using namespace binding;

namespace {

Param kMemoParams[] = {{"memo"}};
Param kStateParams[] = {{"state"}};
constexpr const char* kCopyDoc = "Returns a copy sharing the property dicts (copy.copy).";
constexpr const char* kDeepCopyDoc =
    "Returns a copy whose property dicts are deep copies (copy.deepcopy): dicts shared "
    "within what one deepcopy call copies stay shared in the copy.";

// The memo argument, or a new one (a direct call may give None).
Ref memo_of(Args& a)
{
    return a.given(0) ? Ref::borrow(a[0]) : Ref::steal(PyDict_New());
}

// A deep copy of a property dict, which must still be a dict.
bool copy_properties(const Ref& props, PyObject* memo, Ref& out)
{
    out = Ref::steal(deep_copy(props.get(), memo));
    if (!out) return false;
    if (PyDict_Check(out.get())) return true;
    raise_cannot_convert(out.get(), "PyDict");
    prefix_argument_error("properties");
    return false;
}

// (None, {"properties": props}): pickle sets the attribute after building.
PyObject* properties_state(const Ref& props)
{
    return Py_BuildValue("(O{s:O})", Py_None, "properties", props.get());
}

// Node

Signature kNodeReduce("Node", "__reduce__", CallKind::Method);
Signature kNodeCopy("Node", "__copy__", CallKind::Method);
Signature kNodeDeepCopy("Node", "__deepcopy__", CallKind::Method, kMemoParams);

PyObject* node_reduce(const NodeRecord& n, Args&)
{
    return reduce_value(node_type(), Py_BuildValue("(N)", type_to_python(n.type)),
                        properties_state(n.properties));
}

PyObject* node_copy(const NodeRecord& n, Args&)
{
    return node_to_python(n);
}

// A copy of the element `self` (its record read by `read`, wrapped by
// `to_python`), put in the memo before `deepen` gives it copied dicts.
template <class R, class F>
PyObject* deep_copy_element(PyObject* self, Args& a, bool (*read)(PyObject*, R&) noexcept,
                            PyObject* (*to_python)(const R&) noexcept, F&& deepen)
{
    R record;
    if (!read(self, record)) return nullptr;
    Ref memo = memo_of(a);
    Ref copy = Ref::steal(to_python(record));
    if (!memo || !copy || !memo_store(memo.get(), self, copy.get())) return nullptr;
    if (!deepen(record, memo.get(), as_object<R>(copy.get())->value)) return nullptr;
    return copy.release();
}

PyObject* node_deepcopy(Object<NodeRecord>* self, Args& a)
{
    auto deepen = [](const NodeRecord& n, PyObject* memo, NodeRecord& target) {
        Ref props;
        if (!copy_properties(n.properties, memo, props)) return false;
        std::swap(target.properties, props);
        return true;
    };
    return deep_copy_element(reinterpret_cast<PyObject*>(self), a, &read_node, &node_to_python,
                             deepen);
}

// Edge

Signature kEdgeReduce("Edge", "__reduce__", CallKind::Method);
Signature kEdgeCopy("Edge", "__copy__", CallKind::Method);
Signature kEdgeDeepCopy("Edge", "__deepcopy__", CallKind::Method, kMemoParams);

PyObject* edge_reduce(const EdgeRecord& e, Args&)
{
    return reduce_value(edge_type(),
                        Py_BuildValue("(NNN)", term_to_python(e.term), node_to_python(e.start),
                                      node_to_python(e.end)),
                        properties_state(e.properties));
}

PyObject* edge_copy(const EdgeRecord& e, Args&)
{
    return edge_to_python(e);
}

PyObject* edge_deepcopy(Object<EdgeRecord>* self, Args& a)
{
    auto deepen = [](const EdgeRecord& e, PyObject* memo, EdgeRecord& target) {
        Ref start, end, props;
        if (!copy_properties(e.start.properties, memo, start) ||
            !copy_properties(e.end.properties, memo, end) ||
            !copy_properties(e.properties, memo, props)) {
            return false;
        }
        std::swap(target.start.properties, start);
        std::swap(target.end.properties, end);
        std::swap(target.properties, props);
        return true;
    };
    return deep_copy_element(reinterpret_cast<PyObject*>(self), a, &read_edge, &edge_to_python,
                             deepen);
}

// Graph

Signature kGraphReduce("Graph", "__reduce__", CallKind::Method);
Signature kGraphSetState("Graph", "__setstate__", CallKind::Method, kStateParams);
Signature kGraphCopy("Graph", "__copy__", CallKind::Method);
Signature kGraphDeepCopy("Graph", "__deepcopy__", CallKind::Method, kMemoParams);

PyObject* graph_reduce(const GraphRecord& value, Args&)
{
    GraphRecord g = value;
    if (!graph_usable(g)) return nullptr;
    return reduce_value(graph_type(), PyTuple_New(0),
                        PyTuple_Pack(2, g.nodes.get(), g.edges.get()));
}

PyObject* graph_setstate(const GraphRecord& value, Args& a)
{
    GraphRecord g = value;
    if (!graph_usable(g)) return nullptr;
    PyObject* state = a[0];
    if (!PyTuple_Check(state) || PyTuple_GET_SIZE(state) != 2 ||
        !PyDict_Check(PyTuple_GET_ITEM(state, 0)) || !PyDict_Check(PyTuple_GET_ITEM(state, 1))) {
        PyErr_SetString(PyExc_TypeError,
                        "argument 'state': expected a tuple of two dicts (nodes, edges)");
        return nullptr;
    }
    if (PyDict_Update(g.nodes.get(), PyTuple_GET_ITEM(state, 0)) < 0 ||
        PyDict_Update(g.edges.get(), PyTuple_GET_ITEM(state, 1)) < 0) {
        return nullptr;
    }
    return new_none();
}

PyObject* graph_copy(const GraphRecord& value, Args&)
{
    GraphRecord g = value;
    if (!graph_usable(g)) return nullptr;
    GraphRecord copy{Ref::steal(PyDict_Copy(g.nodes.get())),
                     Ref::steal(PyDict_Copy(g.edges.get()))};
    if (!copy.nodes || !copy.edges) return nullptr;
    return wrap(graph_type(), std::move(copy));
}

// Copies every entry of `from` into `to`, keys and values through deepcopy.
bool deep_copy_entries(const Ref& from, const Ref& to, PyObject* memo)
{
    DictWalk walk(from);
    InterruptCheck tick;
    PyObject *k, *v;
    while (walk.next(k, v)) {
        if (!tick.tick()) return false;
        Ref key = Ref::steal(deep_copy(k, memo));
        if (!key) return false;
        Ref element = Ref::steal(deep_copy(v, memo));
        if (!element || PyDict_SetItem(to.get(), key.get(), element.get()) < 0) return false;
    }
    return !walk.failed();
}

PyObject* graph_deepcopy(Object<GraphRecord>* self, Args& a)
{
    GraphRecord g;
    {
        SharedBorrow borrow(self->borrow);
        if (!borrow) return nullptr;
        g = self->value;
    }
    if (!graph_usable(g)) return nullptr;
    Ref memo = memo_of(a);
    GraphRecord fresh{Ref::steal(PyDict_New()), Ref::steal(PyDict_New())};
    if (!memo || !fresh.nodes || !fresh.edges) return nullptr;
    Ref copy = Ref::steal(wrap(graph_type(), GraphRecord(fresh)));
    // The dicts too: a property that holds graph.nodes gets the copy's.
    if (!copy || !memo_store(memo.get(), reinterpret_cast<PyObject*>(self), copy.get()) ||
        !memo_store(memo.get(), g.nodes.get(), fresh.nodes.get()) ||
        !memo_store(memo.get(), g.edges.get(), fresh.edges.get())) {
        return nullptr;
    }
    if (!deep_copy_entries(g.nodes, fresh.nodes, memo.get()) ||
        !deep_copy_entries(g.edges, fresh.edges, memo.get())) {
        return nullptr;
    }
    return copy.release();
}

} // namespace

void define_node_copy_methods(ClassBuilder& b)
{
    b.def<kNodeReduce, node_reduce>("Pickle support: Node(type), then its properties.")
        .def<kNodeCopy, node_copy>(kCopyDoc)
        .def<kNodeDeepCopy, node_deepcopy>(kDeepCopyDoc);
}

void define_edge_copy_methods(ClassBuilder& b)
{
    b.def<kEdgeReduce, edge_reduce>("Pickle support: Edge(term, start, end), then its properties.")
        .def<kEdgeCopy, edge_copy>(kCopyDoc)
        .def<kEdgeDeepCopy, edge_deepcopy>(kDeepCopyDoc);
}

void define_graph_copy_methods(ClassBuilder& b)
{
    b.def<kGraphReduce, graph_reduce>(
         "Pickle support: Graph(), then its two dicts as the state (see __setstate__).\n\n"
         "pickle keeps keys, uids, properties and which dicts are shared. Unpickling runs "
         "code named by the data: never unpickle data you do not trust; use to_json and "
         "from_json to exchange graphs.")
        .def<kGraphSetState, graph_setstate>(
            "Pickle support: adds the entries of `state`, a tuple (nodes, edges) of two "
            "dicts, to this graph's dicts.\n\n"
            "Raises:\n    TypeError: `state` is not a tuple of two dicts.")
        .def<kGraphCopy, graph_copy>(
            "Returns a new graph with new dicts holding the same Node and Edge objects "
            "(copy.copy): adding to one graph does not change the other, while the elements "
            "and their property dicts are shared.\n\n"
            "Example:\n"
            "    >>> import copy\n"
            "    >>> g = Graph()\n"
            "    >>> _ = g.add_node(Node(Variable(\"A\")))\n"
            "    >>> h = copy.copy(g)\n"
            "    >>> h.nodes == g.nodes and h.nodes is not g.nodes\n"
            "    True")
        .def<kGraphDeepCopy, graph_deepcopy>(
            "Returns a new graph whose keys and elements are deep copies (copy.deepcopy).\n\n"
            "Property dicts are copied once per deepcopy call: an edge whose end node shares "
            "the stored node's dict still shares it with the copied node.\n\n"
            "Example:\n"
            "    >>> import copy\n"
            "    >>> A, B = Variable(\"A\"), Variable(\"B\")\n"
            "    >>> g = Graph()\n"
            "    >>> uid = g.add_edge(Edge(Term(\"f\", Application(A, B)), Node(A), Node(B)))\n"
            "    >>> h = copy.deepcopy(g)\n"
            "    >>> e = h.edges[uid]\n"
            "    >>> e.start.properties is h.nodes[e.start.uid()].properties\n"
            "    True");
}

} // namespace voralix
