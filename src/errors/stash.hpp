// Sets the pending Python exception aside while clean-up code that calls the
// C API runs (allocation with an exception pending is not allowed), then sets
// it again.
#pragma once

#include <Python.h>

#include "errors/discard.hpp"
#include "util/ref.hpp"

namespace voralix {

class ExceptionStash {
public:
    ExceptionStash() noexcept : saved_(Ref::steal(PyErr_GetRaisedException())) {}
    ExceptionStash(const ExceptionStash&) = delete;
    ExceptionStash& operator=(const ExceptionStash&) = delete;
    // An exception raised by the clean-up gives way to the saved one, unless
    // it is no Exception (an interrupt, an exit request): that one wins.
    ~ExceptionStash()
    {
        if (!discard_exception()) return;
        if (saved_) PyErr_SetRaisedException(saved_.release());
    }

private:
    Ref saved_;
};

} // namespace voralix
