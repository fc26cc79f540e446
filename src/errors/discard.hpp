// The one place where a pending Python exception may be discarded. Only
// Exception subclasses are ever dropped; KeyboardInterrupt, SystemExit and
// every other BaseException stay set for the caller to pass on.
#pragma once

#include <Python.h>

namespace voralix {

// Drops the pending exception if it is an Exception and returns true; leaves
// any other exception pending and returns false. With nothing pending, true.
inline bool discard_exception() noexcept
{
    if (!PyErr_Occurred()) return true;
    if (!PyErr_ExceptionMatches(PyExc_Exception)) return false;
    PyErr_Clear();
    return true;
}

} // namespace voralix
