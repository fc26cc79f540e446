// RAII handles for Python object references, so business code never calls
// Py_INCREF / Py_DECREF by hand.
#pragma once

#include <Python.h>

#include <utility>

namespace voralix {

// An owned (strong) reference. Null is allowed and means "no object".
class Ref {
public:
    Ref() noexcept = default;
    // Takes over an existing strong reference (the result of a "New reference" API).
    static Ref steal(PyObject* o) noexcept { return Ref(o); }
    // Adds a strong reference to a borrowed pointer.
    static Ref borrow(PyObject* o) noexcept
    {
        Py_XINCREF(o);
        return Ref(o);
    }

    Ref(const Ref& other) noexcept : obj_(other.obj_) { Py_XINCREF(obj_); }
    Ref(Ref&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
    Ref& operator=(const Ref& other) noexcept
    {
        if (this != &other) {
            PyObject* old = obj_;
            obj_ = other.obj_;
            Py_XINCREF(obj_);
            Py_XDECREF(old);
        }
        return *this;
    }
    Ref& operator=(Ref&& other) noexcept
    {
        if (this != &other) {
            PyObject* old = obj_;
            obj_ = std::exchange(other.obj_, nullptr);
            Py_XDECREF(old);
        }
        return *this;
    }
    ~Ref() { Py_XDECREF(obj_); }

    PyObject* get() const noexcept { return obj_; }
    explicit operator bool() const noexcept { return obj_ != nullptr; }
    // Hands the strong reference to the caller.
    PyObject* release() noexcept { return std::exchange(obj_, nullptr); }
    // Drops the reference (Py_CLEAR semantics: the field is null before the decref runs).
    void reset() noexcept
    {
        PyObject* old = std::exchange(obj_, nullptr);
        Py_XDECREF(old);
    }
    // For tp_traverse.
    int visit(visitproc visit, void* arg) const
    {
        Py_VISIT(obj_);
        return 0;
    }

private:
    explicit Ref(PyObject* o) noexcept : obj_(o) {}
    PyObject* obj_ = nullptr;
};

// Returns a new reference to None / True / False.
inline PyObject* new_none() noexcept
{
    return Py_NewRef(Py_None);
}
inline PyObject* new_bool(bool b) noexcept
{
    return Py_NewRef(b ? Py_True : Py_False);
}

} // namespace voralix
