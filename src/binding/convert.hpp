// Argument conversion with the customary error texts. Every function returns
// false with a Python exception set on failure. `arg` names the argument for
// the "argument '{name}': " prefix; pass nullptr for an unprefixed error.
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace voralix::binding {

// A class's name without its module: "Node" for builtins.Node, "int", "OrderedDict".
const char* bare_type_name(PyTypeObject* type) noexcept;

// TypeError "'{type name}' object cannot be converted to '{target}'".
void raise_cannot_convert(PyObject* obj, const char* target) noexcept;

// If the pending exception is exactly TypeError, replaces it with a TypeError
// whose message is prefixed by "argument '{arg}': " and which takes over the
// original's cause. Any other exception is left as it is.
void prefix_argument_error(const char* arg) noexcept;

// A str (or subclass instance) as UTF-8, valid while `o` lives. A str that
// cannot be encoded (a lone surrogate) raises UnicodeEncodeError unprefixed.
bool to_text(PyObject* o, const char* arg, std::string_view& out) noexcept;
// Absent (null) or None gives nullopt.
bool to_optional_text(PyObject* o, const char* arg, std::optional<std::string_view>& out) noexcept;
// A dict or dict subclass instance.
bool check_dict(PyObject* o, const char* arg) noexcept;
// True / False, or NumPy's boolean scalar; nothing else.
bool to_bool(PyObject* o, const char* arg, bool& out) noexcept;
// An integer in [0, 2**64): OverflowError outside, TypeError for a non-integer.
bool to_u64(PyObject* o, const char* arg, std::uint64_t& out) noexcept;
// An instance of exactly `type` (our classes are final).
bool check_instance(PyObject* o, PyTypeObject* type, const char* arg) noexcept;

} // namespace voralix::binding
