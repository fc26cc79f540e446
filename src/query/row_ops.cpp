// The operators over binding-table rows: the stored table as a source, the
// positional bind of a match, where, order by, skip / limit and with.
#include "query/operators.hpp"

#include "binding/shared.hpp"
#include "query/condition/order.hpp"

#include <algorithm>

namespace voralix {

Status SourceOp::next(RunContext&, Rows& out)
{
    if (!table) return ok_status();
    const Table& t = binding::shared_value<Table>(table);
    out.width = t.width();
    if (next_block == t.blocks.size()) return ok_status();
    const Rows& b = t.blocks[next_block];
    const std::size_t end = std::min(b.count(), next_row + out.want);
    out.cells.assign(b.row(next_row), b.row(end));
    next_row = end;
    if (next_row == b.count()) {
        ++next_block;
        next_row = 0;
    }
    return ok_status();
}

namespace {

// Refills `rows` from `op` when all its rows are used; false once `op` has
// no more rows.
Result<bool> refill(Operator& op, RunContext& ctx, Rows& rows, std::size_t& next, bool& done,
                    std::size_t want)
{
    if (next < rows.count()) return true;
    if (done) return false;
    rows.want = want;
    Status s = pull(op, ctx, rows);
    if (!s) return std::move(s).error();
    next = 0;
    done = rows.empty();
    return !done;
}

} // namespace

Status BindOp::next(RunContext& ctx, Rows& out)
{
    out.width = out_width;
    while (out.count() < out.want) {
        const std::size_t want = out.want - out.count();
        bool have_in = false;
        if (input) {
            auto r = refill(*input, ctx, in_rows, in_next, input_done, want);
            if (!r) return std::move(r).error();
            have_in = *r;
        }
        auto p = refill(*paths, ctx, path_rows, path_next, paths_done, want);
        if (!p) return std::move(p).error();
        const bool have_path = *p;
        if (!have_in && !have_path) break;
        if (!have_in && identity && out.empty() && path_next == 0) {
            // Path rows laid out as the table's rows: hand the batch over whole.
            std::swap(out.cells, path_rows.cells);
            path_rows.clear();
            return ok_status();
        }
        Cell* row = out.add_row();
        if (have_in) {
            Cell* source = in_rows.row(in_next++);
            std::move(source, source + in_width, row);
        }
        if (have_path) {
            Cell* path = path_rows.row(path_next++);
            for (const auto& [position, column] : mapping) row[column] = std::move(path[position]);
        } else {
            for (const auto& [position, column] : mapping) row[column] = Cell{};
        }
        if (row_is_empty(row, out_width)) out.drop_last_row();
    }
    return ok_status();
}

Status FilterOp::next(RunContext& ctx, Rows& out)
{
    Rows& batch = in_rows;
    while (out.empty()) {
        Status s = pull(*input, ctx, batch);
        if (!s) return s;
        out.width = batch.width;
        if (batch.empty()) break;
        for (std::size_t r = 0; r < batch.count(); ++r) {
            if (!interrupt.tick()) return PythonError{};
            Cell* row = batch.row(r);
            Result<bool> keep = condition::keep(condition, row);
            if (!keep) return std::move(keep).error();
            if (*keep) std::move(row, row + batch.width, out.add_row());
        }
    }
    return ok_status();
}

Status SortOp::next(RunContext& ctx, Rows& out)
{
    if (!sorted) {
        Rows batch;
        for (;;) {
            Status s = pull(*input, ctx, batch);
            if (!s) return s;
            if (batch.empty()) break;
            rows.width = batch.width;
            std::move(batch.cells.begin(), batch.cells.end(), std::back_inserter(rows.cells));
        }
        const std::size_t n = rows.count();
        std::vector<condition::SortKey> sort_keys;
        InterruptCheck interrupt;
        for (const Key& k : keys) {
            condition::SortKey sk;
            sk.ascending = k.ascending;
            sk.values.reserve(n);
            for (std::size_t r = 0; r < n; ++r) {
                if (!interrupt.tick()) return PythonError{};
                const Cell& c = rows.row(r)[k.column];
                const Ref* props = nullptr;
                if (const auto* node = std::get_if<NodeRecord>(&c)) props = &node->properties;
                if (const auto* edge = std::get_if<EdgeRecord>(&c)) props = &edge->properties;
                if (props == nullptr) {
                    sk.values.emplace_back();
                    continue;
                }
                auto value = lookup_property(*props, k.property.get());
                if (!value) return std::move(value).error();
                sk.values.push_back(std::move(*value));
            }
            sort_keys.push_back(std::move(sk));
        }
        order.resize(n);
        for (std::size_t r = 0; r < n; ++r) order[r] = static_cast<std::uint32_t>(r);
        Status s = condition::sort_rows(order, sort_keys);
        if (!s) return s;
        sorted = true;
    }
    out.width = rows.width;
    while (next_row < order.size() && out.count() < out.want) {
        Cell* row = rows.row(order[next_row++]);
        std::move(row, row + rows.width, out.add_row());
    }
    return ok_status();
}

Status SliceOp::next(RunContext& ctx, Rows& out)
{
    Rows& batch = in_rows;
    while (out.empty()) {
        if (limit && *limit == 0) return ok_status();
        batch.want = kBatchRows;
        if (limit && skip < kBatchRows && *limit < kBatchRows - skip) {
            batch.want = static_cast<std::size_t>(skip + *limit);
        }
        Status s = pull(*input, ctx, batch);
        if (!s) return s;
        out.width = batch.width;
        if (batch.empty()) break;
        std::size_t from = 0, n = batch.count();
        if (skip > 0) {
            from = static_cast<std::size_t>(std::min<std::uint64_t>(skip, n));
            skip -= from;
        }
        std::size_t to = n;
        if (limit) {
            to = from + static_cast<std::size_t>(std::min<std::uint64_t>(*limit, n - from));
            *limit -= to - from;
        }
        out.cells.assign(std::make_move_iterator(batch.row(from)),
                         std::make_move_iterator(batch.row(to)));
    }
    return ok_status();
}

Status ProjectOp::next(RunContext& ctx, Rows& out)
{
    Rows& batch = in_rows;
    out.width = keep.size();
    batch.want = out.want;
    while (out.empty()) {
        Status s = pull(*input, ctx, batch);
        if (!s) return s;
        if (batch.empty()) break;
        if (keep.empty()) continue; // no columns: no rows
        for (std::size_t r = 0; r < batch.count(); ++r) {
            Cell* source = batch.row(r);
            Cell* row = out.add_row();
            for (std::size_t c = 0; c < keep.size(); ++c) row[c] = std::move(source[keep[c]]);
            if (row_is_empty(row, keep.size())) out.drop_last_row();
        }
    }
    return ok_status();
}

} // namespace voralix
