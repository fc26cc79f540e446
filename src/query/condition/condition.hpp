// The condition language of where(), in three phases:
//   1. prepare(): when a terminal method starts, before any operation runs,
//      parse the text and look up its $parameters, so that neither a syntax
//      error nor a missing parameter leaves half-applied writes;
//   2. bind(): when the where operation runs, resolve variable names to the
//      binding table's columns;
//   3. keep(): per row, whether the condition is true (null and false drop
//      the row; Kleene logic with short-circuit).
// A Prepared or Bound condition holds Python references (literals and
// parameter values): keep it for one run, and release it holding the GIL.
#pragma once

#include <Python.h>

#include "errors/error.hpp"
#include "query/cell.hpp"
#include "query/condition/program.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voralix::condition {

struct Prepared {
    std::shared_ptr<const Program> program;
};

struct Bound {
    std::shared_ptr<const Program> program;
    std::vector<std::uint32_t> columns; // the column of each variable slot
};

// Phase 1. `params` is a dict of name -> value, or null when none were
// given. Errors: InvalidQuery "<reason> at offset N" (context "where"; N is
// the code-point index of the offending token's start, the text's length at
// its end) for a syntax error; InvalidQuery "Parameter 'name' not given" for
// a missing parameter (after the whole text parsed, parameters in text order).
Result<Prepared> prepare(std::string_view text, PyObject* params);

// The distinct variables a prepared condition reads, in text order.
const std::vector<std::string>& variables(const Prepared& p) noexcept;

// Phase 2. `column_of(name)` gives a variable's column, or nullopt when it
// is not a column of the table: InvalidQuery "Variable 'x' not defined"
// (context "where"), for the first such variable in text order.
Result<Bound> bind(const Prepared& p,
                   const std::function<std::optional<std::size_t>(std::string_view)>& column_of);

// Phase 3. `row` points at the row's cells, indexed by column. True only
// when the condition is true. Failures: TypeError "Type mismatch: expected
// boolean, got <kind> (in where)" for a non-boolean operand of
// and / or / xor / not or result; TypeError "Type mismatch: expected list,
// got <kind> (in where)" for IN over a non-list; or the Python exception of
// a Python comparison (never swallowed).
Result<bool> keep(const Bound& b, const Cell* row);

} // namespace voralix::condition
