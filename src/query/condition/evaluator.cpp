#include "query/condition/evaluator.hpp"

#include "binding/values.hpp"
#include "graph/graph_access.hpp"
#include "query/condition/compare.hpp"
#include "query/condition/inline_stack.hpp"
#include "util/interrupt.hpp"

#include <utility>

namespace voralix::condition {

namespace {

VoralixError mismatch(const char* expected, const Value& v)
{
    return VoralixError::type_mismatch(expected, kind_name(v.kind()), "where");
}

bool is_truth(const Value& v) noexcept
{
    return v.is_null() || v.is_boolean();
}

Value from_truth(Truth t) noexcept
{
    return t == Truth::Null ? Value() : Value::boolean(t == Truth::True);
}

Result<Value> new_object(PyObject* o)
{
    if (o == nullptr) return PythonError{};
    return Value::owned(Ref::steal(o));
}

Result<Value> text_value(std::string_view s)
{
    return new_object(binding::to_python_str(s));
}

// Looks `key` up in a property dict (null: none) into `out`: a missing key,
// or a lookup that raises an Exception, is null. False with a Python
// exception set for any other failure.
bool lookup(PyObject* props, PyObject* key, Value& out) noexcept
{
    out = Value();
    Ref found;
    if (!lookup_property(props, key, found)) return false;
    if (found) out = Value::owned(std::move(found));
    return true;
}

// v.key on a node or an edge, whether a cell's or a Node / Edge object;
// null for anything else.
bool property(const Value& v, PyObject* key, Value& out) noexcept
{
    if (v.tag() == Value::Tag::Node) return lookup(v.node_record()->properties.get(), key, out);
    if (v.tag() == Value::Tag::Edge) return lookup(v.edge_record()->properties.get(), key, out);
    NodeRecord ns;
    EdgeRecord es;
    const NodeRecord* n = nullptr;
    const EdgeRecord* e = nullptr;
    if (!as_node(v, ns, n) || !as_edge(v, es, e)) return false;
    // The copy read from the object keeps its dict alive through the lookup.
    return lookup(n ? n->properties.get() : e ? e->properties.get() : nullptr, key, out);
}

bool cell_property(const Cell& c, PyObject* key, Value& out) noexcept
{
    if (const auto* n = std::get_if<NodeRecord>(&c)) return lookup(n->properties.get(), key, out);
    if (const auto* e = std::get_if<EdgeRecord>(&c)) return lookup(e->properties.get(), key, out);
    out = Value();
    return true;
}

Result<Value> type_test(const Value& v, const Schema& schema)
{
    NodeRecord ns;
    EdgeRecord es;
    const NodeRecord* n = nullptr;
    const EdgeRecord* e = nullptr;
    if (!as_node(v, ns, n) || !as_edge(v, es, e)) return PythonError{};
    if (n != nullptr) return Value::boolean(schema.matches(n->type));
    if (e != nullptr) return Value::boolean(schema.matches(e->term.type()));
    return Value();
}

Result<Value> call(Function f, const Value& v)
{
    if (f == Function::Size) {
        if (v.tag() == Value::Tag::Edges) {
            return new_object(PyLong_FromSize_t(v.edge_list()->size()));
        }
        if (v.tag() != Value::Tag::Object) return Value();
        PyObject* o = v.object();
        if (PyUnicode_Check(o)) return new_object(PyLong_FromSsize_t(PyUnicode_GET_LENGTH(o)));
        if (PyList_Check(o)) return new_object(PyLong_FromSsize_t(PyList_GET_SIZE(o)));
        if (PyTuple_Check(o)) return new_object(PyLong_FromSsize_t(PyTuple_GET_SIZE(o)));
        return Value();
    }
    NodeRecord ns;
    EdgeRecord es;
    const NodeRecord* n = nullptr;
    const EdgeRecord* e = nullptr;
    if (!as_node(v, ns, n) || !as_edge(v, es, e)) return PythonError{};
    switch (f) {
    case Function::Uid:
        if (n != nullptr) return new_object(binding::digest_to_python(node_uid(*n)));
        if (e != nullptr) return new_object(binding::digest_to_python(edge_uid(*e)));
        return Value();
    case Function::Type:
        if (n != nullptr) return text_value(n->type.text());
        if (e != nullptr) return text_value(e->term.type().text());
        return Value();
    case Function::Name:
        if (e != nullptr) return text_value(e->term.name());
        return Value();
    case Function::Start:
    case Function::End: {
        if (e == nullptr) return Value();
        const NodeRecord& end = f == Function::Start ? e->start : e->end;
        // A cell's edge lives through the row; a copy read from an Edge
        // object does not, so its node becomes a Node object.
        if (v.tag() == Value::Tag::Edge) return Value::node(&end);
        return new_object(new_node_object(end));
    }
    case Function::Size: break;
    }
    return Value();
}

Result<Value> make_list(InlineStack<Value, 8>& stack, std::uint32_t count)
{
    Ref list = Ref::steal(PyList_New(count));
    if (!list) return PythonError{};
    const std::size_t first = stack.size() - count;
    for (std::uint32_t i = 0; i < count; ++i) {
        Ref item = stack[first + i].to_python();
        if (!item) return PythonError{};
        PyList_SET_ITEM(list.get(), i, item.release());
    }
    for (std::uint32_t i = 0; i < count; ++i) stack.pop();
    return Value::owned(std::move(list));
}

bool holds(Comparison c, int three_way) noexcept
{
    switch (c) {
    case Comparison::Eq: return three_way == 0;
    case Comparison::Ne: return three_way != 0;
    case Comparison::Lt: return three_way < 0;
    case Comparison::Le: return three_way <= 0;
    case Comparison::Gt: return three_way > 0;
    case Comparison::Ge: return three_way >= 0;
    }
    return false;
}

Result<Value> compare(Comparison c, const Value& a, const Value& b)
{
    if (c == Comparison::Eq || c == Comparison::Ne) {
        Result<Truth> t = equals(a, b);
        if (!t) return std::move(t).error();
        if (c == Comparison::Ne && *t != Truth::Null) {
            return Value::boolean(*t == Truth::False);
        }
        return from_truth(*t);
    }
    Result<Order> o = order(a, b);
    if (!o) return std::move(o).error();
    switch (*o) {
    case Order::Null: return Value();
    case Order::Unordered: return Value::boolean(false);
    case Order::Less: return Value::boolean(c == Comparison::Lt || c == Comparison::Le);
    case Order::Equal: return Value::boolean(c == Comparison::Le || c == Comparison::Ge);
    case Order::Greater: return Value::boolean(c == Comparison::Gt || c == Comparison::Ge);
    }
    return Value();
}

Result<Value> in_list(const Value& a, const Value& b)
{
    if (b.is_null()) return Value();
    Sequence seq;
    if (!seq.assign(b)) return mismatch("list", b);
    bool saw_null = false;
    InterruptCheck interrupts;
    for (Py_ssize_t i = 0; i < seq.size(); ++i) {
        if (!interrupts.tick()) return PythonError{};
        Value item;
        if (!seq.item(i, item)) return PythonError{};
        Result<Truth> t = equals(a, item);
        if (!t) return std::move(t).error();
        if (*t == Truth::True) return Value::boolean(true);
        saw_null = saw_null || *t == Truth::Null;
    }
    return saw_null ? Value() : Value::boolean(false);
}

Result<Value> string_predicate(OpCode op, const Value& a, const Value& b)
{
    if (a.kind() != Kind::String || b.kind() != Kind::String) return Value();
    const Py_ssize_t r = op == OpCode::Contains
                             ? PyUnicode_Contains(a.object(), b.object())
                             : PyUnicode_Tailmatch(a.object(), b.object(), 0, PY_SSIZE_T_MAX,
                                                   op == OpCode::StartsWith ? -1 : 1);
    if (r < 0) return PythonError{};
    return Value::boolean(r == 1);
}

} // namespace

Result<bool> evaluate(const Program& program, const std::uint32_t* columns, const Cell* row)
{
    const std::size_t n = program.code.size();
    if (n == 0) return true;
    const Instr* code = program.code.data();
    InlineStack<Value, 8> stack;
    // Replaces the top value by `r`, or passes on its error.
    auto replace_top = [&stack](Result<Value>&& r) -> Status {
        if (!r) return std::move(r).error();
        stack.back() = std::move(*r);
        return ok_status();
    };
    for (std::size_t pc = 0; pc < n; ++pc) {
        const Instr& in = code[pc];
        switch (in.op) {
        case OpCode::Push: stack.push(Value::borrowed(program.constants[in.arg].get())); break;
        case OpCode::Var: stack.push(Value::of_cell(row[columns[in.arg]])); break;
        case OpCode::Property: {
            Value v;
            if (!property(stack.back(), program.keys[in.arg].get(), v)) return PythonError{};
            stack.back() = std::move(v);
            break;
        }
        case OpCode::VarProperty:
            stack.push(Value());
            if (!cell_property(row[columns[in.arg]], program.keys[in.arg2].get(), stack.back())) {
                return PythonError{};
            }
            break;
        case OpCode::CompareConst: {
            PyObject* constant = program.constants[in.arg2].get();
            Value& a = stack.back();
            const auto c = static_cast<Comparison>(in.sub);
            int three_way = 0;
            if (a.tag() == Value::Tag::Object && fast_compare(a.object(), constant, three_way)) {
                a = Value::boolean(holds(c, three_way));
                break;
            }
            if (Status s = replace_top(compare(c, a, Value::borrowed(constant))); !s) {
                return std::move(s).error();
            }
            break;
        }
        case OpCode::TypeTest:
            if (Status s = replace_top(type_test(stack.back(), program.schemas[in.arg])); !s) {
                return std::move(s).error();
            }
            break;
        case OpCode::Call:
            if (Status s = replace_top(call(static_cast<Function>(in.sub), stack.back())); !s) {
                return std::move(s).error();
            }
            break;
        case OpCode::MakeList: {
            Result<Value> list = make_list(stack, in.arg);
            if (!list) return std::move(list).error();
            stack.push(std::move(*list));
            break;
        }
        case OpCode::Not: {
            Value& v = stack.back();
            if (!is_truth(v)) return mismatch("boolean", v);
            if (!v.is_null()) v = Value::boolean(v.tag() == Value::Tag::False);
            break;
        }
        case OpCode::AndJump:
        case OpCode::OrJump: {
            const Value& v = stack.back();
            if (!is_truth(v)) return mismatch("boolean", v);
            const Value::Tag decided =
                in.op == OpCode::AndJump ? Value::Tag::False : Value::Tag::True;
            if (v.tag() == decided) pc = in.arg - 1;
            break;
        }
        case OpCode::XorCheck:
            if (!is_truth(stack.back())) return mismatch("boolean", stack.back());
            break;
        case OpCode::And:
        case OpCode::Or:
        case OpCode::Xor: {
            Value r = stack.take();
            if (!is_truth(r)) return mismatch("boolean", r);
            Value& l = stack.back();
            if (in.op == OpCode::Xor) {
                l = l.is_null() || r.is_null() ? Value() : Value::boolean(l.tag() != r.tag());
                break;
            }
            // The left operand is true or null for AND (false or null for OR),
            // or the jump would have skipped this.
            const Value::Tag decided = in.op == OpCode::And ? Value::Tag::False : Value::Tag::True;
            if (r.tag() == decided || !l.is_null()) {
                l = std::move(r);
            }
            break;
        }
        case OpCode::Compare: {
            Value b = stack.take();
            Value& a = stack.back();
            const auto c = static_cast<Comparison>(in.sub);
            int three_way = 0;
            if (a.tag() == Value::Tag::Object && b.tag() == Value::Tag::Object &&
                fast_compare(a.object(), b.object(), three_way)) {
                a = Value::boolean(holds(c, three_way));
                break;
            }
            if (Status s = replace_top(compare(c, a, b)); !s) return std::move(s).error();
            break;
        }
        case OpCode::In:
        case OpCode::StartsWith:
        case OpCode::EndsWith:
        case OpCode::Contains: {
            Value b = stack.take();
            const Value& a = stack.back();
            Result<Value> r = in.op == OpCode::In ? in_list(a, b) : string_predicate(in.op, a, b);
            if (Status s = replace_top(std::move(r)); !s) return std::move(s).error();
            break;
        }
        case OpCode::IsNull:
        case OpCode::IsNotNull: {
            Value& v = stack.back();
            v = Value::boolean(v.is_null() == (in.op == OpCode::IsNull));
            break;
        }
        }
    }
    const Value& result = stack.back();
    if (!is_truth(result)) return mismatch("boolean", result);
    return result.tag() == Value::Tag::True;
}

} // namespace voralix::condition
