// The Python classes Node and Edge, and the operations the query engine uses
// to build node records and to move records in and out of Python objects.
#pragma once

#include <Python.h>

#include "errors/error.hpp"
#include "graph/records.hpp"

namespace voralix {

PyTypeObject* node_type();
PyTypeObject* edge_type();

// Node::new: converts a Variable / Application object to the node's type and
// holds `properties` (a dict), or a new empty dict when it is null.
Result<NodeRecord> new_node(PyObject* type_obj, PyObject* properties);

// New Python objects holding copies of the records.
PyObject* node_to_python(const NodeRecord& n) noexcept;
PyObject* edge_to_python(const EdgeRecord& e) noexcept;

// Copies the record out of a Node / Edge object. Another object raises the
// conversion TypeError naming Node / Edge.
bool read_node(PyObject* obj, NodeRecord& out) noexcept;
bool read_edge(PyObject* obj, EdgeRecord& out) noexcept;

} // namespace voralix
