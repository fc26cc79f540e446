// Conversions of plain C++ values to new Python objects.
#pragma once

#include <Python.h>

#include "util/digest.hpp"

#include <string_view>

namespace voralix::binding {

inline PyObject* to_python_str(std::string_view s) noexcept
{
    return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

// The 64-character lowercase hex form of a digest, written straight into a
// compact ASCII str.
PyObject* digest_to_python(const Digest& d) noexcept;

// `a != b` as the negation of `a == b` evaluated through Python's full
// comparison protocol (reflected operation and identity fallback included).
PyObject* not_equal_via_eq(PyObject* a, PyObject* b) noexcept;

} // namespace voralix::binding
