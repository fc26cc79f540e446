// The program's own error kinds and the Result type that internal operations
// return. A Result holds a value, a VoralixError, or the note that a Python
// exception is already set. Conversion to Python happens only in raise_error().
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace voralix {

class VoralixError {
public:
    enum class Kind : std::uint8_t { TypeMismatch, InvalidPattern, InvalidQuery };

    static VoralixError type_mismatch(std::string expected, std::string got,
                                      std::optional<std::string> context = std::nullopt);
    static VoralixError invalid_pattern(std::string pattern, std::string reason);
    static VoralixError invalid_query(std::string message,
                                      std::optional<std::string> context = std::nullopt);

    Kind kind() const noexcept { return kind_; }
    // Fields in their documented order: (expected, got, context),
    // (pattern, reason) or (message, context).
    const std::string& first() const noexcept { return a_; }
    const std::string& second() const noexcept { return b_; }
    const std::optional<std::string>& context() const noexcept { return ctx_; }

    // The message text of the kind's template.
    std::string message() const;

private:
    VoralixError(Kind k, std::string a, std::string b, std::optional<std::string> ctx)
        : kind_(k), a_(std::move(a)), b_(std::move(b)), ctx_(std::move(ctx))
    {
    }
    Kind kind_;
    std::string a_, b_;
    std::optional<std::string> ctx_;
};

// Marker: a Python exception has been set by the code that failed.
struct PythonError {};

using Error = std::variant<PythonError, VoralixError>;

// Sets the Python exception for `err` (nothing to do for PythonError) and
// returns nullptr, so call sites can `return raise_error(...)`.
PyObject* raise_error(Error&& err) noexcept;
int raise_error_int(Error&& err) noexcept;

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(VoralixError e) : v_(std::in_place_index<1>, std::move(e)) {}
    Result(PythonError e) : v_(std::in_place_index<1>, e) {}
    Result(Error e) : v_(std::in_place_index<1>, std::move(e)) {}

    bool ok() const noexcept { return v_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }
    T& value() & { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T& operator*() & { return value(); }
    T* operator->() { return &value(); }
    Error&& error() && { return std::get<1>(std::move(v_)); }
    Error& error() & { return std::get<1>(v_); }

private:
    std::variant<T, Error> v_;
};

using Status = Result<std::monostate>;
inline Status ok_status()
{
    return Status(std::monostate{});
}

} // namespace voralix
