// Equality and ordering of condition values: three-valued `=`, and the
// partial order of `<` and friends (numbers, strings, booleans, and lists
// element by element). Nested lists are walked with an explicit stack.
#pragma once

#include <Python.h>

#include "errors/error.hpp"
#include "query/condition/value.hpp"

#include <cstdint>

namespace voralix::condition {

enum class Truth : std::uint8_t { False, True, Null };
enum class Order : std::uint8_t { Less, Equal, Greater, Unordered, Null };

// Lists nested deeper than this end a comparison with RecursionError (a list
// that contains itself would otherwise never end).
inline constexpr std::size_t kMaxCompareDepth = 100000;
Error nesting_too_deep() noexcept;

// The truth of Python's `a <op> b` (Py_EQ, Py_LT, ...), with its exceptions.
Result<bool> python_compare(PyObject* a, PyObject* b, int op);

// A float NaN (or float subclass instance holding one).
bool is_nan(PyObject* number) noexcept;
// -1, 0 or 1 comparing two numbers (int / float or their subclasses, not
// NaN) exactly, without calling anything a subclass overrides.
Result<int> compare_numbers(PyObject* a, PyObject* b);

// Two exact ints, two floats (neither NaN) or two exact strs, compared at
// once into `three_way` (-1, 0, 1); false for any other pair.
bool fast_compare(PyObject* a, PyObject* b, int& three_way) noexcept;

// `a = b`: null if either is null; numbers exactly, booleans, strings by
// code points; nodes and edges by uid; lists (edge lists included) element
// by element: a different length or a false pair gives false, else any null
// pair gives null; values of different kinds are unequal; maps and other
// objects by Python ==, whose exceptions are returned.
Result<Truth> equals(const Value& a, const Value& b);

// The order of `<`: numbers (Unordered when a NaN takes part), strings,
// booleans (false < true), lists lexicographically; Null for any other pair
// (an edge list included).
Result<Order> order(const Value& a, const Value& b);

// A list, tuple or edge list, read element by element.
class Sequence {
public:
    // False when `v` is not list-like.
    bool assign(const Value& v) noexcept;
    Py_ssize_t size() const noexcept;
    // Element i < size(); false with a Python exception set on failure.
    bool item(Py_ssize_t i, Value& out) const noexcept;

private:
    PyObject* obj_ = nullptr; // a list or a tuple, held by hold_
    Ref hold_;
    const EdgeList* edges_ = nullptr;
};

} // namespace voralix::condition
