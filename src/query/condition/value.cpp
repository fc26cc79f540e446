#include "query/condition/value.hpp"

#include "graph/graph_access.hpp"

namespace voralix::condition {

const char* kind_name(Kind k) noexcept
{
    switch (k) {
    case Kind::Null: return "null";
    case Kind::Boolean: return "boolean";
    case Kind::Number: return "number";
    case Kind::String: return "string";
    case Kind::List: return "list";
    case Kind::Map: return "map";
    case Kind::Node: return "node";
    case Kind::Edge: return "edge";
    case Kind::EdgeList: return "edge list";
    case Kind::Other: return "other";
    }
    return "other";
}

Kind kind_of(PyObject* o) noexcept
{
    if (PyLong_CheckExact(o) || PyFloat_CheckExact(o)) return Kind::Number;
    if (PyUnicode_Check(o)) return Kind::String;
    if (o == Py_None) return Kind::Null;
    if (PyBool_Check(o)) return Kind::Boolean;
    if (PyLong_Check(o) || PyFloat_Check(o)) return Kind::Number;
    if (PyList_Check(o) || PyTuple_Check(o)) return Kind::List;
    if (PyDict_Check(o)) return Kind::Map;
    if (is_node_object(o)) return Kind::Node;
    if (is_edge_object(o)) return Kind::Edge;
    return Kind::Other;
}

Value Value::of_cell(const Cell& c) noexcept
{
    switch (c.index()) {
    case 1: return node(&std::get<NodeRecord>(c));
    case 2: return edge(&std::get<EdgeRecord>(c));
    case 3: return edges(&std::get<EdgeList>(c));
    default: return Value();
    }
}

Kind Value::kind() const noexcept
{
    switch (tag_) {
    case Tag::Null: return Kind::Null;
    case Tag::False:
    case Tag::True: return Kind::Boolean;
    case Tag::Object: return kind_of(obj_);
    case Tag::Node: return Kind::Node;
    case Tag::Edge: return Kind::Edge;
    case Tag::Edges: return Kind::EdgeList;
    }
    return Kind::Other;
}

Ref Value::to_python() const noexcept
{
    switch (tag_) {
    case Tag::Null: return Ref::borrow(Py_None);
    case Tag::False: return Ref::borrow(Py_False);
    case Tag::True: return Ref::borrow(Py_True);
    case Tag::Object: return Ref::borrow(obj_);
    case Tag::Node: return Ref::steal(new_node_object(*node_record()));
    case Tag::Edge: return Ref::steal(new_edge_object(*edge_record()));
    case Tag::Edges: {
        const EdgeList& l = *edge_list();
        Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(l.size())));
        if (!list) return list;
        for (std::size_t i = 0; i < l.size(); ++i) {
            PyObject* e = new_edge_object(l[i]);
            if (e == nullptr) return Ref();
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), e);
        }
        return list;
    }
    }
    return Ref();
}

bool as_node(const Value& v, NodeRecord& scratch, const NodeRecord*& out) noexcept
{
    out = nullptr;
    if (v.tag() == Value::Tag::Node) {
        out = v.node_record();
    } else if (v.tag() == Value::Tag::Object && is_node_object(v.object())) {
        if (!read_node_object(v.object(), scratch)) return false;
        out = &scratch;
    }
    return true;
}

bool as_edge(const Value& v, EdgeRecord& scratch, const EdgeRecord*& out) noexcept
{
    out = nullptr;
    if (v.tag() == Value::Tag::Edge) {
        out = v.edge_record();
    } else if (v.tag() == Value::Tag::Object && is_edge_object(v.object())) {
        if (!read_edge_object(v.object(), scratch)) return false;
        out = &scratch;
    }
    return true;
}

} // namespace voralix::condition
