#include "query/condition/order.hpp"

#include "query/condition/compare.hpp"
#include "query/condition/inline_stack.hpp"
#include "util/interrupt.hpp"

#include <algorithm>
#include <cmath>

namespace voralix::condition {

namespace {

// Kinds of values in ascending order.
enum class Rank : std::uint8_t { Map, List, String, Boolean, Number, NaN, Other, Null };

Rank rank_of(PyObject* o) noexcept
{
    if (o == nullptr || o == Py_None) return Rank::Null;
    if (PyDict_Check(o)) return Rank::Map;
    if (PyList_Check(o) || PyTuple_Check(o)) return Rank::List;
    if (PyUnicode_Check(o)) return Rank::String;
    if (PyBool_Check(o)) return Rank::Boolean;
    if (PyLong_Check(o)) return Rank::Number;
    if (PyFloat_Check(o)) return std::isnan(PyFloat_AS_DOUBLE(o)) ? Rank::NaN : Rank::Number;
    return Rank::Other;
}

int sign_of(Rank a, Rank b) noexcept
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

// Two values of the same rank other than List.
Result<int> compare_in_rank(Rank rank, PyObject* a, PyObject* b)
{
    switch (rank) {
    case Rank::String: {
        const int c = PyUnicode_Compare(a, b);
        if (c == -1 && PyErr_Occurred()) return PythonError{};
        return c;
    }
    case Rank::Boolean: return (a == Py_True) - (b == Py_True);
    case Rank::Number: return compare_numbers(a, b);
    case Rank::Other: {
        Ref na = Ref::steal(PyType_GetName(Py_TYPE(a)));
        Ref nb = Ref::steal(PyType_GetName(Py_TYPE(b)));
        if (!na || !nb) return PythonError{};
        const int c = PyUnicode_Compare(na.get(), nb.get());
        if (c == -1 && PyErr_Occurred()) return PythonError{};
        if (c != 0) return c;
        Result<bool> lt = python_compare(a, b, Py_LT);
        if (!lt) return std::move(lt).error();
        if (*lt) return -1;
        Result<bool> gt = python_compare(b, a, Py_LT);
        if (!gt) return std::move(gt).error();
        return *gt ? 1 : 0;
    }
    default: return 0; // dicts, NaNs and nulls tie
    }
}

Py_ssize_t seq_size(PyObject* s) noexcept
{
    return PyList_Check(s) ? PyList_GET_SIZE(s) : PyTuple_GET_SIZE(s);
}

// Element i < seq_size(s) as a new reference.
Ref seq_item(PyObject* s, Py_ssize_t i) noexcept
{
    if (PyList_Check(s)) return Ref::steal(PyList_GetItemRef(s, i));
    return Ref::borrow(PyTuple_GET_ITEM(s, i));
}

struct ListFrame {
    Ref a, b;
    Py_ssize_t i = 0;
};

// Two lists or tuples, element by element, walked with an explicit stack.
Result<int> compare_lists(PyObject* a, PyObject* b)
{
    InlineStack<ListFrame, 4> frames;
    frames.push(ListFrame{Ref::borrow(a), Ref::borrow(b)});
    InterruptCheck interrupts;
    while (!frames.empty()) {
        ListFrame& f = frames.back();
        const Py_ssize_t na = seq_size(f.a.get()), nb = seq_size(f.b.get());
        if (f.i >= na || f.i >= nb) {
            if (na != nb) return na < nb ? -1 : 1;
            frames.pop();
            continue;
        }
        if (!interrupts.tick()) return PythonError{};
        Ref x = seq_item(f.a.get(), f.i);
        Ref y = seq_item(f.b.get(), f.i);
        if (!x || !y) return PythonError{};
        ++f.i;
        const Rank rx = rank_of(x.get()), ry = rank_of(y.get());
        if (rx != ry) return sign_of(rx, ry);
        if (rx == Rank::List) {
            if (frames.size() >= kMaxCompareDepth) return nesting_too_deep();
            frames.push(ListFrame{std::move(x), std::move(y)});
            continue;
        }
        Result<int> c = compare_in_rank(rx, x.get(), y.get());
        if (!c) return c;
        if (*c != 0) return c;
    }
    return 0;
}

// A key's value for one row, classified once before sorting.
struct Entry {
    PyObject* obj = nullptr;
    double number = 0; // a boolean as 0 / 1; when `exact`, an int's or a float's value
    Rank rank = Rank::Null;
    bool exact = false;

    // Compared without running Python code that could fail: everything but
    // lists, other objects and ints too big for a double.
    bool quick() const noexcept
    {
        return rank != Rank::List && rank != Rank::Other && (rank != Rank::Number || exact);
    }
};

Entry entry_of(PyObject* o) noexcept
{
    Entry e;
    e.obj = o;
    e.rank = rank_of(o);
    if (e.rank == Rank::Boolean) {
        e.number = o == Py_True ? 1 : 0;
    } else if (e.rank == Rank::Number && PyFloat_Check(o)) {
        e.number = PyFloat_AS_DOUBLE(o);
        e.exact = true;
    } else if (e.rank == Rank::Number &&
               PyUnstable_Long_IsCompact(reinterpret_cast<const PyLongObject*>(o))) {
        const Py_ssize_t v = PyUnstable_Long_CompactValue(reinterpret_cast<const PyLongObject*>(o));
        constexpr Py_ssize_t kExact = Py_ssize_t{1} << 53;
        if (v > -kExact && v < kExact) {
            e.number = static_cast<double>(v);
            e.exact = true;
        }
    }
    return e;
}

// Two quick entries.
int compare_quick(const Entry& a, const Entry& b) noexcept
{
    if (a.rank != b.rank) return sign_of(a.rank, b.rank);
    switch (a.rank) {
    case Rank::String: return PyUnicode_Compare(a.obj, b.obj);
    case Rank::Boolean:
    case Rank::Number: return (a.number > b.number) - (a.number < b.number);
    default: return 0;
    }
}

Result<int> compare_entries(const Entry& a, const Entry& b)
{
    if (a.quick() && b.quick()) return compare_quick(a, b);
    if (a.rank != b.rank) return sign_of(a.rank, b.rank);
    if (a.rank == Rank::List) return compare_lists(a.obj, b.obj);
    return compare_in_rank(a.rank, a.obj, b.obj);
}

constexpr std::size_t kRun = 16; // rows sorted by insertion before merging

// A stable sort of `order` by `less(x, y)`: 1 when row x goes strictly before
// row y, 0 when not, -1 with a Python exception set. Short runs are sorted by
// insertion, then merged bottom-up (a merge of runs already in order is a
// copy). Every index stays in bounds whatever `less` answers, and on failure
// `order` is still a permutation of itself.
template <class Less>
Status merge_sort(std::vector<std::uint32_t>& order, Less&& less)
{
    const std::size_t n = order.size();
    InterruptCheck interrupts;
    auto before = [&](std::uint32_t x, std::uint32_t y) {
        return interrupts.tick() ? less(x, y) : -1;
    };
    std::uint32_t* src = order.data();
    for (std::size_t lo = 0; lo < n; lo += kRun) {
        const std::size_t hi = std::min(lo + kRun, n);
        for (std::size_t i = lo + 1; i < hi; ++i) {
            const std::uint32_t x = src[i];
            std::size_t j = i;
            for (; j > lo; --j) {
                const int r = before(x, src[j - 1]);
                if (r < 0) {
                    src[j] = x;
                    return PythonError{};
                }
                if (r == 0) break;
                src[j] = src[j - 1];
            }
            src[j] = x;
        }
    }
    std::vector<std::uint32_t> buffer(n);
    std::uint32_t* dst = buffer.data();
    // The last complete pass goes back to `order`.
    auto settle = [&] {
        if (src != order.data()) std::copy(src, src + n, order.data());
    };
    for (std::size_t width = kRun; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, n);
            const std::size_t hi = std::min(lo + 2 * width, n);
            std::size_t i = lo, j = mid, k = lo;
            const int split = mid < hi ? before(src[mid], src[mid - 1]) : 0;
            if (split < 0) {
                settle();
                return PythonError{};
            }
            while (split == 1 && i < mid && j < hi) {
                const int r = before(src[j], src[i]);
                if (r < 0) {
                    settle();
                    return PythonError{};
                }
                dst[k++] = r == 1 ? src[j++] : src[i++];
            }
            k = static_cast<std::size_t>(std::copy(src + i, src + mid, dst + k) - dst);
            std::copy(src + j, src + hi, dst + k);
        }
        std::swap(src, dst);
    }
    settle();
    return ok_status();
}

} // namespace

Status sort_rows(std::vector<std::uint32_t>& order, const std::vector<SortKey>& keys)
{
    if (order.size() < 2 || keys.empty()) return ok_status();
    InterruptCheck interrupts;
    std::vector<std::vector<Entry>> entries(keys.size());
    bool quick = true;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const std::vector<Ref>& values = keys[k].values;
        entries[k].reserve(values.size());
        for (const Ref& v : values) {
            if (!interrupts.tick()) return PythonError{};
            entries[k].push_back(entry_of(v.get()));
            quick = quick && entries[k].back().quick();
        }
    }
    const Entry null_entry;
    auto entry = [&](std::size_t k, std::uint32_t row) -> const Entry& {
        return row < entries[k].size() ? entries[k][row] : null_entry;
    };
    if (quick) {
        // No comparison can run Python code or fail.
        return merge_sort(order, [&](std::uint32_t x, std::uint32_t y) {
            for (std::size_t k = 0; k < keys.size(); ++k) {
                const int c = compare_quick(entry(k, x), entry(k, y));
                if (c != 0) return (keys[k].ascending ? c < 0 : c > 0) ? 1 : 0;
            }
            return 0;
        });
    }
    return merge_sort(order, [&](std::uint32_t x, std::uint32_t y) {
        for (std::size_t k = 0; k < keys.size(); ++k) {
            Result<int> c = compare_entries(entry(k, x), entry(k, y));
            if (!c) return -1;
            if (*c != 0) return (keys[k].ascending ? *c < 0 : *c > 0) ? 1 : 0;
        }
        return 0;
    });
}

} // namespace voralix::condition
