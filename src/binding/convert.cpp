#include "binding/convert.hpp"

#include "util/ref.hpp"

#include <cstring>

namespace voralix::binding {

const char* bare_type_name(PyTypeObject* type) noexcept
{
    const char* dot = std::strrchr(type->tp_name, '.');
    return dot != nullptr ? dot + 1 : type->tp_name;
}

void raise_cannot_convert(PyObject* obj, const char* target) noexcept
{
    Ref name = Ref::steal(PyType_GetQualName(Py_TYPE(obj)));
    if (!name) return;
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", name.get(), target);
}

void prefix_argument_error(const char* arg) noexcept
{
    if (arg == nullptr) return;
    PyObject* raised = PyErr_GetRaisedException();
    if (raised == nullptr) return;
    if (Py_TYPE(raised) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        PyErr_SetRaisedException(raised);
        return;
    }
    Ref original = Ref::steal(raised);
    Ref text = Ref::steal(PyObject_Str(original.get()));
    if (!text) return;
    Ref message = Ref::steal(PyUnicode_FromFormat("argument '%s': %U", arg, text.get()));
    if (!message) return;
    Ref replacement = Ref::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!replacement) return;
    // Take over the cause, and the context the original got when it was raised
    // while another exception was being handled.
    if (PyObject* cause = PyException_GetCause(original.get())) {
        PyException_SetCause(replacement.get(), cause);
    }
    if (PyObject* context = PyException_GetContext(original.get())) {
        PyException_SetContext(replacement.get(), context);
    }
    PyErr_SetRaisedException(replacement.release());
}

bool to_text(PyObject* o, const char* arg, std::string_view& out) noexcept
{
    if (!PyUnicode_Check(o)) {
        raise_cannot_convert(o, "PyString");
        prefix_argument_error(arg);
        return false;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(o, &size);
    if (data == nullptr) {
        prefix_argument_error(arg);
        return false;
    }
    out = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

bool to_optional_text(PyObject* o, const char* arg, std::optional<std::string_view>& out) noexcept
{
    if (o == nullptr || o == Py_None) {
        out.reset();
        return true;
    }
    std::string_view v;
    if (!to_text(o, arg, v)) return false;
    out = v;
    return true;
}

bool check_dict(PyObject* o, const char* arg) noexcept
{
    if (PyDict_Check(o)) return true;
    raise_cannot_convert(o, "PyDict");
    prefix_argument_error(arg);
    return false;
}

namespace {
bool is_numpy_bool(PyObject* o) noexcept
{
    // NumPy is not a dependency: recognise its boolean scalar by type name.
    const char* name = Py_TYPE(o)->tp_name;
    return std::strcmp(name, "numpy.bool") == 0 || std::strcmp(name, "numpy.bool_") == 0;
}
} // namespace

bool to_bool(PyObject* o, const char* arg, bool& out) noexcept
{
    if (o == Py_True || o == Py_False) {
        out = o == Py_True;
        return true;
    }
    if (is_numpy_bool(o)) {
        int truth = PyObject_IsTrue(o);
        if (truth < 0) {
            prefix_argument_error(arg);
            return false;
        }
        out = truth != 0;
        return true;
    }
    raise_cannot_convert(o, "PyBool");
    prefix_argument_error(arg);
    return false;
}

bool to_u64(PyObject* o, const char* arg, std::uint64_t& out) noexcept
{
    if (!PyIndex_Check(o)) {
        // CPython's own text would give our classes' full "builtins.Edge" name.
        Ref name = Ref::steal(PyType_GetQualName(Py_TYPE(o)));
        if (name) {
            PyErr_Format(PyExc_TypeError, "'%U' object cannot be interpreted as an integer",
                         name.get());
        }
        prefix_argument_error(arg);
        return false;
    }
    Ref number = Ref::steal(PyNumber_Index(o));
    if (!number) {
        prefix_argument_error(arg);
        return false;
    }
    unsigned long long v = PyLong_AsUnsignedLongLong(number.get());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        prefix_argument_error(arg);
        return false;
    }
    out = v;
    return true;
}

bool check_instance(PyObject* o, PyTypeObject* type, const char* arg) noexcept
{
    if (Py_IS_TYPE(o, type)) return true;
    // The target is the class's bare name ("Term", "Node").
    raise_cannot_convert(o, bare_type_name(type));
    prefix_argument_error(arg);
    return false;
}

} // namespace voralix::binding
