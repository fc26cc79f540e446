#include "query/condition/compare.hpp"

#include "query/condition/inline_stack.hpp"
#include "util/interrupt.hpp"

#include <cmath>

namespace voralix::condition {

namespace {

constexpr long long kExactDoubleInt = 1LL << 53; // ints below this convert to double exactly

bool compact_value(PyObject* o, long long& out) noexcept
{
    if (!PyLong_Check(o)) return false;
    const auto* l = reinterpret_cast<const PyLongObject*>(o);
    if (!PyUnstable_Long_IsCompact(l)) return false;
    out = PyUnstable_Long_CompactValue(l);
    return true;
}

// An int or float whose value a double holds exactly.
bool exact_double(PyObject* o, double& out) noexcept
{
    if (PyFloat_Check(o)) {
        out = PyFloat_AS_DOUBLE(o);
        return true;
    }
    long long v = 0;
    if (compact_value(o, v) && v > -kExactDoubleInt && v < kExactDoubleInt) {
        out = static_cast<double>(v);
        return true;
    }
    return false;
}

template <class T>
int three_way_of(T a, T b) noexcept
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// The comparison slot of the base type itself: exact for int / float mixes
// and blind to what a subclass overrides.
Result<bool> slot_compare(PyTypeObject* base, PyObject* a, PyObject* b, int op)
{
    Ref r = Ref::steal(base->tp_richcompare(a, b, op));
    if (!r) return PythonError{};
    return r.get() == Py_True;
}

Result<int> compare_strings(PyObject* a, PyObject* b)
{
    const int c = PyUnicode_Compare(a, b);
    if (c == -1 && PyErr_Occurred()) return PythonError{};
    return c;
}

Result<Truth> equals_scalar(const Value& a, const Value& b)
{
    const Kind ka = a.kind();
    const Kind kb = b.kind();
    if (ka == Kind::Null || kb == Kind::Null) return Truth::Null;
    if (ka != kb) return Truth::False;
    auto truth = [](bool t) { return t ? Truth::True : Truth::False; };
    switch (ka) {
    case Kind::Boolean: return truth(a.tag() == b.tag());
    case Kind::Number: {
        if (is_nan(a.object()) || is_nan(b.object())) return Truth::False;
        Result<int> c = compare_numbers(a.object(), b.object());
        if (!c) return std::move(c).error();
        return truth(*c == 0);
    }
    case Kind::String: {
        Result<int> c = compare_strings(a.object(), b.object());
        if (!c) return std::move(c).error();
        return truth(*c == 0);
    }
    case Kind::Node: {
        NodeRecord sa, sb;
        const NodeRecord *na = nullptr, *nb = nullptr;
        if (!as_node(a, sa, na) || !as_node(b, sb, nb)) return PythonError{};
        return truth(same_node_uid(*na, *nb));
    }
    case Kind::Edge: {
        EdgeRecord sa, sb;
        const EdgeRecord *ea = nullptr, *eb = nullptr;
        if (!as_edge(a, sa, ea) || !as_edge(b, sb, eb)) return PythonError{};
        // Edge uids digest the term uid alone.
        return truth(ea->term.uid_digest() == eb->term.uid_digest());
    }
    case Kind::Map:
    case Kind::Other: {
        Result<bool> eq = python_compare(a.object(), b.object(), Py_EQ);
        if (!eq) return std::move(eq).error();
        return truth(*eq);
    }
    default: return Truth::False; // lists are compared by equals()
    }
}

Result<Order> order_scalar(const Value& a, const Value& b)
{
    const Kind ka = a.kind();
    const Kind kb = b.kind();
    if (ka == Kind::Null || kb == Kind::Null || ka != kb) return Order::Null;
    auto from = [](int c) { return c < 0 ? Order::Less : (c > 0 ? Order::Greater : Order::Equal); };
    switch (ka) {
    case Kind::Number: {
        if (is_nan(a.object()) || is_nan(b.object())) return Order::Unordered;
        Result<int> c = compare_numbers(a.object(), b.object());
        if (!c) return std::move(c).error();
        return from(*c);
    }
    case Kind::String: {
        Result<int> c = compare_strings(a.object(), b.object());
        if (!c) return std::move(c).error();
        return from(*c);
    }
    case Kind::Boolean:
        return from(three_way_of(a.tag() == Value::Tag::True, b.tag() == Value::Tag::True));
    default: return Order::Null;
    }
}

struct Frame {
    Sequence a, b;
    Py_ssize_t i = 0;
};

// Walks two sequences' element pairs in order, depth first, calling
// `leaf(x, y)` for each pair that is not two sequences. `leaf` returns true to
// go on; `mismatch(a_size, b_size)` decides sequences of different sizes:
// for equality at once, for ordering when their common prefix is equal.
template <class Leaf, class Sizes>
Status walk_pairs(Sequence a, Sequence b, bool sizes_first, Leaf&& leaf, Sizes&& sizes_differ,
                  bool& stopped)
{
    stopped = false;
    InlineStack<Frame, 4> frames;
    frames.push(Frame{std::move(a), std::move(b)});
    InterruptCheck interrupts;
    while (!frames.empty()) {
        Frame& f = frames.back();
        const Py_ssize_t na = f.a.size(), nb = f.b.size();
        if (f.i >= na || f.i >= nb) {
            if (na != nb) {
                sizes_differ(na, nb);
                stopped = true;
                return ok_status();
            }
            frames.pop();
            continue;
        }
        if (!interrupts.tick()) return PythonError{};
        Value x, y;
        if (!f.a.item(f.i, x) || !f.b.item(f.i, y)) return PythonError{};
        ++f.i;
        Frame inner;
        if (inner.a.assign(x) && inner.b.assign(y)) {
            if (sizes_first && inner.a.size() != inner.b.size()) {
                sizes_differ(inner.a.size(), inner.b.size());
                stopped = true;
                return ok_status();
            }
            if (frames.size() >= kMaxCompareDepth) return nesting_too_deep();
            frames.push(std::move(inner));
            continue;
        }
        Result<bool> go_on = leaf(x, y);
        if (!go_on) return std::move(go_on).error();
        if (!*go_on) {
            stopped = true;
            return ok_status();
        }
    }
    return ok_status();
}

} // namespace

Error nesting_too_deep() noexcept
{
    PyErr_SetString(PyExc_RecursionError, "maximum nesting depth exceeded in comparison");
    return PythonError{};
}

Result<bool> python_compare(PyObject* a, PyObject* b, int op)
{
    Ref r = Ref::steal(PyObject_RichCompare(a, b, op));
    if (!r) return PythonError{};
    const int t = PyObject_IsTrue(r.get());
    if (t < 0) return PythonError{};
    return t == 1;
}

bool is_nan(PyObject* number) noexcept
{
    return PyFloat_Check(number) && std::isnan(PyFloat_AS_DOUBLE(number));
}

Result<int> compare_numbers(PyObject* a, PyObject* b)
{
    long long x = 0, y = 0;
    if (compact_value(a, x) && compact_value(b, y)) return three_way_of(x, y);
    double dx = 0, dy = 0;
    if (exact_double(a, dx) && exact_double(b, dy)) return three_way_of(dx, dy);
    // Big ints, or a big int against a float: the base types compare exactly.
    PyTypeObject* base = &PyLong_Type;
    int sign = 1;
    if (PyFloat_Check(a)) {
        base = &PyFloat_Type;
    } else if (PyFloat_Check(b)) {
        base = &PyFloat_Type;
        std::swap(a, b);
        sign = -1;
    }
    Result<bool> eq = slot_compare(base, a, b, Py_EQ);
    if (!eq) return std::move(eq).error();
    if (*eq) return 0;
    Result<bool> lt = slot_compare(base, a, b, Py_LT);
    if (!lt) return std::move(lt).error();
    return *lt ? -sign : sign;
}

bool Sequence::assign(const Value& v) noexcept
{
    if (v.tag() == Value::Tag::Edges) {
        edges_ = v.edge_list();
        return true;
    }
    if (v.tag() == Value::Tag::Object && (PyList_Check(v.object()) || PyTuple_Check(v.object()))) {
        obj_ = v.object();
        hold_ = Ref::borrow(obj_);
        return true;
    }
    return false;
}

Py_ssize_t Sequence::size() const noexcept
{
    if (edges_ != nullptr) return static_cast<Py_ssize_t>(edges_->size());
    return PyList_Check(obj_) ? PyList_GET_SIZE(obj_) : PyTuple_GET_SIZE(obj_);
}

bool Sequence::item(Py_ssize_t i, Value& out) const noexcept
{
    if (edges_ != nullptr) {
        out = Value::edge(&(*edges_)[static_cast<std::size_t>(i)]);
        return true;
    }
    if (PyTuple_Check(obj_)) {
        out = Value::borrowed(PyTuple_GET_ITEM(obj_, i)); // the tuple is held
        return true;
    }
    // A comparison may have changed the list: take a reference of our own.
    Ref item = Ref::steal(PyList_GetItemRef(obj_, i));
    if (!item) return false;
    out = Value::owned(std::move(item));
    return true;
}

bool fast_compare(PyObject* a, PyObject* b, int& three_way) noexcept
{
    long long x = 0, y = 0;
    if (PyLong_CheckExact(a) && PyLong_CheckExact(b) && compact_value(a, x) &&
        compact_value(b, y)) {
        three_way = three_way_of(x, y);
        return true;
    }
    if (PyFloat_CheckExact(a) && PyFloat_CheckExact(b)) {
        const double dx = PyFloat_AS_DOUBLE(a), dy = PyFloat_AS_DOUBLE(b);
        if (std::isnan(dx) || std::isnan(dy)) return false;
        three_way = three_way_of(dx, dy);
        return true;
    }
    if (PyUnicode_CheckExact(a) && PyUnicode_CheckExact(b)) {
        three_way = a == b ? 0 : PyUnicode_Compare(a, b);
        return true;
    }
    return false;
}

Result<Truth> equals(const Value& a, const Value& b)
{
    if (a.tag() == Value::Tag::Object && b.tag() == Value::Tag::Object) {
        int c = 0;
        if (fast_compare(a.object(), b.object(), c)) return c == 0 ? Truth::True : Truth::False;
    }
    Sequence sa, sb;
    if (!sa.assign(a) || !sb.assign(b)) return equals_scalar(a, b);
    if (sa.size() != sb.size()) return Truth::False;
    Truth result = Truth::True;
    bool stopped = false;
    Status s = walk_pairs(
        std::move(sa), std::move(sb), true,
        [&](const Value& x, const Value& y) -> Result<bool> {
            Result<Truth> t = equals_scalar(x, y);
            if (!t) return std::move(t).error();
            if (*t == Truth::Null) result = Truth::Null;
            return *t != Truth::False;
        },
        [](Py_ssize_t, Py_ssize_t) {}, stopped);
    if (!s) return std::move(s).error();
    return stopped ? Truth::False : result;
}

Result<Order> order(const Value& a, const Value& b)
{
    // An edge list is a list for equality, IN and size only: edges have no order.
    if (a.tag() == Value::Tag::Edges || b.tag() == Value::Tag::Edges) return Order::Null;
    Sequence sa, sb;
    if (!sa.assign(a) || !sb.assign(b)) return order_scalar(a, b);
    Order result = Order::Equal;
    bool stopped = false;
    Status s = walk_pairs(
        std::move(sa), std::move(sb), false,
        [&](const Value& x, const Value& y) -> Result<bool> {
            Result<Order> o = order_scalar(x, y);
            if (!o) return std::move(o).error();
            result = *o;
            return *o == Order::Equal;
        },
        [&](Py_ssize_t na, Py_ssize_t nb) { result = na < nb ? Order::Less : Order::Greater; },
        stopped);
    if (!s) return std::move(s).error();
    return result;
}

} // namespace voralix::condition
