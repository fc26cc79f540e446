#include "binding/pyclass.hpp"

#include "binding/reduce.hpp"

#include <cstddef>
#include <cstring>
#include <exception>
#include <list>
#include <string>

namespace voralix::binding {

PyObject* raise_cpp_exception() noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_SystemError, e.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "unexpected C++ exception");
    }
    return nullptr;
}

namespace {
// Docstrings referenced by method tables must outlive the types.
const char* keep(std::string s)
{
    static std::list<std::string> store;
    store.push_back(std::move(s));
    return store.back().c_str();
}
} // namespace

ClassBuilder::ClassBuilder(const char* name, const Signature& ctor, const char* doc_body)
    : name_(name), doc_(ctor.docstring(doc_body)), methods_(new std::vector<PyMethodDef>()),
      getset_(new std::vector<PyGetSetDef>())
{
}

ClassBuilder& ClassBuilder::slot(int id, void* fn)
{
    slots_.push_back({id, fn});
    return *this;
}

ClassBuilder& ClassBuilder::add_method(const Signature& sig, PyCFunction fn, const char* doc_body)
{
    int flags = METH_FASTCALL | METH_KEYWORDS;
    if (sig.kind() == CallKind::Static) flags |= METH_STATIC;
    if (sig.kind() == CallKind::Class) flags |= METH_CLASS;
    if (std::strcmp(sig.name(), "__reduce__") == 0) has_reduce_ = true;
    methods_->push_back({sig.name(), fn, flags, keep(sig.docstring(doc_body))});
    return *this;
}

ClassBuilder& ClassBuilder::attribute(const char* name, ::getter g, ::setter s, const char* doc)
{
    getset_->push_back({name, g, s, doc, nullptr});
    return *this;
}

ClassBuilder& ClassBuilder::callable()
{
    callable_ = true;
    slot(Py_tp_call, reinterpret_cast<void*>(&PyVectorcall_Call));
    return *this;
}

PyTypeObject* ClassBuilder::build()
{
    if (!has_reduce_) {
        // A class that says nothing of pickling refuses it (and so copy.copy and
        // copy.deepcopy) with a clear TypeError.
        auto refuse = reinterpret_cast<void (*)()>(&refuse_reduce);
        methods_->push_back({"__reduce_ex__", reinterpret_cast<PyCFunction>(refuse),
                             METH_FASTCALL | METH_KEYWORDS,
                             "__reduce_ex__($self, protocol, /)\n--\n\n"
                             "Refuses copying and pickling with TypeError."});
    }
    methods_->push_back({nullptr, nullptr, 0, nullptr});
    getset_->push_back({nullptr, nullptr, nullptr, nullptr, nullptr});
    slots_.push_back({Py_tp_doc, const_cast<char*>(doc_.c_str())});
    slots_.push_back({Py_tp_methods, methods_->data()});
    slots_.push_back({Py_tp_getset, getset_->data()});
    static PyMemberDef vectorcall_member[] = {
        {"__vectorcalloffset__", Py_T_PYSSIZET,
         static_cast<Py_ssize_t>(offsetof(ObjectHead, vectorcall)), Py_READONLY, nullptr},
        {nullptr, 0, 0, 0, nullptr},
    };
    if (callable_) slots_.push_back({Py_tp_members, vectorcall_member});
    slots_.push_back({0, nullptr});

    std::string qualified = std::string("builtins.") + name_;
    unsigned int flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
    if (gc_) flags |= Py_TPFLAGS_HAVE_GC;
    if (callable_) flags |= Py_TPFLAGS_HAVE_VECTORCALL;
    PyType_Spec type_spec{keep(qualified), static_cast<int>(basicsize_), 0, flags, slots_.data()};
    auto* type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&type_spec));
    if (type == nullptr) return nullptr;
    type->tp_vectorcall = ctor_vectorcall_;
    return type;
}

} // namespace voralix::binding
