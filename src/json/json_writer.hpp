// Writes JSON text from C++ values and from Python property values (dict
// with str keys, list, str, int of any size, finite float, bool, None). The
// value writer walks nested containers with an explicit stack, so no depth
// overflows the C stack.
#pragma once

#include <Python.h>

#include "util/interrupt.hpp"
#include "util/ref.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace voralix {

// Why a Python value has no JSON form: what was met and where (a path of
// subscripts below the value, such as ['tags'][2]). Empty `what` means a
// Python exception is set instead.
struct Unwritable {
    std::string what;
    std::string path;
};

class JsonWriter {
public:
    std::string& out() noexcept { return out_; }
    // Nothing outside ASCII has been written (so the text is its own UTF-8 and Latin-1).
    bool ascii() const noexcept { return ascii_; }

    void raw(char c) { out_ += c; }
    void raw(std::string_view s) { out_ += s; }
    // A JSON string from valid UTF-8 text.
    void string(std::string_view utf8);
    // A JSON string from a str (lone surrogates are written as \uXXXX escapes).
    void string(PyObject* str);
    void integer(std::uint64_t v);

    // Writes `value`, a property value. A dict given at the top may be a dict
    // subclass (a property dict); everything below must be of the exact
    // classes listed above. Returns false on failure: then `why.what` says
    // what has no JSON form, or is empty with a Python exception set
    // (MemoryError, or a signal handler's exception).
    bool value(PyObject* value, Unwritable& why);

private:
    bool python_int(PyObject* v);
    bool python_float(PyObject* v, Unwritable& why);

    std::string out_;
    bool ascii_ = true;
    InterruptCheck tick_;
};

} // namespace voralix
