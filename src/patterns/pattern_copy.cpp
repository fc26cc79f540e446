// copy.copy, copy.deepcopy and pickle for NodePattern, EdgePattern and
// PathPattern. Patterns hold required property values by reference: shallow
// copies share them, deep copies copy them with the caller's memo. Pickling
// rebuilds a pattern through its constructor (a path through __setstate__).
#include "patterns/pattern_copy.hpp"

#include "binding/convert.hpp"
#include "binding/reduce.hpp"
#include "binding/values.hpp"
#include "patterns/pattern_classes.hpp"
#include "term/term_class.hpp"
#include "types/type_classes.hpp"

namespace voralix {

using namespace binding;

namespace {

Param kMemoParams[] = {{"memo"}};
Param kStateParams[] = {{"state"}};
constexpr const char* kCopyDoc =
    "Returns a separate pattern holding the same required property values (copy.copy).";
constexpr const char* kDeepCopyDoc =
    "Returns a separate pattern whose required property values are deep copies "
    "(copy.deepcopy).";

PyObject* optional_str(const std::optional<std::string>& s)
{
    return s ? to_python_str(*s) : new_none();
}

PyObject* optional_schema(const std::optional<Schema>& s)
{
    return s ? to_python_str(s->text()) : new_none();
}

PyObject* properties_or_none(const PropertyMap& m)
{
    return m.empty() ? new_none() : m.to_dict();
}

// A new object of the receiver's class holding a copy of its value; for a
// deep copy, registered in the memo first, then given deep-copied values by
// `deepen` under an exclusive borrow.
template <class V, class F>
PyObject* copy_pattern(Object<V>* self, PyTypeObject* type, PyObject* memo_arg, F&& deepen)
{
    V value;
    {
        SharedBorrow borrow(self->borrow);
        if (!borrow) return nullptr;
        value = self->value;
    }
    Ref copy = Ref::steal(wrap(type, std::move(value)));
    if (!copy || memo_arg == nullptr) return copy.release();
    Ref memo = memo_arg != Py_None ? Ref::borrow(memo_arg) : Ref::steal(PyDict_New());
    if (!memo || !memo_store(memo.get(), reinterpret_cast<PyObject*>(self), copy.get())) {
        return nullptr;
    }
    auto* target = as_object<V>(copy.get());
    ExclusiveBorrow borrow(target->borrow);
    if (!borrow || !deepen(target->value, memo.get())) return nullptr;
    return copy.release();
}

// NodePattern

Signature kNodeReduce("NodePattern", "__reduce__", CallKind::Method);
Signature kNodeCopy("NodePattern", "__copy__", CallKind::Method);
Signature kNodeDeepCopy("NodePattern", "__deepcopy__", CallKind::Method, kMemoParams);

PyObject* node_pattern_reduce(const NodePattern& p, Args&)
{
    return reduce_value(node_pattern_type(),
                        Py_BuildValue("(NNNN)", optional_str(p.variable),
                                      p.type_obj ? type_to_python(p.type_obj) : new_none(),
                                      optional_schema(p.type_schema),
                                      properties_or_none(p.properties)));
}

bool deepen_node(NodePattern& p, PyObject* memo)
{
    return p.properties.deep_copy_values(memo);
}

PyObject* node_pattern_copy(Object<NodePattern>* self, Args&)
{
    return copy_pattern(self, node_pattern_type(), nullptr, deepen_node);
}

PyObject* node_pattern_deepcopy(Object<NodePattern>* self, Args& a)
{
    return copy_pattern(self, node_pattern_type(), a.given(0) ? a[0] : Py_None, deepen_node);
}

// EdgePattern

Signature kEdgeReduce("EdgePattern", "__reduce__", CallKind::Method);
Signature kEdgeCopy("EdgePattern", "__copy__", CallKind::Method);
Signature kEdgeDeepCopy("EdgePattern", "__deepcopy__", CallKind::Method, kMemoParams);

Signature kEdgeSetState("EdgePattern", "__setstate__", CallKind::Method, kStateParams);

// The constructor's arguments; the hop bounds of a variable-length edge
// (which only pattern strings set) follow as the state (min_hops, max_hops).
PyObject* edge_pattern_reduce(const EdgePattern& p, Args&)
{
    PyObject* state = nullptr;
    if (p.hops) {
        state = Py_BuildValue("(NN)", PyLong_FromUnsignedLongLong(p.hops->min),
                              p.hops->max ? PyLong_FromUnsignedLongLong(*p.hops->max) : new_none());
        if (state == nullptr) return nullptr;
    }
    return reduce_value(edge_pattern_type(),
                        Py_BuildValue("(NNNNN)", optional_str(p.variable),
                                      p.term ? term_to_python(p.term) : new_none(),
                                      optional_schema(p.term_type_schema),
                                      properties_or_none(p.properties), to_python_str(p.direction)),
                        state);
}

PyObject* edge_pattern_setstate(Object<EdgePattern>* self, Args& a)
{
    PyObject* state = a[0];
    HopRange hops;
    if (!PyTuple_Check(state) || PyTuple_GET_SIZE(state) != 2) {
        PyErr_SetString(PyExc_TypeError, "argument 'state': expected a tuple (min_hops, max_hops)");
        return nullptr;
    }
    if (!to_u64(PyTuple_GET_ITEM(state, 0), "state", hops.min)) return nullptr;
    if (PyTuple_GET_ITEM(state, 1) != Py_None) {
        std::uint64_t max = 0;
        if (!to_u64(PyTuple_GET_ITEM(state, 1), "state", max)) return nullptr;
        hops.max = max;
    }
    ExclusiveBorrow borrow(self->borrow);
    if (!borrow) return nullptr;
    self->value.hops = hops;
    return new_none();
}

bool deepen_edge(EdgePattern& p, PyObject* memo)
{
    return p.properties.deep_copy_values(memo);
}

PyObject* edge_pattern_copy(Object<EdgePattern>* self, Args&)
{
    return copy_pattern(self, edge_pattern_type(), nullptr, deepen_edge);
}

PyObject* edge_pattern_deepcopy(Object<EdgePattern>* self, Args& a)
{
    return copy_pattern(self, edge_pattern_type(), a.given(0) ? a[0] : Py_None, deepen_edge);
}

// PathPattern

Signature kPathReduce("PathPattern", "__reduce__", CallKind::Method);
Signature kPathSetState("PathPattern", "__setstate__", CallKind::Method, kStateParams);
Signature kPathCopy("PathPattern", "__copy__", CallKind::Method);
Signature kPathDeepCopy("PathPattern", "__deepcopy__", CallKind::Method, kMemoParams);

PyObject* path_reduce(const PathPattern& p, Args&)
{
    return reduce_value(path_pattern_type(), PyTuple_New(0),
                        Py_BuildValue("(NN)", list_of_copies(p.nodes, node_pattern_type()),
                                      list_of_copies(p.edges, edge_pattern_type())));
}

// Copies of the patterns in `list`, which must all be of class `type`.
template <class P>
bool read_patterns(PyObject* list, PyTypeObject* type, std::vector<P>& out)
{
    const Py_ssize_t n = PyList_GET_SIZE(list);
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = PyList_GET_ITEM(list, i);
        if (!check_instance(item, type, "state")) return false;
        auto* o = as_object<P>(item);
        SharedBorrow borrow(o->borrow);
        if (!borrow) return false;
        out.push_back(o->value);
    }
    return true;
}

PyObject* path_setstate(Object<PathPattern>* self, Args& a)
{
    PyObject* state = a[0];
    if (!PyTuple_Check(state) || PyTuple_GET_SIZE(state) != 2 ||
        !PyList_Check(PyTuple_GET_ITEM(state, 0)) || !PyList_Check(PyTuple_GET_ITEM(state, 1))) {
        PyErr_SetString(PyExc_TypeError, "argument 'state': expected a tuple of two lists "
                                         "(node patterns, edge patterns)");
        return nullptr;
    }
    PathPattern added;
    if (!read_patterns(PyTuple_GET_ITEM(state, 0), node_pattern_type(), added.nodes) ||
        !read_patterns(PyTuple_GET_ITEM(state, 1), edge_pattern_type(), added.edges)) {
        return nullptr;
    }
    ExclusiveBorrow borrow(self->borrow);
    if (!borrow) return nullptr;
    PathPattern& p = self->value;
    p.nodes.insert(p.nodes.end(), added.nodes.begin(), added.nodes.end());
    p.edges.insert(p.edges.end(), added.edges.begin(), added.edges.end());
    return new_none();
}

bool deepen_path(PathPattern& p, PyObject* memo)
{
    for (NodePattern& n : p.nodes) {
        if (!deepen_node(n, memo)) return false;
    }
    for (EdgePattern& e : p.edges) {
        if (!deepen_edge(e, memo)) return false;
    }
    return true;
}

PyObject* path_copy(Object<PathPattern>* self, Args&)
{
    return copy_pattern(self, path_pattern_type(), nullptr, deepen_path);
}

PyObject* path_deepcopy(Object<PathPattern>* self, Args& a)
{
    return copy_pattern(self, path_pattern_type(), a.given(0) ? a[0] : Py_None, deepen_path);
}

} // namespace

void define_node_pattern_copy_methods(ClassBuilder& b)
{
    b.def<kNodeReduce, node_pattern_reduce>(
         "Pickle support: the class and its constructor's arguments.")
        .def<kNodeCopy, node_pattern_copy>(kCopyDoc)
        .def<kNodeDeepCopy, node_pattern_deepcopy>(kDeepCopyDoc);
}

void define_edge_pattern_copy_methods(ClassBuilder& b)
{
    b.def<kEdgeReduce, edge_pattern_reduce>(
         "Pickle support: the class, its constructor's arguments and, for a variable-length "
         "edge, its hop bounds.")
        .def<kEdgeSetState, edge_pattern_setstate>(
            "Pickle support: sets the hop bounds from `state`, a tuple (min_hops, max_hops) "
            "of an integer from 0 and an integer or None (unbounded).\n\n"
            "Raises:\n    TypeError: `state` is not such a tuple.\n"
            "    OverflowError: a bound is negative or not below 2**64.")
        .def<kEdgeCopy, edge_pattern_copy>(kCopyDoc)
        .def<kEdgeDeepCopy, edge_pattern_deepcopy>(kDeepCopyDoc);
}

void define_path_pattern_copy_methods(ClassBuilder& b)
{
    b.def<kPathReduce, path_reduce>(
         "Pickle support: PathPattern(), then its node and edge patterns as the state.")
        .def<kPathSetState, path_setstate>(
            "Pickle support: appends copies of the patterns in `state`, a tuple (node "
            "patterns, edge patterns) of two lists.\n\n"
            "Raises:\n    TypeError: `state` is not such a tuple.")
        .def<kPathCopy, path_copy>(
            "Returns a separate path holding copies of the same patterns (copy.copy).")
        .def<kPathDeepCopy, path_deepcopy>(
            "Returns a separate path whose patterns' required property values are deep "
            "copies (copy.deepcopy).");
}

} // namespace voralix
