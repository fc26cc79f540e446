#include "patterns/pattern_classes.hpp"

#include "binding/convert.hpp"
#include "binding/pyclass.hpp"
#include "binding/values.hpp"
#include "patterns/pattern_docs.hpp"
#include "patterns/path_parser.hpp"
#include "patterns/quote.hpp"

namespace voralix {

using namespace binding;
using PathPatternObject = Object<PathPattern>;

Result<PathPattern> parse_path_pattern(std::string_view text)
{
    Result<ParsedPath> parsed = parse_path(text);
    if (!parsed) return std::move(parsed).error();
    PathPattern path;
    path.nodes.reserve(parsed->nodes.size());
    path.edges.reserve(parsed->edges.size());
    for (ParsedNode& n : parsed->nodes) {
        NodePattern p;
        p.variable = std::move(n.variable);
        if (n.schema) p.type_schema.emplace(std::move(*n.schema));
        path.nodes.push_back(std::move(p));
    }
    for (ParsedEdge& e : parsed->edges) {
        EdgePattern p;
        p.variable = std::move(e.variable);
        if (e.schema) p.term_type_schema.emplace(std::move(*e.schema));
        p.direction = std::move(e.direction);
        path.edges.push_back(std::move(p));
    }
    return path;
}

namespace {

// "None" or Some("name") with the name quoted and escaped.
void append_variable(std::string& out, const std::optional<std::string>& variable)
{
    if (!variable) {
        out += "None";
        return;
    }
    out += "Some(";
    append_quoted_name(out, *variable);
    out += ')';
}

PyObject* variable_or_none(const std::optional<std::string>& variable)
{
    return variable ? to_python_str(*variable) : new_none();
}

// NodePattern

Param kNodePatternParams[] = {
    {"variable", "None"}, {"type", "..."}, {"type_schema", "None"}, {"properties", "None"}};
Signature kNodePatternNew("NodePattern", "NodePattern", CallKind::Constructor, kNodePatternParams);

PyObject* node_pattern_new(PyTypeObject* type, Args& a)
{
    std::optional<std::string_view> variable;
    if (!to_optional_text(a[0], a.name(0), variable)) return nullptr;
    PyObject* props = a.given(3) ? a[3] : nullptr;
    if (props != nullptr && !check_dict(props, a.name(3))) return nullptr;
    Result<NodePattern> p = new_node_pattern(variable, a[1], a[2], props);
    if (!p) return raise_error(std::move(p).error());
    return wrap(type, std::move(*p));
}

PyObject* node_pattern_get_variable(const NodePattern& value)
{
    return variable_or_none(value.variable);
}

PyObject* node_pattern_str(const NodePattern& value)
{
    std::string s = "NodePattern(variable=";
    append_variable(s, value.variable);
    s += ')';
    return to_python_str(s);
}

// EdgePattern

Param kEdgePatternParams[] = {{"variable", "None"},
                              {"term", "None"},
                              {"term_type_schema", "None"},
                              {"properties", "None"},
                              {"direction", "..."}};
Signature kEdgePatternNew("EdgePattern", "EdgePattern", CallKind::Constructor, kEdgePatternParams);

PyObject* edge_pattern_new(PyTypeObject* type, Args& a)
{
    std::optional<std::string_view> variable;
    if (!to_optional_text(a[0], a.name(0), variable)) return nullptr;
    PyObject* props = a.given(3) ? a[3] : nullptr;
    if (props != nullptr && !check_dict(props, a.name(3))) return nullptr;
    std::string_view direction = "forward";
    if (a.given(4) && !to_text(a[4], a.name(4), direction)) return nullptr;
    Result<EdgePattern> p = new_edge_pattern(variable, a[1], a[2], props, direction);
    if (!p) return raise_error(std::move(p).error());
    return wrap(type, std::move(*p));
}

PyObject* edge_pattern_get_variable(const EdgePattern& value)
{
    return variable_or_none(value.variable);
}

PyObject* edge_pattern_get_direction(const EdgePattern& value)
{
    return to_python_str(value.direction);
}

PyObject* edge_pattern_str(const EdgePattern& value)
{
    std::string s = "EdgePattern(variable=";
    append_variable(s, value.variable);
    s += ", direction=";
    s += value.direction;
    s += ')';
    return to_python_str(s);
}

// PathPattern

Param kPathParams[] = {{"pattern", "None"}};
Signature kPathNew("PathPattern", "PathPattern", CallKind::Constructor, kPathParams);
Param kParseParams[] = {{"pattern"}};
Signature kPathParse("PathPattern", "parse", CallKind::Static, kParseParams);
Param kAddParams[] = {{"pattern"}};
Signature kAddNode("PathPattern", "add_node", CallKind::Method, kAddParams);
Signature kAddEdge("PathPattern", "add_edge", CallKind::Method, kAddParams);

PyObject* parse_to_object(std::string_view text)
{
    Result<PathPattern> p = parse_path_pattern(text);
    if (!p) return raise_error(std::move(p).error());
    return wrap(path_pattern_type(), std::move(*p));
}

PyObject* path_new(PyTypeObject* type, Args& a)
{
    std::optional<std::string_view> text;
    if (!to_optional_text(a[0], a.name(0), text)) return nullptr;
    if (!text) return wrap(type, PathPattern{});
    return parse_to_object(*text);
}

PyObject* path_parse(Args& a)
{
    std::string_view text;
    if (!to_text(a[0], a.name(0), text)) return nullptr;
    return parse_to_object(text);
}

// Appends a copy of the pattern held by `arg` to `list` and returns a copy of
// the whole path.
template <class P>
PyObject* path_add(PathPatternObject* self, Args& a, PyTypeObject* pattern_type,
                   std::vector<P> PathPattern::* list)
{
    if (!check_instance(a[0], pattern_type, a.name(0))) return nullptr;
    auto* source = as_object<P>(a[0]);
    PathPattern copy;
    {
        SharedBorrow read(source->borrow);
        if (!read) return nullptr;
        ExclusiveBorrow write(self->borrow);
        if (!write) return nullptr;
        (self->value.*list).push_back(source->value);
        copy = self->value;
    }
    return wrap(path_pattern_type(), std::move(copy));
}

PyObject* path_add_node(PathPatternObject* self, Args& a)
{
    return path_add(self, a, node_pattern_type(), &PathPattern::nodes);
}

PyObject* path_add_edge(PathPatternObject* self, Args& a)
{
    return path_add(self, a, edge_pattern_type(), &PathPattern::edges);
}

template <class P>
PyObject* list_of_copies(const std::vector<P>& patterns, PyTypeObject* type)
{
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(patterns.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        PyObject* item = wrap(type, P(patterns[i]));
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* path_get_nodes(const PathPattern& value)
{
    return list_of_copies(value.nodes, node_pattern_type());
}

PyObject* path_get_edges(const PathPattern& value)
{
    return list_of_copies(value.edges, edge_pattern_type());
}

PyObject* path_str(const PathPattern& value)
{
    return PyUnicode_FromFormat("PathPattern(%zu nodes, %zu edges)", value.nodes.size(),
                                value.edges.size());
}

} // namespace

PyTypeObject* node_pattern_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b("NodePattern", kNodePatternNew, docs::kNodePattern);
        b.object<NodePattern>()
            .constructor<kNodePatternNew, node_pattern_new>()
            .attribute("variable", &getter<node_pattern_get_variable>, nullptr,
                       docs::kNodePatternVariable)
            .slot(Py_tp_str, reinterpret_cast<void*>(&unary<node_pattern_str>))
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<node_pattern_str>));
        return b.build();
    }();
    return type;
}

PyTypeObject* edge_pattern_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b("EdgePattern", kEdgePatternNew, docs::kEdgePattern);
        b.object<EdgePattern>()
            .constructor<kEdgePatternNew, edge_pattern_new>()
            .attribute("variable", &getter<edge_pattern_get_variable>, nullptr,
                       docs::kEdgePatternVariable)
            .attribute("direction", &getter<edge_pattern_get_direction>, nullptr,
                       docs::kEdgePatternDirection)
            .slot(Py_tp_str, reinterpret_cast<void*>(&unary<edge_pattern_str>))
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<edge_pattern_str>));
        return b.build();
    }();
    return type;
}

PyTypeObject* path_pattern_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b("PathPattern", kPathNew, docs::kPathPattern);
        b.object<PathPattern>()
            .constructor<kPathNew, path_new>()
            .def<kPathParse, path_parse>(docs::kPathPatternParse)
            .def<kAddNode, path_add_node>(docs::kPathPatternAddNode)
            .def<kAddEdge, path_add_edge>(docs::kPathPatternAddEdge)
            .attribute("nodes", &getter<path_get_nodes>, nullptr, docs::kPathPatternNodes)
            .attribute("edges", &getter<path_get_edges>, nullptr, docs::kPathPatternEdges)
            .slot(Py_tp_str, reinterpret_cast<void*>(&unary<path_str>))
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<path_str>));
        return b.build();
    }();
    return type;
}

} // namespace voralix
