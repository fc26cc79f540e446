// Support for copy and pickle. The classes are named builtins.Name and the
// module holds nothing but them, so pickle cannot find a class by its module
// path. A reduce names the class through a class reference instead: a
// callable internal object (never a module attribute) that calls the class,
// and that pickles as getattr(importlib.import_module("voralix"), "Name").
#pragma once

#include <Python.h>

#include "util/ref.hpp"

namespace voralix::binding {

// The class reference of `cls` (one per class, kept for the process); a new
// reference, or null with the exception set.
PyObject* class_reference(PyTypeObject* cls) noexcept;

// (class reference, args) or (class reference, args, state); steals `args`
// and `state` (state may be null). Null with the exception set on failure.
PyObject* reduce_value(PyTypeObject* cls, PyObject* args, PyObject* state = nullptr) noexcept;

// copy.deepcopy(obj, memo): a new reference, or null with the exception set.
PyObject* deep_copy(PyObject* obj, PyObject* memo) noexcept;

// memo[id(original)] = copy, so that references to `original` met while its
// parts are copied (a cycle) get `copy`. A null or None memo is left alone.
bool memo_store(PyObject* memo, PyObject* original, PyObject* copy) noexcept;

// The __reduce_ex__ of a class that declares no __reduce__: refuses with
// TypeError "cannot copy or pickle 'Name' objects".
PyObject* refuse_reduce(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) noexcept;

} // namespace voralix::binding
