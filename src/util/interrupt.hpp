// Signal checks for loops whose length grows with the graph or the result:
// every few thousand steps the loop asks CPython to run pending signal
// handlers, so Ctrl-C ends a long query promptly.
#pragma once

#include <Python.h>

#include <cstdint>

namespace voralix {

class InterruptCheck {
public:
    // Counts one step; every kInterval steps runs the pending signal handlers.
    // Returns false with the handler's exception set (KeyboardInterrupt for Ctrl-C).
    bool tick() noexcept
    {
        if ((++steps_ & (kInterval - 1)) != 0) return true;
        return PyErr_CheckSignals() == 0;
    }
    // Counts `n` steps at once (a batch of work done without a check).
    bool tick(std::uint32_t n) noexcept
    {
        const std::uint32_t before = steps_;
        steps_ += n;
        if ((before ^ steps_) < kInterval && n < kInterval) return true;
        return PyErr_CheckSignals() == 0;
    }

private:
    static constexpr std::uint32_t kInterval = 4096; // a power of two
    std::uint32_t steps_ = 0;
};

} // namespace voralix
