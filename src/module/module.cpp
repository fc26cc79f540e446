// The module entry point: one module object per process, refused in any
// interpreter other than the first, with the classes registered in order.
#include <Python.h>

#include "graph/dict_walk.hpp"
#include "graph/graph.hpp"
#include "graph/node_classes.hpp"
#include "patterns/pattern_classes.hpp"
#include "query/query_class.hpp"
#include "term/term_class.hpp"
#include "type_schema/type_schema_class.hpp"
#include "types/type_classes.hpp"
#include "util/ref.hpp"

#include <atomic>
#include <cstdint>

namespace voralix {
namespace {

struct ClassEntry {
    const char* name;
    PyTypeObject* (*type)();
};

// Registration order is the order of __all__.
const ClassEntry kClasses[] = {
    {"Variable", &variable_type},
    {"Application", &application_type},
    {"Term", &term_type},
    {"Node", &node_type},
    {"Edge", &edge_type},
    {"Graph", &graph_type},
    {"TypeSchema", &type_schema_type},
    {"NodePattern", &node_pattern_type},
    {"EdgePattern", &edge_pattern_type},
    {"PathPattern", &path_pattern_type},
    {"Query", &query_type},
};

constexpr const char kModuleDoc[] =
    "voralix: a library for type-theoretical graph modelling.\n"
    "\n"
    "It exposes the type system (type variables, function types and typed terms),\n"
    "the graph components (nodes standing for types, edges standing for terms) and\n"
    "the query mechanisms (type schemas, node/edge/path patterns and a deferred,\n"
    "Cypher-like query builder).\n"
    "\n"
    "# Classes Exposed\n"
    "\n"
    "- `Variable`: Type variables\n"
    "- `Application`: Application types (A -> B)\n"
    "- `Term`: Typed terms\n"
    "- `Node`: Graph nodes with types\n"
    "- `Edge`: Graph edges with terms\n"
    "- `Graph`: The main graph structure\n"
    "- `TypeSchema`: Type pattern matching\n"
    "- `NodePattern`, `EdgePattern`, `PathPattern`: Query patterns\n"
    "- `Query`: Cypher-like query builder\n";

// m_size 0 (not -1): CPython then calls the entry point again in every other
// interpreter instead of copying the first module, so the refusal below runs.
PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "voralix", kModuleDoc, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

std::atomic<std::int64_t> g_interpreter{-1};
PyObject* g_module = nullptr; // kept for the life of the process

bool register_class(PyObject* module, const ClassEntry& entry)
{
    Ref name = Ref::steal(PyUnicode_FromString(entry.name));
    if (!name) return false;
    PyTypeObject* type = entry.type();
    if (type == nullptr) {
        if (!PyErr_Occurred()) PyErr_Format(PyExc_ImportError, "cannot build class %s", entry.name);
        return false;
    }
    PyObject* dict = PyModule_GetDict(module);
    PyObject* all = PyDict_GetItemString(dict, "__all__");
    Ref created;
    if (all == nullptr) {
        created = Ref::steal(PyList_New(0));
        if (!created || PyDict_SetItemString(dict, "__all__", created.get()) < 0) return false;
        all = created.get();
    }
    if (PyList_Append(all, name.get()) < 0) return false;
    return PyObject_SetAttr(module, name.get(), reinterpret_cast<PyObject*>(type)) == 0;
}

PyObject* init_module()
{
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) return nullptr;
    std::int64_t expected = -1;
    if (!g_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "voralix does not support sub-interpreters: it can only be imported "
                        "once per process, in the main interpreter");
        return nullptr;
    }
    if (g_module != nullptr) return Py_NewRef(g_module);
    if (Status watcher = acquire_dict_watcher(); !watcher)
        return raise_error(std::move(watcher).error());

    set_query_factory(&new_query);
    Ref module = Ref::steal(PyModule_Create(&module_def));
    if (!module) return nullptr;
    for (const ClassEntry& entry : kClasses) {
        if (!register_class(module.get(), entry)) return nullptr;
    }
    g_module = Py_NewRef(module.get());
    return module.release();
}

} // namespace
} // namespace voralix

PyMODINIT_FUNC PyInit_voralix(void)
{
    try {
        return voralix::init_module();
    } catch (...) {
        PyErr_SetString(PyExc_ImportError, "voralix failed to initialise");
        return nullptr;
    }
}
