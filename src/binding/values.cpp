#include "binding/values.hpp"

#include "util/ref.hpp"

namespace voralix::binding {

PyObject* digest_to_python(const Digest& d) noexcept
{
    PyObject* s = PyUnicode_New(static_cast<Py_ssize_t>(kUidHexLength), 127);
    if (s == nullptr) return nullptr;
    digest_to_hex(d, static_cast<char*>(PyUnicode_DATA(s)));
    return s;
}

PyObject* not_equal_via_eq(PyObject* a, PyObject* b) noexcept
{
    Ref eq = Ref::steal(PyObject_RichCompare(a, b, Py_EQ));
    if (!eq) return nullptr;
    int truth = PyObject_IsTrue(eq.get());
    if (truth < 0) return nullptr;
    return Py_NewRef(truth == 0 ? Py_True : Py_False);
}

} // namespace voralix::binding
