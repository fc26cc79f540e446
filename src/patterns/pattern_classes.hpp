// The Python classes NodePattern, EdgePattern and PathPattern.
#pragma once

#include <Python.h>

#include "binding/pyclass.hpp"
#include "patterns/path_pattern.hpp"

#include <vector>

namespace voralix {

PyTypeObject* node_pattern_type();
PyTypeObject* edge_pattern_type();
PyTypeObject* path_pattern_type();

// A new list of new `type` objects holding copies of the patterns, in order.
template <class P>
PyObject* list_of_copies(const std::vector<P>& patterns, PyTypeObject* type)
{
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(patterns.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        PyObject* item = binding::wrap(type, P(patterns[i]));
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

} // namespace voralix
