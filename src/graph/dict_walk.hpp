// Walks a dict in insertion order while Python code may run between steps
// (a property comparison). Each step holds strong references to its key and
// value. A change of the dict between steps ends the walk with the
// RuntimeError of Python's own dict iterators: "dictionary changed size during
// iteration" when its size differs, otherwise "dictionary keys changed during
// iteration". Changes are seen through a dict watcher, so a key removed and
// another added (which can move the walk's position) are caught too.
#pragma once

#include <Python.h>

#include "util/ref.hpp"

namespace voralix {

class DictWalk {
public:
    // `dict` may be null (a graph cleared by the garbage collector): an empty walk.
    explicit DictWalk(const Ref& dict) noexcept;
    ~DictWalk();
    DictWalk(const DictWalk&) = delete;
    DictWalk& operator=(const DictWalk&) = delete;

    // Advances to the next entry. Returns false at the end or on an error
    // (then failed() is true and a Python exception is set).
    bool next(PyObject*& key, PyObject*& value) noexcept;
    bool failed() const noexcept { return failed_; }
    // Checks, without advancing, that the dict has not changed since the walk
    // began; false (with the RuntimeError set) when it has.
    bool unchanged() noexcept;

    // Called by the watcher for a change of the keys of `dict`.
    static void note_key_change(PyObject* dict) noexcept;

private:
    Ref dict_;
    Py_ssize_t size_;
    Py_ssize_t remaining_;
    Py_ssize_t pos_ = 0;
    Ref key_, value_; // keep the current entry alive while it is used
    bool failed_ = false;
    bool keys_changed_ = false;
    bool watched_ = false;
    // All walks in progress, in a list: they nest on re-entry and, when Python
    // code run by a comparison switches threads, interleave across threads.
    DictWalk* prev_ = nullptr;
    DictWalk* next_ = nullptr;
};

} // namespace voralix
