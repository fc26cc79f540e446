// Walks of a graph dict that must hold only Node (or only Edge) objects:
// each step checks for signals, reads the element's record and hands it on;
// a value of another class ends the walk with TypeError
// "{where}[{key!r}]: the value's class is ..., not Node". A DictWalk, so
// Python code run by a step cannot make it read freed memory. Also the
// digest hash that sets of uids use.
#pragma once

#include <Python.h>

#include "binding/convert.hpp"
#include "graph/dict_walk.hpp"
#include "graph/graph_methods.hpp"
#include "graph/node_classes.hpp"
#include "util/interrupt.hpp"

#include <cstring>

namespace voralix {

struct DigestHash {
    std::size_t operator()(const Digest& d) const noexcept
    {
        std::size_t h;
        std::memcpy(&h, d.data(), sizeof h);
        return h;
    }
};

// `f(key, record)` returns false (with an exception set) to stop the walk.
template <class R, class F>
bool walk_elements(const Ref& dict, const char* where, F&& f)
{
    constexpr bool is_node = std::is_same_v<R, NodeRecord>;
    PyTypeObject* cls = is_node ? node_type() : edge_type();
    DictWalk walk(dict);
    InterruptCheck tick;
    PyObject *key, *value;
    while (walk.next(key, value)) {
        if (!tick.tick()) return false;
        if (!Py_IS_TYPE(value, cls)) {
            PyErr_Format(PyExc_TypeError, "%s[%R]: %s", where, key,
                         wrong_class_text(value, binding::bare_type_name(cls)).c_str());
            return false;
        }
        R record;
        bool read;
        if constexpr (is_node) {
            read = read_node(value, record);
        } else {
            read = read_edge(value, record);
        }
        if (!read || !f(key, record)) return false;
    }
    return !walk.failed();
}

} // namespace voralix
