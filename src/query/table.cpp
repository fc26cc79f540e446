#include "query/table.hpp"

#include <algorithm>

namespace voralix {

bool row_is_empty(const Cell* row, std::size_t width) noexcept
{
    return std::all_of(row, row + width, [](const Cell& c) { return is_empty(c); });
}

std::optional<std::size_t> Table::find(std::string_view name) const noexcept
{
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i] == name) return i;
    }
    return std::nullopt;
}

std::size_t Table::column(std::string_view name)
{
    if (auto c = find(name)) return *c;
    const std::size_t old_width = width(), n = count();
    std::vector<Cell> wider(n * (old_width + 1));
    for (std::size_t r = 0; r < n; ++r) {
        std::move(rows.row(r), rows.row(r) + old_width, wider.begin() + r * (old_width + 1));
    }
    columns.emplace_back(name);
    rows.width = old_width + 1;
    rows.cells = std::move(wider);
    return old_width;
}

void Table::replace_column(std::size_t c, std::vector<Cell> values)
{
    while (count() < values.size()) rows.add_row();
    for (std::size_t r = 0; r < count(); ++r) {
        rows.row(r)[c] = r < values.size() ? std::move(values[r]) : Cell{};
    }
    drop_empty_rows();
}

void Table::append_to_column(std::size_t c, Cell value)
{
    std::size_t r = count();
    while (r > 0 && is_empty(rows.row(r - 1)[c])) --r;
    if (r == count()) rows.add_row();
    rows.row(r)[c] = std::move(value);
}

const Cell* Table::first_filled(std::size_t c) const noexcept
{
    for (std::size_t r = 0; r < count(); ++r) {
        if (!is_empty(rows.row(r)[c])) return &rows.row(r)[c];
    }
    return nullptr;
}

void Table::drop_empty_rows()
{
    std::size_t kept = 0;
    const std::size_t n = count(), w = width();
    for (std::size_t r = 0; r < n; ++r) {
        if (row_is_empty(rows.row(r), w)) continue;
        if (kept != r) std::move(rows.row(r), rows.row(r) + w, rows.row(kept));
        ++kept;
    }
    rows.cells.resize(kept * w);
}

int Table::traverse(visitproc visit, void* arg) const
{
    for (const Cell& c : rows.cells) {
        if (int r = traverse_cell(c, visit, arg)) return r;
    }
    return 0;
}

void Table::clear() noexcept
{
    // Move the cells out first: releasing them may run finalizers.
    std::vector<Cell> cells = std::move(rows.cells);
    rows.cells.clear();
}

} // namespace voralix
