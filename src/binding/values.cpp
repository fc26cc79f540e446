#include "binding/values.hpp"

namespace voralix::binding {

PyObject* digest_to_python(const Digest& d) noexcept
{
    PyObject* s = PyUnicode_New(static_cast<Py_ssize_t>(kUidHexLength), 127);
    if (s == nullptr) return nullptr;
    digest_to_hex(d, static_cast<char*>(PyUnicode_DATA(s)));
    return s;
}

} // namespace voralix::binding
