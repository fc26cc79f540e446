// Walks a dict in insertion order while Python code may run between steps
// (a property comparison). Each step holds strong references to its key and
// value, and a change of the dict between steps ends the walk with the
// RuntimeError that Python's own dict iterators raise.
#pragma once

#include <Python.h>

#include "util/ref.hpp"

namespace voralix {

class DictWalk {
public:
    // `dict` may be null (a graph cleared by the garbage collector): an empty walk.
    explicit DictWalk(const Ref& dict) noexcept
        : dict_(dict), size_(dict ? PyDict_GET_SIZE(dict.get()) : 0), remaining_(size_)
    {
    }

    // Advances to the next entry. Returns false at the end or on an error
    // (then failed() is true and a Python exception is set).
    bool next(PyObject*& key, PyObject*& value) noexcept
    {
        if (!dict_) return false;
        if (PyDict_GET_SIZE(dict_.get()) != size_) {
            PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
            failed_ = true;
            return false;
        }
        PyObject *k, *v;
        if (!PyDict_Next(dict_.get(), &pos_, &k, &v)) return false;
        if (remaining_ == 0) {
            PyErr_SetString(PyExc_RuntimeError, "dictionary keys changed during iteration");
            failed_ = true;
            return false;
        }
        --remaining_;
        key_ = Ref::borrow(k);
        value_ = Ref::borrow(v);
        key = k;
        value = v;
        return true;
    }

    bool failed() const noexcept { return failed_; }

private:
    Ref dict_;
    Py_ssize_t size_;
    Py_ssize_t remaining_;
    Py_ssize_t pos_ = 0;
    Ref key_, value_; // keep the current entry alive while it is used
    bool failed_ = false;
};

} // namespace voralix
