// The condition language of where(): prepared once per run (parsed, its
// parameters looked up), bound to the binding table's columns when the where
// operation runs, and evaluated per row.
#pragma once

#include <Python.h>

#include "errors/error.hpp"
#include "query/cell.hpp"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace voralix::condition {

struct Prepared {
    std::string text;
};

struct Bound {
    bool always = true;
};

// Parses `text` and looks up its parameters in `params` (a dict, or null).
Result<Prepared> prepare(std::string_view text, PyObject* params);

// Resolves the condition's variables to columns.
Result<Bound> bind(const Prepared& prepared,
                   const std::function<std::optional<std::size_t>(std::string_view)>& column_of);

// True when the condition holds for the row (its cells indexed by column).
Result<bool> keep(const Bound& bound, const Cell* row);

} // namespace voralix::condition
