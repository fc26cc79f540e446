// Graph.add_node and Graph.add_edge: store an element under its uid.
#include "graph/graph_methods.hpp"

#include "binding/convert.hpp"
#include "binding/values.hpp"
#include "graph/node_classes.hpp"

namespace voralix {

using namespace binding;

bool graph_usable(const GraphRecord& g) noexcept
{
    if (g.nodes && g.edges) return true;
    PyErr_SetString(PyExc_RuntimeError, "the graph has been cleared by the garbage collector");
    return false;
}

std::string wrong_class_text(PyObject* value, const char* expected)
{
    return std::string("the value's class is ") + bare_type_name(Py_TYPE(value)) + ", not " +
           expected;
}

namespace {

Param kNodeParam[] = {{"node"}};
Signature kAddNode("Graph", "add_node", CallKind::Method, kNodeParam);
Param kEdgeParam[] = {{"edge"}};
Signature kAddEdge("Graph", "add_edge", CallKind::Method, kEdgeParam);

PyObject* graph_add_node(const GraphRecord& value, Args& a)
{
    GraphRecord g = value;
    if (!graph_usable(g)) return nullptr;
    if (!check_instance(a[0], node_type(), a.name(0))) return nullptr;
    NodeRecord n;
    if (!read_node(a[0], n)) return nullptr;
    Ref uid = Ref::steal(digest_to_python(node_uid(n)));
    if (!uid || PyDict_SetItem(g.nodes.get(), uid.get(), a[0]) < 0) return nullptr;
    return uid.release();
}

// Stores a new Node object for `n` unless the node dict has an entry under its uid.
bool add_missing_node(const GraphRecord& g, const NodeRecord& n)
{
    Ref uid = Ref::steal(digest_to_python(node_uid(n)));
    if (!uid) return false;
    int present = PyDict_Contains(g.nodes.get(), uid.get());
    if (present != 0) return present > 0;
    Ref node = Ref::steal(node_to_python(n));
    return node && PyDict_SetItem(g.nodes.get(), uid.get(), node.get()) == 0;
}

PyObject* graph_add_edge(const GraphRecord& value, Args& a)
{
    GraphRecord g = value;
    if (!graph_usable(g)) return nullptr;
    if (!check_instance(a[0], edge_type(), a.name(0))) return nullptr;
    EdgeRecord e;
    if (!read_edge(a[0], e)) return nullptr;
    if (!add_missing_node(g, e.start) || !add_missing_node(g, e.end)) return nullptr;
    Ref uid = Ref::steal(digest_to_python(edge_uid(e)));
    if (!uid || PyDict_SetItem(g.edges.get(), uid.get(), a[0]) < 0) return nullptr;
    return uid.release();
}

} // namespace

void define_graph_edit_methods(ClassBuilder& b)
{
    b.def<kAddNode, graph_add_node>(
         "Stores the node in `nodes` under its uid and returns the uid.\n\n"
         "A node already stored under that uid (a node of the same type) is replaced; "
         "the entry keeps its place in the order.\n\n"
         "Args:\n    node: a Node.\n\n"
         "Returns:\n    The node's uid, a str.\n\n"
         "Raises:\n    TypeError: `node` is not a Node.\n\n"
         "Example:\n"
         "    >>> g = Graph()\n"
         "    >>> uid = g.add_node(Node(Variable(\"Person\")))\n"
         "    >>> g.nodes[uid]\n"
         "    Node(Person)")
        .def<kAddEdge, graph_add_edge>(
            "Stores the edge in `edges` under its uid and returns the uid.\n\n"
            "The edge's start and end nodes are stored too, each under its uid, when `nodes` "
            "has no entry there yet: the new Node objects share the edge's copies of the nodes "
            "(their types and property dicts). An entry already present is left as it is.\n\n"
            "Args:\n    edge: an Edge.\n\n"
            "Returns:\n    The edge's uid, a str.\n\n"
            "Raises:\n    TypeError: `edge` is not an Edge.\n\n"
            "Example:\n"
            "    >>> A, B = Variable(\"A\"), Variable(\"B\")\n"
            "    >>> g = Graph()\n"
            "    >>> uid = g.add_edge(Edge(Term(\"f\", Application(A, B)), Node(A), Node(B)))\n"
            "    >>> g\n"
            "    Graph(2 nodes, 1 edges)");
}

} // namespace voralix
