// The values a condition computes with: null, booleans, Python objects
// (property values, literals, parameters, results of functions) and the
// node, edge and edge-list records of the row's cells, with their kinds.
#pragma once

#include <Python.h>

#include "query/cell.hpp"
#include "util/ref.hpp"

#include <cstdint>
#include <utility>

namespace voralix::condition {

// What a value is for the language; the kind words appear in messages.
enum class Kind : std::uint8_t {
    Null,
    Boolean,
    Number,
    String,
    List,
    Map,
    Node,
    Edge,
    EdgeList,
    Other,
};

const char* kind_name(Kind k) noexcept;

// The kind of a Python object: None, bool, int / float (and subclasses
// other than bool), str, list / tuple, dict, Node, Edge, or anything else.
Kind kind_of(PyObject* o) noexcept;

class Value {
public:
    enum class Tag : std::uint8_t { Null, False, True, Object, Node, Edge, Edges };

    Value() noexcept = default;
    static Value boolean(bool b) noexcept
    {
        Value v;
        v.tag_ = b ? Tag::True : Tag::False;
        return v;
    }
    // An object the caller keeps alive for as long as the value is used.
    static Value borrowed(PyObject* o) noexcept
    {
        Value v;
        v.set_object(o);
        return v;
    }
    // Takes over a strong reference.
    static Value owned(Ref o) noexcept
    {
        Value v;
        v.set_object(o.get());
        if (v.tag_ == Tag::Object) v.owner_ = std::move(o);
        return v;
    }
    static Value node(const NodeRecord* n) noexcept { return Value(Tag::Node, n); }
    static Value edge(const EdgeRecord* e) noexcept { return Value(Tag::Edge, e); }
    static Value edges(const EdgeList* l) noexcept { return Value(Tag::Edges, l); }
    static Value of_cell(const Cell& c) noexcept;

    Tag tag() const noexcept { return tag_; }
    bool is_null() const noexcept { return tag_ == Tag::Null; }
    bool is_boolean() const noexcept { return tag_ == Tag::False || tag_ == Tag::True; }
    PyObject* object() const noexcept { return obj_; }
    const NodeRecord* node_record() const noexcept { return static_cast<const NodeRecord*>(rec_); }
    const EdgeRecord* edge_record() const noexcept { return static_cast<const EdgeRecord*>(rec_); }
    const EdgeList* edge_list() const noexcept { return static_cast<const EdgeList*>(rec_); }
    Kind kind() const noexcept;

    // A new reference to the value as a Python object (a node or an edge
    // as a new Node / Edge object, an edge list as a list of them).
    Ref to_python() const noexcept;

private:
    Value(Tag t, const void* rec) noexcept : tag_(t), rec_(rec) {}
    void set_object(PyObject* o) noexcept
    {
        if (o == Py_None) {
            tag_ = Tag::Null;
        } else if (o == Py_True || o == Py_False) {
            tag_ = o == Py_True ? Tag::True : Tag::False;
        } else {
            tag_ = Tag::Object;
            obj_ = o;
        }
    }

    Tag tag_ = Tag::Null;
    PyObject* obj_ = nullptr;
    const void* rec_ = nullptr;
    Ref owner_; // holds obj_ when the value owns it
};

// The node or edge a value stands for, whether a cell's record or a Node /
// Edge object (copied into `scratch`); `out` is null for any other value.
// False with a Python exception set when the object cannot be read.
bool as_node(const Value& v, NodeRecord& scratch, const NodeRecord*& out) noexcept;
bool as_edge(const Value& v, EdgeRecord& scratch, const EdgeRecord*& out) noexcept;

} // namespace voralix::condition
