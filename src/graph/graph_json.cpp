// Graph.to_json and Graph.from_json.
#include "graph/graph_methods.hpp"

#include "binding/convert.hpp"
#include "errors/discard.hpp"
#include "graph/json_document.hpp"

#include <string_view>

namespace voralix {

using namespace binding;

namespace {

Signature kToJson("Graph", "to_json", CallKind::Method);
Param kTextParam[] = {{"text"}};
Signature kFromJson("Graph", "from_json", CallKind::Class, kTextParam);

PyObject* graph_to_json(const GraphRecord& value, Args&)
{
    GraphRecord g = value;
    if (!graph_usable(g)) return nullptr;
    return write_graph_document(g);
}

PyObject* graph_from_json(PyTypeObject* cls, Args& a)
{
    if (!PyUnicode_Check(a[0])) {
        raise_cannot_convert(a[0], "PyString");
        prefix_argument_error(a.name(0));
        return nullptr;
    }
    // The UTF-8 form: an ASCII str is its own; another is encoded into a
    // temporary (not cached in the str, which would keep it for the str's life).
    Ref encoded;
    std::string_view text;
    if (PyUnicode_IS_COMPACT_ASCII(a[0])) {
        text = std::string_view(static_cast<const char*>(PyUnicode_DATA(a[0])),
                                static_cast<std::size_t>(PyUnicode_GET_LENGTH(a[0])));
    } else {
        encoded = Ref::steal(PyUnicode_AsUTF8String(a[0]));
        if (!encoded) {
            if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError) || !discard_exception()) {
                return nullptr;
            }
            PyErr_SetString(PyExc_ValueError,
                            "a graph document cannot hold a lone surrogate outside a \\u escape");
            return nullptr;
        }
        text = std::string_view(PyBytes_AS_STRING(encoded.get()),
                                static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.get())));
    }
    return read_graph_document(cls, text, a[0]);
}

} // namespace

void define_graph_json_methods(ClassBuilder& b)
{
    b.def<kToJson, graph_to_json>(
         "Returns the whole graph as a JSON document (a str).\n\n"
         "The document (format \"voralix-graph\", version 1, described in "
         "docs/json-format.md) holds every node and edge under its key, types and terms "
         "structurally, and properties as JSON values, the property dicts of edges' end "
         "nodes included. Graph.from_json reads it back with every key, type, term and "
         "property.\n\n"
         "Property values must be dict (with str keys), list, str, int (any size), finite "
         "float, bool or None, of exactly these classes: a tuple, a set, a subclass, NaN "
         "or an infinity would not come back as it was, so it is refused.\n\n"
         "Returns:\n    The document, a str.\n\n"
         "Raises:\n"
         "    TypeError: a key is not a str, a value is not a Node / Edge, or a property "
         "has no JSON form; the message names the element and the property. Nothing is "
         "returned then.\n\n"
         "Example:\n"
         "    >>> g = Graph()\n"
         "    >>> _ = g.add_node(Node(Variable(\"A\"), {\"n\": 1}))\n"
         "    >>> h = Graph.from_json(g.to_json())\n"
         "    >>> [(str(n), n.properties) for n in h.nodes.values()]\n"
         "    [('Node(A)', {'n': 1})]")
        .def<kFromJson, graph_from_json>(
            "Builds a new graph from a JSON document written by to_json.\n\n"
            "Nodes and edges are stored under the document's keys, in its order. An edge's "
            "end node that the document gives as a node index shares that node's property "
            "dict, as it did when written.\n\n"
            "Args:\n    text: the document, a str.\n\n"
            "Returns:\n    A new Graph.\n\n"
            "Raises:\n"
            "    ValueError: the text is not JSON, not a graph document, of another version, "
            "or inconsistent (a type index out of range, a repeated key); the exception is "
            "a json.JSONDecodeError whose pos, lineno and colno give the position.\n"
            "    TypeError: `text` is not a str.\n\n"
            "Example:\n"
            "    >>> Graph.from_json('{\"format\": \"voralix-graph\", \"version\": 1, '\n"
            "    ...                 '\"types\": [], \"nodes\": [], \"edges\": []}')\n"
            "    Graph(0 nodes, 0 edges)");
}

} // namespace voralix
