#include "query/condition/order.hpp"

namespace voralix::condition {

// Placeholder until the value order lands.
Status sort_rows(std::vector<std::uint32_t>&, const std::vector<SortKey>& keys)
{
    if (keys.empty()) return ok_status();
    return VoralixError::invalid_query("Ordering is not supported yet", "order by");
}

} // namespace voralix::condition
