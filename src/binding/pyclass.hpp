// The object layout shared by all classes, allocation and release of objects,
// and the trampolines that turn CPython calls into calls of plain C++
// functions: bind the arguments against the declared signature, run the
// implementation, and turn C++ exceptions into Python ones.
#pragma once

#include <Python.h>

#include "binding/borrow.hpp"
#include "binding/signature.hpp"

#include <concepts>
#include <type_traits>
#include <new>
#include <string>
#include <vector>
#include <utility>

namespace voralix::binding {

struct ObjectHead {
    PyObject_HEAD
    vectorcallfunc vectorcall; // set only for instances of callable classes
    BorrowFlag borrow;
};

template <class V>
struct Object : ObjectHead {
    V value;
};

// Values that hold Python references implement traverse() and clear() and
// their classes take part in cyclic garbage collection.
// clang-format off
template <class V>
concept Traversable = requires(const V& cv, V& v, visitproc visit, void* arg) {
    { cv.traverse(visit, arg) } -> std::same_as<int>;
    v.clear();
};
// clang-format on

// Sets a Python exception for the C++ exception being handled; returns nullptr.
PyObject* raise_cpp_exception() noexcept;

template <class V>
Object<V>* as_object(PyObject* o) noexcept
{
    return reinterpret_cast<Object<V>*>(o);
}

// Allocates a new object of `type` holding `value` (moved in).
template <class V>
PyObject* wrap(PyTypeObject* type, V&& value) noexcept
{
    static_assert(std::is_nothrow_move_constructible_v<V>);
    Object<V>* o;
    if constexpr (Traversable<V>) {
        o = PyObject_GC_New(Object<V>, type);
    } else {
        o = PyObject_New(Object<V>, type);
    }
    if (o == nullptr) return nullptr;
    o->vectorcall = nullptr;
    o->borrow = BorrowFlag{};
    new (&o->value) V(std::move(value));
    if constexpr (Traversable<V>) PyObject_GC_Track(o);
    return reinterpret_cast<PyObject*>(o);
}

template <class V>
void dealloc(PyObject* self) noexcept
{
    PyTypeObject* type = Py_TYPE(self);
    if constexpr (Traversable<V>) {
        PyObject_GC_UnTrack(self);
        Py_TRASHCAN_BEGIN(self, dealloc<V>)
        as_object<V>(self)->value.~V();
        type->tp_free(self);
        Py_DECREF(type);
        Py_TRASHCAN_END
    } else {
        as_object<V>(self)->value.~V();
        type->tp_free(self);
        Py_DECREF(type);
    }
}

template <class V>
int traverse(PyObject* self, visitproc visit, void* arg) noexcept
{
    Py_VISIT(Py_TYPE(self));
    return as_object<V>(self)->value.traverse(visit, arg);
}

template <class V>
int clear(PyObject* self) noexcept
{
    as_object<V>(self)->value.clear();
    return 0;
}

template <class F>
struct FirstArg;
template <class R, class A, class... Rest>
struct FirstArg<R (*)(A, Rest...)> {
    using type = A;
};

// Calls Impl on the receiver. An Impl whose first parameter is `const V&` is
// a reading call: it gets the record under a shared borrow (a conflicting
// borrow returns `failed` with the RuntimeError set). Any other first
// parameter (Object<V>*, PyTypeObject*) gets the receiver itself.
template <auto Impl, class R, class... A>
R call_on(PyObject* self, R failed, A&... args)
{
    using First = typename FirstArg<decltype(Impl)>::type;
    if constexpr (std::is_reference_v<First>) {
        auto* o = as_object<std::remove_cvref_t<First>>(self);
        SharedBorrow borrow(o->borrow);
        if (!borrow) return failed;
        return Impl(o->value, args...);
    } else {
        return Impl(reinterpret_cast<First>(self), args...);
    }
}

// Methods (METH_FASTCALL | METH_KEYWORDS) and, through vectorcall below,
// constructors and instance calls. Impl takes the receiver (Object<V>*, or
// PyTypeObject* for a constructor or a classmethod) and the bound arguments;
// a static method's Impl takes the arguments only.
template <Signature& Sig, auto Impl>
PyObject* method(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                 PyObject* kwnames) noexcept
{
    try {
        Args a;
        if (!bind(Sig, args, PyVectorcall_NARGS(nargs), kwnames, a)) return nullptr;
        if constexpr (std::is_invocable_v<decltype(Impl), Args&>) {
            (void)self;
            return Impl(a);
        } else {
            return call_on<Impl>(self, static_cast<PyObject*>(nullptr), a);
        }
    } catch (...) {
        return raise_cpp_exception();
    }
}

// The vectorcall entry of a class (its constructor) or of an instance (its call).
template <Signature& Sig, auto Impl>
PyObject* vectorcall(PyObject* callable, PyObject* const* args, std::size_t nargsf,
                     PyObject* kwnames) noexcept
{
    return method<Sig, Impl>(callable, args, PyVectorcall_NARGS(nargsf), kwnames);
}

// The tp_new entry of a class, for calls through type.__new__ and tp_call.
template <Signature& Sig, auto Impl>
PyObject* ctor_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept
{
    try {
        Args a;
        Ref holder;
        if (!bind_tuple(Sig, args, kwargs, a, holder)) return nullptr;
        return Impl(type, a);
    } catch (...) {
        return raise_cpp_exception();
    }
}

// Attribute getter. Impl: PyObject* (const V&) or PyObject* (Object<V>* self).
template <auto Impl>
PyObject* getter(PyObject* self, void*) noexcept
{
    try {
        return call_on<Impl>(self, static_cast<PyObject*>(nullptr));
    } catch (...) {
        return raise_cpp_exception();
    }
}

// Attribute setter. Impl: int (Object<V>* self, PyObject* value); deletion is refused.
template <auto Impl>
int setter(PyObject* self, PyObject* value, void*) noexcept
{
    if (value == nullptr) {
        PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
        return -1;
    }
    try {
        using Self = typename FirstArg<decltype(Impl)>::type;
        return Impl(reinterpret_cast<Self>(self), value);
    } catch (...) {
        raise_cpp_exception();
        return -1;
    }
}

// __str__ / __repr__. Impl: as for getter.
template <auto Impl>
PyObject* unary(PyObject* self) noexcept
{
    return getter<Impl>(self, nullptr);
}

// __hash__. Impl: Py_hash_t (const V&), -1 with an exception set on failure.
template <auto Impl>
Py_hash_t hash(PyObject* self) noexcept
{
    try {
        return call_on<Impl>(self, Py_hash_t{-1});
    } catch (...) {
        raise_cpp_exception();
        return -1;
    }
}

// Builds a final heap type named builtins.<name> from its parts. The method
// and attribute tables and their docstrings live for the whole process.
class ClassBuilder {
public:
    ClassBuilder(const char* name, const Signature& ctor, const char* doc_body);

    template <class V>
    ClassBuilder& object()
    {
        basicsize_ = sizeof(Object<V>);
        slot(Py_tp_dealloc, reinterpret_cast<void*>(&dealloc<V>));
        if constexpr (Traversable<V>) {
            gc_ = true;
            slot(Py_tp_traverse, reinterpret_cast<void*>(&traverse<V>));
            slot(Py_tp_clear, reinterpret_cast<void*>(&clear<V>));
        }
        return *this;
    }
    template <Signature& Sig, auto Impl>
    ClassBuilder& constructor()
    {
        slot(Py_tp_new, reinterpret_cast<void*>(&ctor_new<Sig, Impl>));
        ctor_vectorcall_ = &vectorcall<Sig, Impl>;
        return *this;
    }
    template <Signature& Sig, auto Impl>
    ClassBuilder& def(const char* doc_body)
    {
        // CPython stores every calling convention as PyCFunction; the flags tell it the real one.
        auto fn = reinterpret_cast<void (*)()>(&method<Sig, Impl>);
        return add_method(Sig, reinterpret_cast<PyCFunction>(fn), doc_body);
    }
    // Makes instances callable; each new instance must set its vectorcall
    // field to vectorcall<Sig, Impl>.
    ClassBuilder& callable();
    ClassBuilder& attribute(const char* name, ::getter g, ::setter s, const char* doc);
    ClassBuilder& slot(int id, void* fn);

    PyTypeObject* build();

private:
    ClassBuilder& add_method(const Signature& sig, PyCFunction fn, const char* doc_body);

    const char* name_;
    std::string doc_;
    std::size_t basicsize_ = 0;
    bool gc_ = false;
    bool callable_ = false;
    bool has_reduce_ = false;
    vectorcallfunc ctor_vectorcall_ = nullptr;
    std::vector<PyType_Slot> slots_;
    std::vector<PyMethodDef>* methods_;
    std::vector<PyGetSetDef>* getset_;
};

} // namespace voralix::binding
