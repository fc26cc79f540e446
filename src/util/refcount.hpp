// The reference counts of the shared immutable values (types, terms). Every
// copy and release of these values happens on a thread that holds the
// interpreter lock: the module never releases it, and since it does not
// declare support for running without it, a free-threaded CPython turns the
// lock back on when it is imported. So a plain increment suffices, where an
// atomic read-modify-write would cost a locked instruction on every copy of a
// record. The counters stay std::atomic so that each access is well defined.
#pragma once

#include <atomic>
#include <cstddef>

namespace voralix {

inline void count_up(std::atomic<std::size_t>& refs) noexcept
{
    refs.store(refs.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

// True when the count dropped to zero.
inline bool count_down(std::atomic<std::size_t>& refs) noexcept
{
    const std::size_t left = refs.load(std::memory_order_relaxed) - 1;
    refs.store(left, std::memory_order_relaxed);
    return left == 0;
}

} // namespace voralix
