#include "query/condition/condition.hpp"

#include "util/unicode.hpp"

namespace voralix::condition {

// Placeholder until the condition language lands: only the empty condition.
Result<Prepared> prepare(std::string_view text, PyObject*)
{
    if (!trim(text).empty()) {
        return VoralixError::invalid_query("Conditions are not supported yet", "where");
    }
    return Prepared{std::string(text)};
}

Result<Bound> bind(const Prepared&,
                   const std::function<std::optional<std::size_t>(std::string_view)>&)
{
    return Bound{};
}

Result<bool> keep(const Bound&, const Cell*)
{
    return true;
}

} // namespace voralix::condition
