// One declaration per callable: the parameter list from which both the
// docstring's text-signature line and every argument-binding message derive.
#pragma once

#include <Python.h>

#include "util/ref.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

namespace voralix::binding {

constexpr std::size_t kMaxParams = 12;

enum class ParamKind : std::uint8_t {
    Normal,      // by position or by keyword
    KeywordOnly, // after "*" (or after *args)
    VarArgs,     // *name: collects the remaining positional arguments
    Slash,       // "/" right after $self: nothing but $self is positional-only
    VarKeywords, // **name: collects the keyword arguments that name no parameter
};

struct Param {
    const char* name;
    // Text shown after "=" in the signature line ("None", "...", "True",
    // "False"); nullptr marks a required parameter.
    const char* default_text = nullptr;
    ParamKind kind = ParamKind::Normal;
};

enum class CallKind : std::uint8_t {
    Constructor, // Class(args): messages name Class.__new__()
    Method,      // name($self, args)
    Static,      // name(args), callable on the class
    Class,       // name($type, args): a classmethod, called with the class
    Call,        // instance call: messages name Class.__call__()
};

// Parameters must be declared in the order: Normal (required before
// defaulted) or a lone Slash, then at most one VarArgs, then KeywordOnly,
// then at most one VarKeywords.
class Signature {
public:
    template <std::size_t N>
    Signature(const char* owner, const char* name, CallKind kind, const Param (&params)[N])
        : Signature(owner, name, kind, params, N)
    {
        static_assert(N <= kMaxParams);
    }
    Signature(const char* owner, const char* name, CallKind kind)
        : Signature(owner, name, kind, nullptr, 0)
    {
    }

    const char* owner() const noexcept { return owner_; }
    const char* name() const noexcept { return name_; }
    CallKind kind() const noexcept { return kind_; }
    std::size_t size() const noexcept { return count_; }
    const Param& param(std::size_t i) const noexcept { return params_[i]; }

    std::size_t positional_count() const noexcept { return positional_; }
    std::size_t required_positional() const noexcept { return required_positional_; }
    bool has_varargs() const noexcept { return varargs_ != kNone; }
    bool has_varkeywords() const noexcept { return varkeywords_; }
    std::size_t varargs_index() const noexcept { return varargs_; }

    // "Class.method()" as used in binding messages.
    std::string full_name() const;
    // "Variable(name)", "uid($self)", "match($self, pattern=None, *, node=None)".
    std::string signature_line() const;
    // signature_line() + "\n--\n\n" + body.
    std::string docstring(const char* body) const;

    // Interned parameter names, made at first use (keyword matching compares
    // pointers first).
    PyObject* interned_name(std::size_t i) const;

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    Signature(const char* owner, const char* name, CallKind kind, const Param* params,
              std::size_t n);

    const char* owner_;
    const char* name_;
    CallKind kind_;
    const Param* params_;
    std::size_t count_;
    std::size_t positional_ = 0;
    std::size_t required_positional_ = 0;
    std::size_t varargs_ = kNone;
    bool varkeywords_ = false;
    mutable PyObject* interned_[kMaxParams] = {};
};

// Arguments bound to a signature: borrowed references, null where absent.
struct Args {
    const Signature* sig = nullptr;
    PyObject* slot[kMaxParams] = {};
    PyObject* const* varargs = nullptr;
    Py_ssize_t nvarargs = 0;
    Ref varkw; // **name: a new dict of the extra keywords (null when none were given)

    PyObject* operator[](std::size_t i) const noexcept { return slot[i]; }
    // Present and not None (an optional argument given as None is absent).
    bool given(std::size_t i) const noexcept { return slot[i] != nullptr && slot[i] != Py_None; }
    const char* name(std::size_t i) const noexcept { return sig->param(i).name; }
};

// Binds a vectorcall argument vector to `sig`. On failure sets TypeError with
// the customary message and returns false.
bool bind(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          Args& out);

// The same for the tuple / dict calling convention (tp_new, tp_call).
// `holder` keeps the rearranged argument array alive while `out` is used.
bool bind_tuple(const Signature& sig, PyObject* args, PyObject* kwargs, Args& out, Ref& holder);

} // namespace voralix::binding
