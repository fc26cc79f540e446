#include "query/condition/program.hpp"

#include "util/interrupt.hpp"

#include <algorithm>
#include <string_view>

namespace voralix::condition {

namespace {

// Python's int() of a long digit string limits the number of digits; build
// the value from halves of at most this many digits instead.
constexpr std::size_t kDigitsPerChunk = 600;

Ref int_from_digits(std::string_view digits)
{
    if (digits.size() <= kDigitsPerChunk) {
        std::string s(digits);
        return Ref::steal(PyLong_FromString(s.c_str(), nullptr, 10));
    }
    // Splitting in halves keeps the recursion depth logarithmic.
    const std::size_t low_len = digits.size() / 2;
    Ref high = int_from_digits(digits.substr(0, digits.size() - low_len));
    Ref low = int_from_digits(digits.substr(digits.size() - low_len));
    Ref ten = Ref::steal(PyLong_FromLong(10));
    Ref len = Ref::steal(PyLong_FromSize_t(low_len));
    if (!high || !low || !ten || !len) return Ref();
    Ref scale = Ref::steal(PyNumber_Power(ten.get(), len.get(), Py_None));
    if (!scale) return Ref();
    Ref shifted = Ref::steal(PyNumber_Multiply(high.get(), scale.get()));
    if (!shifted) return Ref();
    return Ref::steal(PyNumber_Add(shifted.get(), low.get()));
}

Ref literal_object(const Literal& lit)
{
    switch (lit.kind) {
    case Literal::Kind::Null: return Ref::borrow(Py_None);
    case Literal::Kind::True: return Ref::borrow(Py_True);
    case Literal::Kind::False: return Ref::borrow(Py_False);
    case Literal::Kind::String:
        return Ref::steal(
            PyUnicode_FromStringAndSize(lit.text.data(), static_cast<Py_ssize_t>(lit.text.size())));
    case Literal::Kind::Float: {
        // Overflow gives an infinity, as float() does.
        double d = PyOS_string_to_double(lit.text.c_str(), nullptr, nullptr);
        if (d == -1.0 && PyErr_Occurred()) return Ref();
        return Ref::steal(PyFloat_FromDouble(d));
    }
    case Literal::Kind::Integer: {
        const bool negative = !lit.text.empty() && lit.text[0] == '-';
        Ref v = int_from_digits(std::string_view(lit.text).substr(negative ? 1 : 0));
        if (!v || !negative) return v;
        return Ref::steal(PyNumber_Negative(v.get()));
    }
    }
    return Ref();
}

class Compiler {
public:
    Compiler(const Ast& ast, Program& p) : ast_(ast), p_(p) {}
    Status run(const std::vector<std::uint32_t>& literal_consts,
               const std::vector<std::uint32_t>& parameter_consts);

private:
    void emit(OpCode op, std::uint8_t sub, std::uint32_t arg, int effect)
    {
        // The commonest shapes, `v.key` and `... <op> constant`, become one
        // instruction each, so that `n.age > 30` runs two per row.
        if (!p_.code.empty()) {
            Instr& last = p_.code.back();
            if (op == OpCode::Property && last.op == OpCode::Var) {
                last = Instr{OpCode::VarProperty, 0, last.arg, arg};
                return;
            }
            if (op == OpCode::Compare && last.op == OpCode::Push) {
                last = Instr{OpCode::CompareConst, sub, 0, last.arg};
                --depth_;
                return;
            }
        }
        p_.code.push_back(Instr{op, sub, arg});
        depth_ += effect;
        p_.max_depth = std::max(p_.max_depth, static_cast<std::uint32_t>(depth_));
    }
    Status finish_list(std::uint32_t count);

    const Ast& ast_;
    Program& p_;
    long long depth_ = 0;
};

// A list of constants becomes one constant; any other list is built per row.
Status Compiler::finish_list(std::uint32_t count)
{
    const auto& code = p_.code;
    const bool constant = std::all_of(code.end() - count, code.end(),
                                      [](const Instr& i) { return i.op == OpCode::Push; });
    if (!constant) {
        emit(OpCode::MakeList, 0, count, 1 - static_cast<int>(count));
        return ok_status();
    }
    Ref list = Ref::steal(PyList_New(count));
    if (!list) return PythonError{};
    for (std::uint32_t i = 0; i < count; ++i) {
        const Ref& item = p_.constants[code[code.size() - count + i].arg];
        PyList_SET_ITEM(list.get(), i, Ref(item).release());
    }
    p_.code.resize(p_.code.size() - count);
    depth_ -= count;
    p_.constants.push_back(std::move(list));
    emit(OpCode::Push, 0, static_cast<std::uint32_t>(p_.constants.size() - 1), 1);
    return ok_status();
}

Status Compiler::run(const std::vector<std::uint32_t>& literal_consts,
                     const std::vector<std::uint32_t>& parameter_consts)
{
    if (ast_.root == Ast::kNone) return ok_status();
    struct Step {
        std::uint32_t node;
        std::uint32_t stage = 0;
        std::uint32_t jump = 0; // the AndJump / OrJump to patch
    };
    std::vector<Step> stack{Step{ast_.root}};
    InterruptCheck interrupts;
    while (!stack.empty()) {
        if (!interrupts.tick()) return PythonError{};
        Step& s = stack.back();
        const AstNode& n = ast_.nodes[s.node];
        const std::uint32_t stage = s.stage++;
        switch (n.kind) {
        case NodeKind::Literal:
            emit(OpCode::Push, 0, literal_consts[n.a], 1);
            stack.pop_back();
            break;
        case NodeKind::Parameter:
            emit(OpCode::Push, 0, parameter_consts[n.a], 1);
            stack.pop_back();
            break;
        case NodeKind::Variable:
            emit(OpCode::Var, 0, n.a, 1);
            stack.pop_back();
            break;
        case NodeKind::Property:
        case NodeKind::TypeTest:
        case NodeKind::Call:
        case NodeKind::Not:
        case NodeKind::IsNull:
        case NodeKind::IsNotNull: {
            if (stage == 0) {
                stack.push_back(Step{n.a});
                break;
            }
            const OpCode op = n.kind == NodeKind::Property   ? OpCode::Property
                              : n.kind == NodeKind::TypeTest ? OpCode::TypeTest
                              : n.kind == NodeKind::Call     ? OpCode::Call
                              : n.kind == NodeKind::Not      ? OpCode::Not
                              : n.kind == NodeKind::IsNull   ? OpCode::IsNull
                                                             : OpCode::IsNotNull;
            emit(op, n.sub, n.b, 0);
            stack.pop_back();
            break;
        }
        case NodeKind::List:
            if (stage < n.b) {
                stack.push_back(Step{ast_.list_items[n.a + stage]});
                break;
            }
            if (Status st = finish_list(n.b); !st) return st;
            stack.pop_back();
            break;
        case NodeKind::And:
        case NodeKind::Or:
        case NodeKind::Xor: {
            const bool is_and = n.kind == NodeKind::And;
            const bool is_xor = n.kind == NodeKind::Xor;
            if (stage == 0) {
                stack.push_back(Step{n.a});
            } else if (stage == 1) {
                s.jump = static_cast<std::uint32_t>(p_.code.size());
                emit(is_xor   ? OpCode::XorCheck
                     : is_and ? OpCode::AndJump
                              : OpCode::OrJump,
                     0, 0, 0);
                stack.push_back(Step{n.b});
            } else {
                emit(is_xor ? OpCode::Xor : is_and ? OpCode::And : OpCode::Or, 0, 0, -1);
                p_.code[s.jump].arg = static_cast<std::uint32_t>(p_.code.size());
                stack.pop_back();
            }
            break;
        }
        case NodeKind::Compare:
        case NodeKind::In:
        case NodeKind::StartsWith:
        case NodeKind::EndsWith:
        case NodeKind::Contains: {
            if (stage < 2) {
                stack.push_back(Step{stage == 0 ? n.a : n.b});
                break;
            }
            const OpCode op = n.kind == NodeKind::Compare      ? OpCode::Compare
                              : n.kind == NodeKind::In         ? OpCode::In
                              : n.kind == NodeKind::StartsWith ? OpCode::StartsWith
                              : n.kind == NodeKind::EndsWith   ? OpCode::EndsWith
                                                               : OpCode::Contains;
            emit(op, n.sub, 0, -1);
            stack.pop_back();
            break;
        }
        }
    }
    return ok_status();
}

} // namespace

Result<Program> compile(const Ast& ast, PyObject* params)
{
    Program p;
    std::vector<std::uint32_t> parameter_consts;
    parameter_consts.reserve(ast.parameters.size());
    for (const std::string& name : ast.parameters) {
        Ref key = Ref::steal(
            PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
        if (!key) return PythonError{};
        PyObject* found = nullptr;
        const int r = params != nullptr ? PyDict_GetItemRef(params, key.get(), &found) : 0;
        if (r < 0) return PythonError{};
        if (r == 0) {
            return VoralixError::invalid_query("Parameter '" + name + "' not given", "where");
        }
        parameter_consts.push_back(static_cast<std::uint32_t>(p.constants.size()));
        p.constants.push_back(Ref::steal(found));
    }
    std::vector<std::uint32_t> literal_consts;
    literal_consts.reserve(ast.literals.size());
    for (const Literal& lit : ast.literals) {
        Ref obj = literal_object(lit);
        if (!obj) return PythonError{};
        literal_consts.push_back(static_cast<std::uint32_t>(p.constants.size()));
        p.constants.push_back(std::move(obj));
    }
    p.keys.reserve(ast.keys.size());
    for (const std::string& k : ast.keys) {
        PyObject* key = PyUnicode_FromStringAndSize(k.data(), static_cast<Py_ssize_t>(k.size()));
        if (key == nullptr) return PythonError{};
        // Interned keys hash once and usually match a dict's key by identity.
        PyUnicode_InternInPlace(&key);
        p.keys.push_back(Ref::steal(key));
    }
    p.schemas.reserve(ast.schemas.size());
    for (const std::string& s : ast.schemas) p.schemas.emplace_back(s);
    p.variables = ast.variables;
    if (Status s = Compiler(ast, p).run(literal_consts, parameter_consts); !s) {
        return std::move(s).error();
    }
    return p;
}

} // namespace voralix::condition
