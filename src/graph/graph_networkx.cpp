// Graph.to_networkx and Graph.from_networkx: a networkx.MultiDiGraph keyed by
// uids, node attributes "type" plus the properties, edge attributes "term"
// plus the properties. networkx is imported only when one of them is called.
#include "graph/graph_methods.hpp"

#include "binding/convert.hpp"
#include "binding/values.hpp"
#include "errors/discard.hpp"
#include "graph/element_walk.hpp"
#include "graph/node_classes.hpp"
#include "term/term_class.hpp"
#include "types/type_classes.hpp"
#include "util/interrupt.hpp"

#include <unordered_map>
#include <vector>

namespace voralix {

using namespace binding;

namespace {

// The networkx module, or ImportError saying how to install it.
Ref import_networkx(const char* method)
{
    Ref nx = Ref::steal(PyImport_ImportModule("networkx"));
    if (nx || !PyErr_ExceptionMatches(PyExc_ImportError)) return nx;
    Ref cause = Ref::steal(PyErr_GetRaisedException());
    PyErr_Format(PyExc_ImportError,
                 "Graph.%s() needs the networkx package: pip install networkx (or pip install "
                 "\"voralix[networkx]\")",
                 method);
    Ref error = Ref::steal(PyErr_GetRaisedException());
    PyException_SetCause(error.get(), cause.release());
    PyErr_SetRaisedException(error.release());
    return Ref();
}

// --- to_networkx --------------------------------------------------------------

class NetworkxWriter {
public:
    explicit NetworkxWriter(const GraphRecord& g) : g_(g) {}

    PyObject* run()
    {
        Ref nx = import_networkx("to_networkx");
        if (!nx) return nullptr;
        nodes_ = Ref::steal(PyList_New(0));
        edges_ = Ref::steal(PyList_New(0));
        if (!nodes_ || !edges_ || !walk_nodes() || !walk_edges()) return nullptr;
        Ref graph = Ref::steal(PyObject_CallMethod(nx.get(), "MultiDiGraph", nullptr));
        if (!graph) return nullptr;
        Ref r1 = Ref::steal(PyObject_CallMethod(graph.get(), "add_nodes_from", "O", nodes_.get()));
        if (!r1) return nullptr;
        Ref r2 = Ref::steal(PyObject_CallMethod(graph.get(), "add_edges_from", "O", edges_.get()));
        if (!r2) return nullptr;
        return graph.release();
    }

private:
    // A copy of the property dict with `reserved` ("type" or "term") added;
    // a property of that name would be lost, so it is refused.
    static PyObject* attributes(const Ref& props, const char* reserved, PyObject* value,
                                const char* where, PyObject* key)
    {
        Ref attrs = Ref::steal(PyDict_Copy(props.get()));
        if (!attrs) return nullptr;
        const int clash = PyDict_ContainsString(attrs.get(), reserved);
        if (clash < 0) return nullptr;
        if (clash > 0) {
            PyErr_Format(PyExc_ValueError,
                         "%s[%R] has a property named '%s', which to_networkx() uses for the "
                         "element's %s",
                         where, key, reserved, reserved);
            return nullptr;
        }
        if (PyDict_SetItemString(attrs.get(), reserved, value) < 0) return nullptr;
        return attrs.release();
    }

    bool add_node(const NodeRecord& n, const Digest& uid, const char* where, PyObject* key)
    {
        Ref type = Ref::steal(type_to_python(n.type));
        if (!type) return false;
        Ref attrs = Ref::steal(attributes(n.properties, "type", type.get(), where, key));
        Ref id = Ref::steal(digest_to_python(uid));
        if (!attrs || !id) return false;
        Ref item = Ref::steal(PyTuple_Pack(2, id.get(), attrs.get()));
        return item && PyList_Append(nodes_.get(), item.get()) == 0;
    }

    bool walk_nodes()
    {
        return walk_elements<NodeRecord>(g_.nodes, "nodes", [&](PyObject* k, const NodeRecord& n) {
            const Digest uid = node_uid(n);
            auto [it, added] = nodes_seen_.try_emplace(uid, Ref::borrow(k));
            if (!added) {
                PyErr_Format(PyExc_ValueError,
                             "nodes[%R] and nodes[%R] hold nodes of one uid (%s): a networkx "
                             "graph has one node per uid",
                             it->second.get(), k, node_text(n).c_str());
                return false;
            }
            return add_node(n, uid, "nodes", k);
        });
    }

    // An end node not in the graph becomes a networkx node of its own.
    bool end_node(const NodeRecord& n, Digest& uid, PyObject* key)
    {
        uid = node_uid(n);
        if (!nodes_seen_.try_emplace(uid, Ref::borrow(key)).second) return true;
        return add_node(n, uid, "edges", key);
    }

    bool walk_edges()
    {
        std::unordered_map<Digest, Ref, DigestHash> seen;
        return walk_elements<EdgeRecord>(g_.edges, "edges", [&](PyObject* k, const EdgeRecord& e) {
            const Digest uid = edge_uid(e);
            auto [it, added] = seen.try_emplace(uid, Ref::borrow(k));
            if (!added) {
                PyErr_Format(PyExc_ValueError,
                             "edges[%R] and edges[%R] hold edges of one uid (%s): a networkx "
                             "graph has one edge per key",
                             it->second.get(), k, edge_text(e).c_str());
                return false;
            }
            Digest start, end;
            if (!end_node(e.start, start, k) || !end_node(e.end, end, k)) return false;
            Ref term = Ref::steal(term_to_python(e.term));
            if (!term) return false;
            Ref attrs = Ref::steal(attributes(e.properties, "term", term.get(), "edges", k));
            Ref s = Ref::steal(digest_to_python(start)), t = Ref::steal(digest_to_python(end));
            Ref id = Ref::steal(digest_to_python(uid));
            if (!attrs || !s || !t || !id) return false;
            Ref item = Ref::steal(PyTuple_Pack(4, s.get(), t.get(), id.get(), attrs.get()));
            return item && PyList_Append(edges_.get(), item.get()) == 0;
        });
    }

    const GraphRecord& g_;
    Ref nodes_, edges_; // arguments of add_nodes_from and add_edges_from
    std::unordered_map<Digest, Ref, DigestHash> nodes_seen_; // uid -> first key
};

// --- from_networkx ------------------------------------------------------------

// Runs `f` on every item of the iterable `iterable`.
template <class F>
bool each_item(PyObject* iterable, F&& f)
{
    Ref it = Ref::steal(PyObject_GetIter(iterable));
    if (!it) return false;
    InterruptCheck tick;
    while (true) {
        if (!tick.tick()) return false;
        Ref item = Ref::steal(PyIter_Next(it.get()));
        if (!item) return !PyErr_Occurred();
        if (!f(item.get())) return false;
    }
}

// The attribute mapping of a networkx node or edge as a new dict without
// `reserved`, whose value goes to `value` (ValueError naming `what` when absent).
bool split_attributes(PyObject* data, const char* reserved, PyObject* what, Ref& props, Ref& value)
{
    props = Ref::steal(PyDict_New());
    if (!props || PyDict_Update(props.get(), data) < 0) return false;
    Ref name = Ref::steal(PyUnicode_FromString(reserved));
    if (!name) return false;
    PyObject* popped = nullptr;
    const int found = PyDict_Pop(props.get(), name.get(), &popped);
    if (found < 0) return false;
    if (found == 0) {
        PyErr_Format(PyExc_ValueError, "%U has no '%s' attribute", what, reserved);
        return false;
    }
    value = Ref::steal(popped);
    return true;
}

class NetworkxReader {
public:
    PyObject* run(PyTypeObject* cls, PyObject* g)
    {
        if (!import_networkx("from_networkx")) return nullptr;
        Ref is_directed_method = Ref::steal(PyObject_GetAttrString(g, "is_directed"));
        if (!is_directed_method) {
            if (!PyErr_ExceptionMatches(PyExc_AttributeError) || !discard_exception()) {
                return nullptr;
            }
            PyErr_Format(PyExc_TypeError, "argument 'g': expected a networkx graph, not %s",
                         bare_type_name(Py_TYPE(g)));
            return nullptr;
        }
        Ref directed = Ref::steal(PyObject_CallNoArgs(is_directed_method.get()));
        if (!directed) return nullptr;
        const int is_directed = PyObject_IsTrue(directed.get());
        if (is_directed < 0) return nullptr;
        if (!is_directed) {
            PyErr_SetString(PyExc_ValueError, "Graph.from_networkx() needs a directed graph "
                                              "(a DiGraph or MultiDiGraph): an edge has a "
                                              "start and an end");
            return nullptr;
        }
        Ref multi = Ref::steal(PyObject_CallMethod(g, "is_multigraph", nullptr));
        if (!multi) return nullptr;
        const int is_multi = PyObject_IsTrue(multi.get());
        if (is_multi < 0) return nullptr;
        index_ = Ref::steal(PyDict_New());
        firsts_ = Ref::steal(PyDict_New());
        graph_ = GraphRecord{Ref::steal(PyDict_New()), Ref::steal(PyDict_New())};
        if (!index_ || !firsts_ || !graph_.nodes || !graph_.edges) return nullptr;
        Ref node_view = Ref::steal(PyObject_CallMethod(g, "nodes", nullptr));
        Ref node_items =
            node_view ? Ref::steal(PyObject_CallMethod(node_view.get(), "items", nullptr)) : Ref();
        if (!node_items || !each_item(node_items.get(), [&](PyObject* i) { return node(i); })) {
            return nullptr;
        }
        // g.edges(data=True, keys=True) on a multigraph, g.edges(data=True) otherwise.
        Ref edges_method = Ref::steal(PyObject_GetAttrString(g, "edges"));
        Ref kwargs =
            Ref::steal(is_multi ? Py_BuildValue("{s:O,s:O}", "data", Py_True, "keys", Py_True)
                                : Py_BuildValue("{s:O}", "data", Py_True));
        Ref no_args = Ref::steal(PyTuple_New(0));
        if (!edges_method || !kwargs || !no_args) return nullptr;
        Ref edge_view = Ref::steal(PyObject_Call(edges_method.get(), no_args.get(), kwargs.get()));
        if (!edge_view ||
            !each_item(edge_view.get(), [&](PyObject* i) { return edge(i, is_multi != 0); })) {
            return nullptr;
        }
        return wrap(cls, std::move(graph_));
    }

private:
    // (node, data) from g.nodes.items().
    bool node(PyObject* item)
    {
        PyObject *n, *data;
        if (!PyArg_ParseTuple(item, "OO", &n, &data)) return false;
        Ref what = Ref::steal(PyUnicode_FromFormat("networkx node %R", n));
        Ref props, type;
        if (!what || !split_attributes(data, "type", what.get(), props, type)) return false;
        NodeRecord record;
        if (!python_to_type(type.get(), record.type)) {
            PyErr_Format(PyExc_TypeError,
                         "%U: the class of its 'type' attribute is %s, not Variable or "
                         "Application",
                         what.get(), bare_type_name(Py_TYPE(type.get())));
            return false;
        }
        record.properties = std::move(props);
        Ref uid = Ref::steal(digest_to_python(node_uid(record)));
        if (!uid) return false;
        PyObject* earlier = nullptr;
        const int found = PyDict_GetItemRef(firsts_.get(), uid.get(), &earlier);
        if (found < 0) return false;
        if (found > 0) {
            Ref first = Ref::steal(earlier);
            PyErr_Format(PyExc_ValueError,
                         "networkx nodes %R and %R both have the type %s: a graph holds one "
                         "node per type",
                         first.get(), n, record.type.text().c_str());
            return false;
        }
        Ref object = Ref::steal(node_to_python(record));
        Ref position = Ref::steal(PyLong_FromSize_t(records_.size()));
        if (!object || !position ||
            PyDict_SetItem(graph_.nodes.get(), uid.get(), object.get()) < 0 ||
            PyDict_SetItem(index_.get(), n, position.get()) < 0 ||
            PyDict_SetItem(firsts_.get(), uid.get(), n) < 0) {
            return false;
        }
        records_.push_back(std::move(record));
        return true;
    }

    bool end_record(PyObject* n, NodeRecord& out)
    {
        PyObject* position = nullptr;
        const int found = PyDict_GetItemRef(index_.get(), n, &position);
        if (found <= 0) {
            if (found == 0) PyErr_Format(PyExc_ValueError, "edge end %R is not a node", n);
            return false;
        }
        Ref held = Ref::steal(position);
        out = records_[PyLong_AsSize_t(held.get())];
        return true;
    }

    // (u, v, key, data) from a multigraph, (u, v, data) from another graph.
    bool edge(PyObject* item, bool multi)
    {
        PyObject *u, *v, *key = Py_None, *data;
        if (multi ? !PyArg_ParseTuple(item, "OOOO", &u, &v, &key, &data)
                  : !PyArg_ParseTuple(item, "OOO", &u, &v, &data)) {
            return false;
        }
        Ref what =
            Ref::steal(multi ? PyUnicode_FromFormat("networkx edge %R -> %R (key %R)", u, v, key)
                             : PyUnicode_FromFormat("networkx edge %R -> %R", u, v));
        Ref props, term;
        if (!what || !split_attributes(data, "term", what.get(), props, term)) return false;
        EdgeRecord record;
        if (!Py_IS_TYPE(term.get(), term_type())) {
            PyErr_Format(PyExc_TypeError, "%U: the class of its 'term' attribute is %s, not Term",
                         what.get(), bare_type_name(Py_TYPE(term.get())));
            return false;
        }
        if (!read_term(term.get(), record.term) || !end_record(u, record.start) ||
            !end_record(v, record.end)) {
            return false;
        }
        record.properties = std::move(props);
        Ref uid = Ref::steal(digest_to_python(edge_uid(record)));
        if (!uid) return false;
        const int present = PyDict_Contains(graph_.edges.get(), uid.get());
        if (present != 0) {
            if (present > 0) {
                PyErr_Format(PyExc_ValueError,
                             "%U has the term %s of an earlier edge: a graph holds one edge per "
                             "term",
                             what.get(), record.term.text().c_str());
            }
            return false;
        }
        Ref object = Ref::steal(edge_to_python(record));
        return object && PyDict_SetItem(graph_.edges.get(), uid.get(), object.get()) == 0;
    }

    GraphRecord graph_;
    Ref index_;  // networkx node -> position in records_
    Ref firsts_; // node uid -> the networkx node that has it
    std::vector<NodeRecord> records_;
};

Signature kToNetworkx("Graph", "to_networkx", CallKind::Method);
Param kGraphParam[] = {{"g"}};
Signature kFromNetworkx("Graph", "from_networkx", CallKind::Class, kGraphParam);

PyObject* graph_to_networkx(const GraphRecord& value, Args&)
{
    GraphRecord g = value;
    if (!graph_usable(g)) return nullptr;
    return NetworkxWriter(g).run();
}

PyObject* graph_from_networkx(PyTypeObject* cls, Args& a)
{
    return NetworkxReader().run(cls, a[0]);
}

} // namespace

void define_graph_networkx_methods(ClassBuilder& b)
{
    b.def<kToNetworkx, graph_to_networkx>(
         "Returns the graph as a networkx.MultiDiGraph.\n\n"
         "Each node becomes a networkx node keyed by its uid, with the attribute \"type\" (a "
         "Variable or Application) and its properties as further attributes; each edge "
         "becomes a networkx edge from its start node's uid to its end node's uid, keyed by "
         "its uid, with the attribute \"term\" and its properties. The attribute dicts are "
         "new dicts; property values are shared. An edge's end node that the graph does not "
         "hold (a dangling edge) is added as a node of its own. networkx is imported on the "
         "first call.\n\n"
         "Returns:\n    A new networkx.MultiDiGraph.\n\n"
         "Raises:\n"
         "    ImportError: networkx is not installed (pip install networkx).\n"
         "    ValueError: a node has a property named \"type\" or an edge one named \"term\" "
         "(it would be lost), or two entries hold elements of one uid.\n"
         "    TypeError: a value in `nodes` is not a Node, or in `edges` not an Edge.\n\n"
         "Example:\n"
         "    >>> A, B = Variable(\"A\"), Variable(\"B\")\n"
         "    >>> g = Graph()\n"
         "    >>> uid = g.add_edge(Edge(Term(\"f\", Application(A, B)), Node(A), Node(B)))\n"
         "    >>> nxg = g.to_networkx()\n"
         "    >>> nxg.number_of_nodes(), nxg.number_of_edges()\n"
         "    (2, 1)")
        .def<kFromNetworkx, graph_from_networkx>(
            "Builds a new graph from a directed networkx graph.\n\n"
            "Every networkx node needs the attribute \"type\" (a Variable or Application) "
            "and every edge the attribute \"term\" (a Term); their other attributes become "
            "the properties (new dicts). Elements are stored under their uids, whatever "
            "their networkx keys: a graph made by to_networkx comes back with every uid and "
            "property, and each edge's end nodes share the property dicts of the graph's "
            "nodes.\n\n"
            "Args:\n    g: a networkx DiGraph or MultiDiGraph.\n\n"
            "Returns:\n    A new Graph.\n\n"
            "Raises:\n"
            "    ValueError: a node has no \"type\" or an edge no \"term\" attribute (the "
            "message names it), the graph is undirected, or two nodes have one type (or two "
            "edges one term): a graph holds one node per type.\n"
            "    TypeError: a \"type\" or \"term\" attribute of another class.\n"
            "    ImportError: networkx is not installed.\n\n"
            "Example:\n"
            "    >>> import networkx as nx\n"
            "    >>> d = nx.DiGraph()\n"
            "    >>> d.add_node(\"ada\", type=Variable(\"Person\"), born=1815)\n"
            "    >>> Graph.from_networkx(d)\n"
            "    Graph(1 nodes, 0 edges)");
}

} // namespace voralix
