// Per-object borrow states: a call reading an object holds a shared borrow, a
// call changing it an exclusive one. A conflicting borrow (only possible on
// re-entry from a Python callback) raises RuntimeError.
#pragma once

#include <Python.h>

#include <cstdint>

namespace voralix::binding {

struct BorrowFlag {
    // 0: free; > 0: number of shared borrows; -1: exclusively borrowed.
    std::int32_t state = 0;
};

class SharedBorrow {
public:
    explicit SharedBorrow(BorrowFlag& f) noexcept : flag_(&f)
    {
        if (f.state < 0) {
            PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
            flag_ = nullptr;
        } else {
            ++f.state;
        }
    }
    SharedBorrow(const SharedBorrow&) = delete;
    SharedBorrow& operator=(const SharedBorrow&) = delete;
    ~SharedBorrow()
    {
        if (flag_ != nullptr) --flag_->state;
    }
    explicit operator bool() const noexcept { return flag_ != nullptr; }

private:
    BorrowFlag* flag_;
};

class ExclusiveBorrow {
public:
    explicit ExclusiveBorrow(BorrowFlag& f) noexcept : flag_(&f)
    {
        if (f.state != 0) {
            PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
            flag_ = nullptr;
        } else {
            f.state = -1;
        }
    }
    ExclusiveBorrow(const ExclusiveBorrow&) = delete;
    ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;
    ~ExclusiveBorrow()
    {
        if (flag_ != nullptr) flag_->state = 0;
    }
    explicit operator bool() const noexcept { return flag_ != nullptr; }

private:
    BorrowFlag* flag_;
};

} // namespace voralix::binding
