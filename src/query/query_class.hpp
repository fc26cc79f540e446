// The Python class Query: the builder methods that queue operations and the
// terminal methods that run the queue and return rows.
#pragma once

#include <Python.h>

#include "query/operations.hpp"

namespace voralix {

PyTypeObject* query_type();

// A new Query object on the graph's dicts, with an empty queue and no bindings.
PyObject* new_query(const GraphRecord& graph) noexcept;

} // namespace voralix
