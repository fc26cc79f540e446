// Reads JSON text: the primitives a document reader needs (members of
// objects, items of arrays, strings, indices) and whole values as Python
// objects (dict, list, str, int of any size, float, bool, None). Values are
// read with an explicit stack, so no depth overflows the C stack. The first
// failure is kept with its byte offset; the caller turns it into an exception.
#pragma once

#include <Python.h>

#include "util/interrupt.hpp"
#include "util/ref.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace voralix {

class JsonReader {
public:
    explicit JsonReader(std::string_view text) noexcept : text_(text) {}

    // Byte offset of the next unread character after white space.
    std::size_t here();
    bool at_end();

    // Records a failure at byte offset `at` (the first one wins); returns false.
    bool fail(std::string message, std::size_t at);
    // A Python exception is set (MemoryError, or a signal handler's exception).
    bool python_failed() const noexcept { return python_error_; }
    const std::string& message() const noexcept { return message_; }
    std::size_t failed_at() const noexcept { return failed_at_; }

    // Objects and arrays: begin_* consumes the opening character; next_*
    // returns 1 when a member or item follows (a member's name and ":" are
    // read), 0 after the closing character, -1 on failure.
    bool begin_object() { return begin('{'); }
    int next_member(bool& first, std::string& name, std::size_t& name_at);
    bool begin_array() { return begin('['); }
    int next_item(bool& first);

    // A string as UTF-8 text (a lone surrogate escape is a failure).
    bool string(std::string& out);
    // A string as a new str (lone surrogates kept).
    PyObject* string_object();
    // A non-negative integer below 2**64.
    bool index(std::uint64_t& out);
    // Any value as a new Python object.
    PyObject* value();

private:
    void skip_space() noexcept;
    bool begin(char open);
    bool scan_string(std::string& buf, std::string_view& raw, bool& escaped, bool& lone);
    PyObject* number();
    PyObject* literal();
    bool python_failure()
    {
        python_error_ = true;
        return false;
    }

    std::string_view text_;
    std::size_t p_ = 0;
    std::string message_;
    std::size_t failed_at_ = 0;
    bool failed_ = false;
    bool python_error_ = false;
    InterruptCheck tick_;
    // Member names met so far, as str objects: repeated names share one object.
    std::unordered_map<std::string_view, Ref> names_;
};

} // namespace voralix
