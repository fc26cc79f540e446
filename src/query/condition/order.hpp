// The order of ORDER BY across kinds of property values, and a stable sort of
// row indexes by several keys.
#pragma once

#include "errors/error.hpp"
#include "util/ref.hpp"

#include <cstdint>
#include <vector>

namespace voralix::condition {

// One sort key: per row, the property value (null for none) and the direction.
struct SortKey {
    std::vector<Ref> values;
    bool ascending = true;
};

// Sorts `order` (row indexes) stably by the keys, the first key primary.
Status sort_rows(std::vector<std::uint32_t>& order, const std::vector<SortKey>& keys);

} // namespace voralix::condition
