// The Python class Term.
#pragma once

#include <Python.h>

#include "term/term.hpp"

namespace voralix {

struct TermValue {
    Term term;
};

PyTypeObject* term_type();

// A new Term object holding `t`.
PyObject* term_to_python(const Term& t) noexcept;

// Reads the term of a Term object (checked by the caller) under a shared borrow.
bool read_term(PyObject* obj, Term& out) noexcept;

} // namespace voralix
