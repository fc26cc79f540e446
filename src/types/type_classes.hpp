// The Python classes Variable and Application, and the conversions between
// their objects and Type values.
#pragma once

#include <Python.h>

#include "types/type.hpp"

namespace voralix {

// The record of a Variable or Application object. A Variable's name setter
// replaces the value with a new type, so types built earlier never change.
struct TypeValue {
    Type type;
};

PyTypeObject* variable_type();
PyTypeObject* application_type();

// Accepts exactly a Variable or Application object; anything else raises
// TypeError "Expected Variable or Application". Returns false on failure.
bool python_to_type(PyObject* obj, Type& out) noexcept;

// A new Variable or Application object holding `t`.
PyObject* type_to_python(const Type& t) noexcept;

} // namespace voralix
