#include "patterns/pattern_classes.hpp"

#include "binding/convert.hpp"
#include "binding/pyclass.hpp"
#include "binding/values.hpp"
#include "patterns/path_parser.hpp"
#include "patterns/pattern_copy.hpp"
#include "patterns/quote.hpp"

namespace voralix {

using namespace binding;
using PathPatternObject = Object<PathPattern>;

namespace {

// Builds the Python value of the literal tree at values[i] and moves i past
// it. Lists are filled with an explicit stack: nesting depth costs heap only.
PyObject* literal_to_python(const std::vector<Literal>& values, std::size_t& i)
{
    struct Frame {
        Ref list;
        std::size_t filled;
    };
    std::vector<Frame> open;
    for (;;) {
        const Literal& lit = values[i++];
        Ref value;
        switch (lit.kind) {
        case Literal::Kind::Null: value = Ref::steal(new_none()); break;
        case Literal::Kind::Boolean: value = Ref::steal(new_bool(lit.boolean)); break;
        case Literal::Kind::Integer:
            value = Ref::steal(PyLong_FromString(lit.text.c_str(), nullptr, 10));
            break;
        case Literal::Kind::Float: {
            // Out-of-range exponents give an infinity, as float() does.
            const double d = PyOS_string_to_double(lit.text.c_str(), nullptr, nullptr);
            if (d == -1.0 && PyErr_Occurred()) return nullptr;
            value = Ref::steal(PyFloat_FromDouble(d));
            break;
        }
        case Literal::Kind::String: value = Ref::steal(to_python_str(lit.text)); break;
        case Literal::Kind::List:
            value = Ref::steal(PyList_New(static_cast<Py_ssize_t>(lit.size)));
            if (value && lit.size > 0) {
                open.push_back({std::move(value), 0});
                continue;
            }
            break;
        }
        if (!value) return nullptr;
        // Place the finished value; a list that becomes full is finished in turn.
        while (!open.empty()) {
            Frame& top = open.back();
            PyList_SET_ITEM(top.list.get(), static_cast<Py_ssize_t>(top.filled++), value.release());
            if (top.filled < static_cast<std::size_t>(PyList_GET_SIZE(top.list.get()))) break;
            value = std::move(top.list);
            open.pop_back();
        }
        if (open.empty()) return value.release();
    }
}

// A property block as the pattern's PropertyMap. Going through a dict gives
// a repeated key its first position and its last value, as everywhere else.
Result<PropertyMap> block_to_properties(const PropertyBlock& block)
{
    if (block.empty()) return PropertyMap{};
    Ref dict = Ref::steal(PyDict_New());
    if (!dict) return PythonError{};
    std::size_t i = 0;
    for (const std::string& name : block.keys) {
        Ref key = Ref::steal(to_python_str(name));
        if (!key) return PythonError{};
        Ref value = Ref::steal(literal_to_python(block.values, i));
        if (!value || PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return PythonError{};
    }
    return PropertyMap::from_dict(dict.get());
}

} // namespace

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
        Result<PropertyMap> props = block_to_properties(n.properties);
        if (!props) return std::move(props).error();
        p.properties = std::move(*props);
        path.nodes.push_back(std::move(p));
    }
    for (ParsedEdge& e : parsed->edges) {
        EdgePattern p;
        p.variable = std::move(e.variable);
        if (e.schema) p.term_type_schema.emplace(std::move(*e.schema));
        Result<PropertyMap> props = block_to_properties(e.properties);
        if (!props) return std::move(props).error();
        p.properties = std::move(*props);
        p.hops = e.hops;
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

PyObject* edge_pattern_get_min_hops(const EdgePattern& value)
{
    return value.hops ? PyLong_FromUnsignedLongLong(value.hops->min) : new_none();
}

PyObject* edge_pattern_get_max_hops(const EdgePattern& value)
{
    return value.hops && value.hops->max ? PyLong_FromUnsignedLongLong(*value.hops->max)
                                         : new_none();
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
                   std::vector<P> PathPattern::*list)
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
        ClassBuilder b("NodePattern", kNodePatternNew,
                       "Selects graph nodes and names the variable they are bound to.\n\n"
                       "A node passes when its type equals `type` (if given), when "
                       "`type_schema` (a schema text or TypeSchema) matches its type, and "
                       "when every entry of `properties` equals the node's property of that "
                       "name.");
        b.object<NodePattern>()
            .constructor<kNodePatternNew, node_pattern_new>()
            .attribute("variable", &getter<node_pattern_get_variable>, nullptr,
                       "The variable name, or None.")
            .slot(Py_tp_str, reinterpret_cast<void*>(&unary<node_pattern_str>))
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<node_pattern_str>));
        define_node_pattern_copy_methods(b);
        return b.build();
    }();
    return type;
}

PyTypeObject* edge_pattern_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b("EdgePattern", kEdgePatternNew,
                       "Selects graph edges and names the variable they are bound to.\n\n"
                       "`term` requires a specific term, `term_type_schema` a schema for the "
                       "term's type; `direction` is \"forward\" (the default), \"backward\" or "
                       "\"any\".");
        b.object<EdgePattern>()
            .constructor<kEdgePatternNew, edge_pattern_new>()
            .attribute("variable", &getter<edge_pattern_get_variable>, nullptr,
                       "The variable name, or None.")
            .attribute("direction", &getter<edge_pattern_get_direction>, nullptr,
                       "The edge direction text.")
            .attribute("min_hops", &getter<edge_pattern_get_min_hops>, nullptr,
                       "The least number of hops of a variable-length edge such as [e*2..5] "
                       "(here 2), or None for a plain single edge.")
            .attribute("max_hops", &getter<edge_pattern_get_max_hops>, nullptr,
                       "The greatest number of hops of a variable-length edge (5 for "
                       "[e*2..5]), or None when unbounded ([e*2..]) or for a plain edge.")
            .slot(Py_tp_str, reinterpret_cast<void*>(&unary<edge_pattern_str>))
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<edge_pattern_str>));
        define_edge_pattern_copy_methods(b);
        return b.build();
    }();
    return type;
}

PyTypeObject* path_pattern_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b("PathPattern", kPathNew,
                       "A path of node and edge patterns, such as "
                       "(n:Person)-[e:knows]->(m:Person).\n\n"
                       "Built by parsing a pattern string or step by step with add_node and "
                       "add_edge. In a pattern string, the text after a colon is a type "
                       "schema: (n:Person) requires the schema $Person$.");
        b.object<PathPattern>()
            .constructor<kPathNew, path_new>()
            .def<kPathParse, path_parse>("Parses a pattern string into a new PathPattern.")
            .def<kAddNode, path_add_node>(
                "Appends a copy of the node pattern and returns a copy of this path.")
            .def<kAddEdge, path_add_edge>(
                "Appends a copy of the edge pattern and returns a copy of this path.")
            .attribute("nodes", &getter<path_get_nodes>, nullptr,
                       "A new list of copies of the node patterns, in path order.")
            .attribute("edges", &getter<path_get_edges>, nullptr,
                       "A new list of copies of the edge patterns, in path order.")
            .slot(Py_tp_str, reinterpret_cast<void*>(&unary<path_str>))
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<path_str>));
        define_path_pattern_copy_methods(b);
        return b.build();
    }();
    return type;
}

} // namespace voralix
