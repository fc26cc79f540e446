#include "query/table.hpp"

#include <algorithm>

namespace voralix {

namespace {

// Empty buffers kept for reuse: a few batches' worth, enough for the tables of
// repeated small and medium queries.
constexpr std::size_t kPooledBuffers = 256;
constexpr std::size_t kSmallestPooled = 64;

std::vector<std::vector<Cell>>& pool()
{
    static std::vector<std::vector<Cell>> buffers = [] {
        std::vector<std::vector<Cell>> b;
        b.reserve(kPooledBuffers); // recycling then never allocates
        return b;
    }();
    return buffers;
}

} // namespace

std::vector<Cell> take_cells(std::size_t capacity)
{
    std::vector<Cell> cells;
    auto& p = pool();
    if (!p.empty()) {
        cells = std::move(p.back());
        p.pop_back();
    }
    cells.reserve(capacity);
    return cells;
}

void recycle_cells(std::vector<Cell>&& cells) noexcept
{
    if (cells.capacity() < kSmallestPooled) return;
    // Releasing the cells may run Python code (finalizers), which may run
    // queries of its own: the buffer joins the pool only once it is empty.
    std::vector<Cell> buffer = std::move(cells);
    buffer.clear();
    auto& p = pool();
    if (p.size() < kPooledBuffers) p.push_back(std::move(buffer));
}

bool row_is_empty(const Cell* row, std::size_t width) noexcept
{
    return std::all_of(row, row + width, [](const Cell& c) { return is_empty(c); });
}

std::size_t Table::count() const noexcept
{
    std::size_t n = 0;
    for (const Rows& b : blocks) n += b.count();
    return n;
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
    const std::size_t old_width = width();
    for (Rows& b : blocks) {
        const std::size_t n = b.count();
        std::vector<Cell> wider(n * (old_width + 1));
        for (std::size_t r = 0; r < n; ++r) {
            std::move(b.row(r), b.row(r) + old_width, wider.begin() + r * (old_width + 1));
        }
        b.width = old_width + 1;
        b.cells = std::move(wider);
    }
    columns.emplace_back(name);
    return old_width;
}

void Table::append(Rows&& block)
{
    if (block.empty()) return;
    blocks.push_back(std::move(block));
}

void Table::replace_column(std::size_t c, std::vector<Cell> values)
{
    std::size_t i = 0;
    for_each_row([&](Cell* row) {
        row[c] = i < values.size() ? std::move(values[i]) : Cell{};
        ++i;
        return true;
    });
    if (i < values.size()) {
        Rows extra;
        extra.width = width();
        for (; i < values.size(); ++i) extra.add_row()[c] = std::move(values[i]);
        append(std::move(extra));
    }
    drop_empty_rows();
}

void Table::append_to_column(std::size_t c, Cell value)
{
    // The last row whose cell in `c` is filled: the value goes in the row after.
    for (std::size_t b = blocks.size(); b-- > 0;) {
        Rows& rows = blocks[b];
        for (std::size_t r = rows.count(); r-- > 0;) {
            if (is_empty(rows.row(r)[c])) continue;
            if (r + 1 < rows.count()) {
                rows.row(r + 1)[c] = std::move(value);
            } else if (b + 1 < blocks.size()) {
                blocks[b + 1].row(0)[c] = std::move(value);
            } else {
                rows.add_row()[c] = std::move(value);
            }
            return;
        }
    }
    // No filled cell: the first row, or a new one.
    if (!blocks.empty()) {
        blocks.front().row(0)[c] = std::move(value);
        return;
    }
    Rows first;
    first.width = width();
    first.add_row()[c] = std::move(value);
    append(std::move(first));
}

const Cell* Table::first_filled(std::size_t c) const noexcept
{
    const Cell* found = nullptr;
    for_each_row([&](const Cell* row) {
        if (is_empty(row[c])) return true;
        found = &row[c];
        return false;
    });
    return found;
}

void Table::drop_empty_rows()
{
    const std::size_t w = width();
    for (Rows& b : blocks) {
        std::size_t kept = 0;
        const std::size_t n = b.count();
        for (std::size_t r = 0; r < n; ++r) {
            if (row_is_empty(b.row(r), w)) continue;
            if (kept != r) std::move(b.row(r), b.row(r) + w, b.row(kept));
            ++kept;
        }
        b.cells.resize(kept * w);
    }
    std::erase_if(blocks, [](const Rows& b) { return b.empty(); });
}

int Table::traverse(visitproc visit, void* arg) const
{
    for (const Rows& b : blocks) {
        for (const Cell& c : b.cells) {
            if (int r = traverse_cell(c, visit, arg)) return r;
        }
    }
    return 0;
}

void Table::clear() noexcept
{
    // Move the cells out first: releasing them may run finalizers.
    std::vector<Rows> gone = std::move(blocks);
    blocks.clear();
}

} // namespace voralix
