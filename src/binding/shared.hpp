// Immutable C++ values shared between several module objects through a small
// internal Python object (never exposed to users). Sharing through Python's
// own reference count keeps the garbage collector's view exact: each holder
// owns one reference to the box and reports it once, and the box reports the
// references its value holds once.
#pragma once

#include <Python.h>

#include "binding/pyclass.hpp"
#include "util/ref.hpp"

namespace voralix::binding {

// V names its internal type with `static constexpr const char* kTypeName`.
// Built at first use (the module builds its types at import); a failed
// build is retried at the next use.
template <Traversable V>
PyTypeObject* shared_type() noexcept
{
    static PyTypeObject* type = nullptr;
    if (type == nullptr) {
        static PyType_Slot slots[] = {
            {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc<V>)},
            {Py_tp_traverse, reinterpret_cast<void*>(&traverse<V>)},
            {Py_tp_clear, reinterpret_cast<void*>(&clear<V>)},
            {0, nullptr},
        };
        static PyType_Spec type_spec{V::kTypeName, static_cast<int>(sizeof(Object<V>)), 0,
                                Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC |
                                    Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
                                slots};
        type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&type_spec));
    }
    return type;
}

// A new box holding `value`; null with the exception set on failure.
template <Traversable V>
Ref make_shared(V&& value) noexcept
{
    PyTypeObject* type = shared_type<V>();
    if (type == nullptr) return Ref();
    return Ref::steal(wrap(type, std::move(value)));
}

// The value held by a box made by make_shared<V>.
template <Traversable V>
const V& shared_value(const Ref& box) noexcept
{
    return as_object<V>(box.get())->value;
}

} // namespace voralix::binding
