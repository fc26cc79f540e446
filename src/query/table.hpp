// The binding table: rows of cells with one named column per bound variable.
// A row whose cells are all empty does not exist. With only matches, creates,
// merges, sets and deletes, column v's filled cells are exactly the values
// bound to v, in order, from row 0 on: a match or create replaces a column, a
// merge that finds appends after the column's last filled cell.
#pragma once

#include "query/cell.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voralix {

// Rows handed out per pull: small enough that a batch's buffer stays in the
// cache and below the allocator's threshold for separate memory mappings.
constexpr std::size_t kBatchRows = 256;

// Cell buffers are recycled between runs (a small pool kept by the module),
// so a query run again reuses memory instead of mapping fresh pages.
std::vector<Cell> take_cells(std::size_t capacity);
void recycle_cells(std::vector<Cell>&& cells) noexcept;

// Rows of a fixed width, row-major; also the unit the operators pass along.
struct Rows {
    std::size_t width = 0;
    std::vector<Cell> cells;
    // How many rows the consumer can use from this pull: a limit asks for no
    // more than it keeps, so a scan under it reads no further than needed.
    std::size_t want = kBatchRows;

    Rows() = default;
    Rows(Rows&&) noexcept = default;
    Rows& operator=(Rows&&) noexcept = default;
    Rows(const Rows&) = default;
    Rows& operator=(const Rows&) = default;
    ~Rows() { recycle_cells(std::move(cells)); }

    // Room for `n` more rows without reallocation.
    void reserve_rows(std::size_t n)
    {
        const std::size_t need = cells.size() + n * width;
        if (cells.capacity() >= need) return;
        if (cells.capacity() == 0) {
            cells = take_cells(need);
        } else {
            cells.reserve(need);
        }
    }

    std::size_t count() const noexcept { return width == 0 ? 0 : cells.size() / width; }
    bool empty() const noexcept { return cells.empty(); }
    Cell* row(std::size_t r) noexcept { return cells.data() + r * width; }
    const Cell* row(std::size_t r) const noexcept { return cells.data() + r * width; }
    void clear() noexcept { cells.clear(); }
    // Appends a row of empty cells and returns it.
    Cell* add_row()
    {
        cells.resize(cells.size() + width);
        return row(count() - 1);
    }
    void drop_last_row() { cells.resize(cells.size() - width); }
};

bool row_is_empty(const Cell* row, std::size_t width) noexcept;

// The table keeps its rows in the blocks the operators handed over, so that
// collecting a run's rows moves no cell and allocates no large buffer.
struct Table {
    std::vector<std::string> columns;
    std::vector<Rows> blocks; // each of width columns.size(), none empty

    std::size_t width() const noexcept { return columns.size(); }
    std::size_t count() const noexcept;
    std::optional<std::size_t> find(std::string_view name) const noexcept;
    // The column's index, adding an empty column when there is none.
    std::size_t column(std::string_view name);
    // Takes over a block of rows (of this table's width).
    void append(Rows&& block);

    // Calls f(row) for each row in order (f may return false to stop).
    template <class F>
    void for_each_row(F&& f)
    {
        for (Rows& b : blocks) {
            for (std::size_t r = 0; r < b.count(); ++r) {
                if (!f(b.row(r))) return;
            }
        }
    }
    template <class F>
    void for_each_row(F&& f) const
    {
        for (const Rows& b : blocks) {
            for (std::size_t r = 0; r < b.count(); ++r) {
                if (!f(b.row(r))) return;
            }
        }
    }

    // Replaces column `c` by `values` in rows 0..k-1, empties the cells below
    // and grows the table when k exceeds its rows.
    void replace_column(std::size_t c, std::vector<Cell> values);
    // Puts `value` in the row after the column's last filled cell.
    void append_to_column(std::size_t c, Cell value);
    // The first filled cell of column `c` in row order, or null.
    const Cell* first_filled(std::size_t c) const noexcept;
    // Removes the rows whose cells are all empty.
    void drop_empty_rows();

    int traverse(visitproc visit, void* arg) const;
    void clear() noexcept;

    static constexpr const char* kTypeName = "voralix.BindingTable";
};

} // namespace voralix
