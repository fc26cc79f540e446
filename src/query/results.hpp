// The rows that return_ and return_distinct hand out, built once from the
// binding table: one dict per row, from the requested variables' filled cells.
#pragma once

#include <Python.h>

#include "query/table.hpp"

#include <string_view>
#include <vector>

namespace voralix {

// A list of row dicts (rows with none of the names filled are left out); with
// `distinct`, a row equal to an earlier one (same elements by kind and uid
// under the same names) is left out too. `table` may be null (no bindings).
PyObject* rows_to_python(const Table* table, const std::vector<std::string_view>& names,
                         bool distinct);

} // namespace voralix
