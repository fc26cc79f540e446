#include "binding/signature.hpp"

#include "util/ref.hpp"

#include <vector>

namespace voralix::binding {

Signature::Signature(const char* owner, const char* name, CallKind kind, const Param* params,
                     std::size_t n)
    : owner_(owner), name_(name), kind_(kind), params_(params), count_(n)
{
    for (std::size_t i = 0; i < n; ++i) {
        switch (params[i].kind) {
        case ParamKind::Normal:
            ++positional_;
            if (params[i].default_text == nullptr) required_positional_ = positional_;
            break;
        case ParamKind::VarArgs: varargs_ = i; break;
        case ParamKind::VarKeywords: varkeywords_ = true; break;
        case ParamKind::Slash:
        case ParamKind::KeywordOnly: break;
        }
    }
}

std::string Signature::full_name() const
{
    std::string s = owner_;
    s += '.';
    switch (kind_) {
    case CallKind::Constructor: s += "__new__"; break;
    case CallKind::Call: s += "__call__"; break;
    default: s += name_; break;
    }
    s += "()";
    return s;
}

std::string Signature::signature_line() const
{
    std::string s = kind_ == CallKind::Constructor ? owner_ : name_;
    s += '(';
    bool first = true;
    auto sep = [&] {
        if (!first) s += ", ";
        first = false;
    };
    if (kind_ == CallKind::Method || kind_ == CallKind::Call) {
        sep();
        s += "$self";
    } else if (kind_ == CallKind::Class) {
        sep();
        s += "$type";
    }
    bool star_written = false;
    for (std::size_t i = 0; i < count_; ++i) {
        const Param& p = params_[i];
        if (p.kind == ParamKind::KeywordOnly && !star_written) {
            sep();
            s += '*';
            star_written = true;
        }
        sep();
        if (p.kind == ParamKind::VarArgs) {
            s += '*';
            star_written = true;
        }
        if (p.kind == ParamKind::VarKeywords) s += "**";
        s += p.name;
        if (p.default_text != nullptr) {
            s += '=';
            s += p.default_text;
        }
    }
    s += ')';
    return s;
}

std::string Signature::docstring(const char* body) const
{
    std::string s = signature_line();
    s += "\n--\n\n";
    if (body != nullptr) s += body;
    return s;
}

PyObject* Signature::interned_name(std::size_t i) const
{
    if (interned_[i] == nullptr) interned_[i] = PyUnicode_InternFromString(params_[i].name);
    return interned_[i];
}

namespace {

void raise_type_error(const std::string& msg)
{
    PyErr_SetString(PyExc_TypeError, msg.c_str());
}

// "'a'", "'a' and 'b'", "'a', 'b' and 'c'".
std::string quoted_list(const std::vector<const char*>& names)
{
    std::string s;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i != 0) s += (i + 1 == names.size()) ? " and " : ", ";
        s += '\'';
        s += names[i];
        s += '\'';
    }
    return s;
}

void raise_missing(const Signature& sig, const char* what, const std::vector<const char*>& names)
{
    std::string msg = sig.full_name() + " missing " + std::to_string(names.size()) + " required " +
                      what + (names.size() == 1 ? " argument: " : " arguments: ") +
                      quoted_list(names);
    raise_type_error(msg);
}

void raise_too_many(const Signature& sig, Py_ssize_t given)
{
    std::string msg = sig.full_name() + " takes ";
    if (sig.required_positional() != sig.positional_count()) {
        msg += "from " + std::to_string(sig.required_positional()) + " to " +
               std::to_string(sig.positional_count());
    } else {
        msg += std::to_string(sig.positional_count());
    }
    msg += " positional arguments but " + std::to_string(given) +
           (given == 1 ? " was given" : " were given");
    raise_type_error(msg);
}

// Parameters a keyword argument can name.
bool by_keyword(const Param& p)
{
    return p.kind == ParamKind::Normal || p.kind == ParamKind::KeywordOnly;
}

// Index of the parameter that the keyword `key` names, or -1.
Py_ssize_t find_keyword(const Signature& sig, PyObject* key)
{
    for (std::size_t i = 0; i < sig.size(); ++i) {
        if (!by_keyword(sig.param(i))) continue;
        if (sig.interned_name(i) == key) return static_cast<Py_ssize_t>(i);
    }
    for (std::size_t i = 0; i < sig.size(); ++i) {
        if (!by_keyword(sig.param(i))) continue;
        if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, sig.param(i).name) == 0) {
            return static_cast<Py_ssize_t>(i);
        }
    }
    return -1;
}

} // namespace

bool bind(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          Args& out)
{
    out.sig = &sig;
    const auto npos = static_cast<Py_ssize_t>(sig.positional_count());
    const Py_ssize_t take = nargs < npos ? nargs : npos;
    for (Py_ssize_t i = 0; i < take; ++i) out.slot[i] = args[i];
    if (nargs > npos) {
        if (!sig.has_varargs()) {
            raise_too_many(sig, nargs);
            return false;
        }
        out.varargs = args + npos;
        out.nvarargs = nargs - npos;
    }
    if (kwnames != nullptr) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            PyObject* key = PyTuple_GET_ITEM(kwnames, k);
            const Py_ssize_t i = find_keyword(sig, key);
            if (i < 0 && sig.has_varkeywords()) {
                if (!out.varkw) out.varkw = Ref::steal(PyDict_New());
                if (!out.varkw || PyDict_SetItem(out.varkw.get(), key, args[nargs + k]) < 0) {
                    return false;
                }
                continue;
            }
            if (i < 0) {
                PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'",
                             sig.full_name().c_str(), key);
                return false;
            }
            if (out.slot[i] != nullptr) {
                PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                             sig.full_name().c_str(), sig.param(static_cast<std::size_t>(i)).name);
                return false;
            }
            out.slot[i] = args[nargs + k];
        }
    }
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < sig.required_positional(); ++i) {
        if (out.slot[i] == nullptr) missing.push_back(sig.param(i).name);
    }
    if (!missing.empty()) {
        raise_missing(sig, "positional", missing);
        return false;
    }
    for (std::size_t i = 0; i < sig.size(); ++i) {
        const Param& p = sig.param(i);
        if (p.kind == ParamKind::KeywordOnly && p.default_text == nullptr &&
            out.slot[i] == nullptr) {
            missing.push_back(p.name);
        }
    }
    if (!missing.empty()) {
        raise_missing(sig, "keyword", missing);
        return false;
    }
    return true;
}

bool bind_tuple(const Signature& sig, PyObject* args, PyObject* kwargs, Args& out, Ref& holder)
{
    // Lay the call out as a vectorcall would see it: positionals, then the
    // keyword values, with their names in a tuple.
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    const Py_ssize_t nkw = kwargs != nullptr ? PyDict_GET_SIZE(kwargs) : 0;
    if (nkw == 0) {
        return bind(sig, &PyTuple_GET_ITEM(args, 0), nargs, nullptr, out);
    }
    Ref all = Ref::steal(PyTuple_New(nargs + nkw));
    Ref names = Ref::steal(PyTuple_New(nkw));
    if (!all || !names) return false;
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        PyTuple_SET_ITEM(all.get(), i, Py_NewRef(PyTuple_GET_ITEM(args, i)));
    }
    Py_ssize_t pos = 0, k = 0;
    PyObject *key, *value;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
        PyTuple_SET_ITEM(names.get(), k, Py_NewRef(key));
        PyTuple_SET_ITEM(all.get(), nargs + k, Py_NewRef(value));
        ++k;
    }
    if (!bind(sig, &PyTuple_GET_ITEM(all.get(), 0), nargs, names.get(), out)) return false;
    holder = std::move(all);
    return true;
}

} // namespace voralix::binding
