// The hop bounds of a variable-length edge pattern, such as [e*1..3].
#pragma once

#include <cstdint>
#include <optional>

namespace voralix {

// min > max is allowed: such a pattern matches no path.
struct HopRange {
    std::uint64_t min = 1;
    std::optional<std::uint64_t> max; // absent: unbounded
};

} // namespace voralix
