// The ORDER BY order: a total order across kinds of Python values and a
// guarded, stable merge sort of row indexes by one or more keys.
#pragma once

#include <Python.h>

#include "errors/error.hpp"
#include "util/ref.hpp"

#include <cstdint>
#include <vector>

namespace voralix::condition {

// One sort key: values[row] is the row's value of `variable.key` (null: an
// empty cell, a list-of-edges cell, a missing key or None), and the direction.
struct SortKey {
    std::vector<Ref> values;
    bool ascending = true;
};

// Stably sorts `order` (row indexes) by the keys, the first key primary.
// Ascending order: dicts (all tie) < lists and tuples (element by element,
// by this order) < strings (code points) < booleans (false < true) < numbers
// (int and float and their subclasses other than bool, exactly) < NaN <
// other objects (by type name, then Python `<`) < null (nullptr or None).
// A descending key reverses the comparison; tied rows keep their order in
// both directions. A Python comparison that raises ends the sort with
// that exception (`order` is then still a permutation of itself). Checks for
// signals. Python `<` may be inconsistent: the merge never reads out of bounds.
Status sort_rows(std::vector<std::uint32_t>& order, const std::vector<SortKey>& keys);

} // namespace voralix::condition
