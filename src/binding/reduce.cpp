#include "binding/reduce.hpp"

#include "binding/convert.hpp"
#include "binding/pyclass.hpp"

#include <string>
#include <unordered_map>

namespace voralix::binding {

namespace {

constexpr const char* kModuleName = "voralix";

// A reference to a class of the module (`target` set), or to the module
// itself (`target` null, used inside the class references' pickled form).
struct ClassReference {
    Ref target;
    std::string name;
};

PyObject* module_reference() noexcept;

PyObject* reference_reduce(PyObject* self, PyObject*) noexcept
{
    const ClassReference& r = as_object<ClassReference>(self)->value;
    if (!r.target) {
        Ref importlib = Ref::steal(PyImport_ImportModule("importlib"));
        if (!importlib) return nullptr;
        Ref import_module = Ref::steal(PyObject_GetAttrString(importlib.get(), "import_module"));
        if (!import_module) return nullptr;
        return Py_BuildValue("(O(s))", import_module.get(), kModuleName);
    }
    Ref module = Ref::steal(module_reference());
    if (!module) return nullptr;
    Ref builtins = Ref::steal(PyImport_ImportModule("builtins"));
    if (!builtins) return nullptr;
    Ref getattr_fn = Ref::steal(PyObject_GetAttrString(builtins.get(), "getattr"));
    if (!getattr_fn) return nullptr;
    return Py_BuildValue("(O(Os#))", getattr_fn.get(), module.get(), r.name.data(),
                         static_cast<Py_ssize_t>(r.name.size()));
}

PyObject* reference_call(PyObject* self, PyObject* args, PyObject* kwargs) noexcept
{
    const ClassReference& r = as_object<ClassReference>(self)->value;
    if (!r.target) {
        PyErr_SetString(PyExc_TypeError, "the module reference is not callable");
        return nullptr;
    }
    return PyObject_Call(r.target.get(), args, kwargs);
}

PyObject* reference_repr(PyObject* self) noexcept
{
    const ClassReference& r = as_object<ClassReference>(self)->value;
    return PyUnicode_FromFormat("<reference to %s.%s>", kModuleName,
                                r.target ? r.name.c_str() : "");
}

PyTypeObject* reference_type() noexcept
{
    static PyTypeObject* type = [] {
        static PyMethodDef methods[] = {
            {"__reduce__", reinterpret_cast<PyCFunction>(&reference_reduce), METH_NOARGS,
             "Pickles as getattr(importlib.import_module(...), name)."},
            {nullptr, nullptr, 0, nullptr},
        };
        static PyType_Slot slots[] = {
            {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc<ClassReference>)},
            {Py_tp_call, reinterpret_cast<void*>(&reference_call)},
            {Py_tp_repr, reinterpret_cast<void*>(&reference_repr)},
            {Py_tp_methods, methods},
            {0, nullptr},
        };
        static PyType_Spec type_spec{
            "builtins._ClassReference", static_cast<int>(sizeof(Object<ClassReference>)), 0,
            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
            slots};
        return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&type_spec));
    }();
    return type;
}

// References live for the process, like the classes they name.
PyObject* make_reference(PyTypeObject* cls)
{
    PyTypeObject* type = reference_type();
    if (type == nullptr) return nullptr;
    ClassReference r;
    if (cls != nullptr) {
        r.target = Ref::borrow(reinterpret_cast<PyObject*>(cls));
        r.name = bare_type_name(cls);
    }
    return wrap(type, std::move(r));
}

PyObject* module_reference() noexcept
{
    static PyObject* module = make_reference(nullptr);
    return module != nullptr ? Py_NewRef(module) : nullptr;
}

} // namespace

PyObject* class_reference(PyTypeObject* cls) noexcept
{
    static std::unordered_map<PyTypeObject*, PyObject*> references;
    try {
        PyObject*& r = references[cls];
        if (r == nullptr) r = make_reference(cls);
        return r != nullptr ? Py_NewRef(r) : nullptr;
    } catch (...) {
        return raise_cpp_exception();
    }
}

PyObject* reduce_value(PyTypeObject* cls, PyObject* args, PyObject* state) noexcept
{
    Ref held_args = Ref::steal(args), held_state = Ref::steal(state);
    if (!held_args || (state == nullptr && PyErr_Occurred())) return nullptr;
    Ref reference = Ref::steal(class_reference(cls));
    if (!reference) return nullptr;
    if (!held_state) return PyTuple_Pack(2, reference.get(), held_args.get());
    return PyTuple_Pack(3, reference.get(), held_args.get(), held_state.get());
}

PyObject* deep_copy(PyObject* obj, PyObject* memo) noexcept
{
    Ref copy_module = Ref::steal(PyImport_ImportModule("copy"));
    if (!copy_module) return nullptr;
    Ref deepcopy = Ref::steal(PyObject_GetAttrString(copy_module.get(), "deepcopy"));
    if (!deepcopy) return nullptr;
    return PyObject_CallFunctionObjArgs(deepcopy.get(), obj, memo != nullptr ? memo : Py_None,
                                        nullptr);
}

bool memo_store(PyObject* memo, PyObject* original, PyObject* copy) noexcept
{
    if (memo == nullptr || memo == Py_None) return true;
    Ref id = Ref::steal(PyLong_FromVoidPtr(original));
    return id && PyObject_SetItem(memo, id.get(), copy) == 0;
}

PyObject* refuse_reduce(PyObject* self, PyObject* const*, Py_ssize_t, PyObject*) noexcept
{
    Ref name = Ref::steal(PyType_GetName(Py_TYPE(self)));
    if (!name) return nullptr;
    PyErr_Format(PyExc_TypeError, "cannot copy or pickle '%U' objects", name.get());
    return nullptr;
}

} // namespace voralix::binding
