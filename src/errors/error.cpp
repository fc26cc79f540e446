#include "errors/error.hpp"

#include "util/ref.hpp"

namespace voralix {

VoralixError VoralixError::type_mismatch(std::string expected, std::string got,
                                         std::optional<std::string> context)
{
    return VoralixError(Kind::TypeMismatch, std::move(expected), std::move(got),
                        std::move(context));
}

VoralixError VoralixError::invalid_pattern(std::string pattern, std::string reason)
{
    return VoralixError(Kind::InvalidPattern, std::move(pattern), std::move(reason), std::nullopt);
}

VoralixError VoralixError::invalid_query(std::string message, std::optional<std::string> context)
{
    return VoralixError(Kind::InvalidQuery, std::move(message), std::string(), std::move(context));
}

std::string VoralixError::message() const
{
    std::string m;
    switch (kind_) {
    case Kind::TypeMismatch:
        m = "Type mismatch: expected " + a_ + ", got " + b_;
        if (ctx_) m += " (in " + *ctx_ + ")";
        break;
    case Kind::InvalidPattern: m = "Invalid pattern '" + a_ + "': " + b_; break;
    case Kind::InvalidQuery:
        m = "Invalid query: " + a_;
        if (ctx_) m += " (" + *ctx_ + ")";
        break;
    }
    return m;
}

PyObject* raise_error(Error&& err) noexcept
{
    if (auto* e = std::get_if<VoralixError>(&err)) {
        PyObject* cls =
            e->kind() == VoralixError::Kind::TypeMismatch ? PyExc_TypeError : PyExc_ValueError;
        try {
            std::string msg = e->message();
            Ref text = Ref::steal(
                PyUnicode_FromStringAndSize(msg.data(), static_cast<Py_ssize_t>(msg.size())));
            if (text) PyErr_SetObject(cls, text.get());
        } catch (...) {
            PyErr_NoMemory();
        }
    }
    return nullptr;
}

int raise_error_int(Error&& err) noexcept
{
    raise_error(std::move(err));
    return -1;
}

} // namespace voralix
