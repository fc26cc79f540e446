// Runs a compiled condition on one row of the binding table.
#pragma once

#include "errors/error.hpp"
#include "query/cell.hpp"
#include "query/condition/program.hpp"

#include <cstdint>

namespace voralix::condition {

// The condition's result for the row is true. `columns[slot]` is the column
// of variable slot `slot`; `row` points at the row's cells. Fails with the
// TypeError of a non-boolean operand of and / or / xor / not or result, the
// TypeError of IN over a non-list, or a Python exception from a comparison.
Result<bool> evaluate(const Program& program, const std::uint32_t* columns, const Cell* row);

} // namespace voralix::condition
