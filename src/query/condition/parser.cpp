#include "query/condition/parser.hpp"

#include "query/condition/lexer.hpp"

#include <unordered_map>
#include <utility>
#include <vector>

namespace voralix::condition {

namespace {

// Pending constructs. Brackets (Root, Paren, List, Call) wait for their
// closing token; operators wait for their right operand.
enum class FrameKind : std::uint8_t {
    Root,
    Paren,
    List,
    Call,
    Or,
    Xor,
    And,
    Not,
    Compare,
    In,
    StartsWith,
    EndsWith,
    Contains,
};

// Binding strength; 0 for brackets, which operators never reduce.
constexpr int kCompareLevel = 5;
constexpr int kPredicateLevel = 6;

int level(FrameKind k) noexcept
{
    switch (k) {
    case FrameKind::Root:
    case FrameKind::Paren:
    case FrameKind::List:
    case FrameKind::Call: return 0;
    case FrameKind::Or: return 1;
    case FrameKind::Xor: return 2;
    case FrameKind::And: return 3;
    case FrameKind::Not: return 4;
    case FrameKind::Compare: return kCompareLevel;
    case FrameKind::In:
    case FrameKind::StartsWith:
    case FrameKind::EndsWith:
    case FrameKind::Contains: return kPredicateLevel;
    }
    return 0;
}

NodeKind node_kind(FrameKind k) noexcept
{
    switch (k) {
    case FrameKind::Or: return NodeKind::Or;
    case FrameKind::Xor: return NodeKind::Xor;
    case FrameKind::And: return NodeKind::And;
    case FrameKind::Compare: return NodeKind::Compare;
    case FrameKind::In: return NodeKind::In;
    case FrameKind::StartsWith: return NodeKind::StartsWith;
    case FrameKind::EndsWith: return NodeKind::EndsWith;
    case FrameKind::Contains: return NodeKind::Contains;
    default: return NodeKind::Not;
    }
}

// The binding strength of the operator a token stands for; 0 if none.
int operator_level(const Token& t) noexcept
{
    switch (t.kind) {
    case TokenKind::Eq:
    case TokenKind::Ne:
    case TokenKind::Lt:
    case TokenKind::Le:
    case TokenKind::Gt:
    case TokenKind::Ge: return kCompareLevel;
    case TokenKind::Name:
        if (t.is_word("OR")) return 1;
        if (t.is_word("XOR")) return 2;
        if (t.is_word("AND")) return 3;
        if (t.is_word("IS") || t.is_word("IN") || t.is_word("STARTS") || t.is_word("ENDS") ||
            t.is_word("CONTAINS")) {
            return kPredicateLevel;
        }
        return 0;
    default: return 0;
    }
}

Comparison comparison_of(TokenKind k) noexcept
{
    switch (k) {
    case TokenKind::Ne: return Comparison::Ne;
    case TokenKind::Lt: return Comparison::Lt;
    case TokenKind::Le: return Comparison::Le;
    case TokenKind::Gt: return Comparison::Gt;
    case TokenKind::Ge: return Comparison::Ge;
    default: return Comparison::Eq;
    }
}

bool is_reserved(const Token& t) noexcept
{
    static constexpr std::string_view kReserved[] = {"AND",      "OR",   "XOR",    "NOT",  "IS",
                                                     "NULL",     "IN",   "STARTS", "ENDS", "WITH",
                                                     "CONTAINS", "TRUE", "FALSE"};
    for (std::string_view w : kReserved) {
        if (t.is_word(w)) return true;
    }
    return false;
}

bool function_of(const Token& t, Function& out) noexcept
{
    static constexpr std::pair<std::string_view, Function> kFunctions[] = {
        {"UID", Function::Uid},     {"TYPE", Function::Type}, {"NAME", Function::Name},
        {"START", Function::Start}, {"END", Function::End},   {"SIZE", Function::Size}};
    for (const auto& [word, f] : kFunctions) {
        if (t.is_word(word)) {
            out = f;
            return true;
        }
    }
    return false;
}

struct Frame {
    FrameKind kind;
    std::uint8_t sub = 0;
    std::uint32_t value = 0; // an operator's left operand; a list's element count
};

class Parser {
public:
    explicit Parser(std::string_view text) : lexer_(text) {}
    Result<Ast> run();

private:
    enum class State : std::uint8_t { Operand, Postfix, Operator };

    Status advance(bool operand)
    {
        Result<Token> t = lexer_.next(operand);
        if (!t) return std::move(t).error();
        tok_ = std::move(*t);
        return ok_status();
    }
    VoralixError fail(std::string_view reason) const { return syntax_error(reason, tok_.offset); }

    std::uint32_t add(NodeKind kind, std::uint8_t sub, std::uint32_t a, std::uint32_t b = 0)
    {
        ast_.nodes.push_back(AstNode{kind, sub, a, b});
        return static_cast<std::uint32_t>(ast_.nodes.size() - 1);
    }
    void push(std::uint32_t node) { operands_.push_back(node); }
    std::uint32_t pop()
    {
        std::uint32_t n = operands_.back();
        operands_.pop_back();
        return n;
    }
    void wrap(NodeKind kind, std::uint8_t sub, std::uint32_t b = 0)
    {
        operands_.back() = add(kind, sub, operands_.back(), b);
    }
    static std::uint32_t intern(std::vector<std::string>& names,
                                std::unordered_map<std::string, std::uint32_t>& index,
                                std::string name)
    {
        auto [it, inserted] = index.try_emplace(name, static_cast<std::uint32_t>(names.size()));
        if (inserted) names.push_back(std::move(name));
        return it->second;
    }
    std::uint32_t literal(Literal::Kind kind, std::string text = {})
    {
        ast_.literals.push_back(Literal{kind, std::move(text)});
        return add(NodeKind::Literal, 0, static_cast<std::uint32_t>(ast_.literals.size() - 1));
    }
    void reduce()
    {
        const Frame f = frames_.back();
        frames_.pop_back();
        if (f.kind == FrameKind::Not) {
            wrap(NodeKind::Not, 0);
            return;
        }
        const std::uint32_t right = pop();
        push(add(node_kind(f.kind), f.sub, f.value, right));
    }

    Result<State> operand();
    Result<State> postfix();
    Result<State> operator_or_close(bool& done);

    Lexer lexer_;
    Token tok_;
    Ast ast_;
    std::vector<Frame> frames_;
    std::vector<std::uint32_t> operands_;
    std::unordered_map<std::string, std::uint32_t> variable_index_, parameter_index_;
};

Result<Ast> Parser::run()
{
    if (Status s = advance(true); !s) return std::move(s).error();
    if (tok_.kind == TokenKind::End) return std::move(ast_);
    frames_.push_back(Frame{FrameKind::Root});
    State state = State::Operand;
    bool done = false;
    while (!done) {
        Result<State> next = state == State::Operand   ? operand()
                             : state == State::Postfix ? postfix()
                                                       : operator_or_close(done);
        if (!next) return std::move(next).error();
        state = *next;
    }
    ast_.root = operands_.back();
    return std::move(ast_);
}

// An expression may start here: a NOT prefix, an opening bracket or an atom.
auto Parser::operand() -> Result<State>
{
    // NOT binds more loosely than comparisons and predicates, so it may not
    // start their operands.
    if (tok_.is_word("NOT") && level(frames_.back().kind) < kCompareLevel) {
        frames_.push_back(Frame{FrameKind::Not});
        if (Status s = advance(true); !s) return std::move(s).error();
        return State::Operand;
    }
    switch (tok_.kind) {
    case TokenKind::String: push(literal(Literal::Kind::String, std::move(tok_.value))); break;
    case TokenKind::Number:
        push(literal(tok_.number.is_float ? Literal::Kind::Float : Literal::Kind::Integer,
                     std::move(tok_.number.text)));
        break;
    case TokenKind::Param:
        push(add(NodeKind::Parameter, 0,
                 intern(ast_.parameters, parameter_index_, std::move(tok_.value))));
        break;
    case TokenKind::Quoted:
        push(add(NodeKind::Variable, 0,
                 intern(ast_.variables, variable_index_, std::move(tok_.value))));
        break;
    case TokenKind::LParen:
        frames_.push_back(Frame{FrameKind::Paren});
        if (Status s = advance(true); !s) return std::move(s).error();
        return State::Operand;
    case TokenKind::LBracket:
        if (Status s = advance(true); !s) return std::move(s).error();
        if (tok_.kind != TokenKind::RBracket) {
            frames_.push_back(Frame{FrameKind::List});
            return State::Operand;
        }
        push(add(NodeKind::List, 0, static_cast<std::uint32_t>(ast_.list_items.size()), 0));
        break;
    case TokenKind::Name: {
        if (tok_.is_word("TRUE")) {
            push(literal(Literal::Kind::True));
            break;
        }
        if (tok_.is_word("FALSE")) {
            push(literal(Literal::Kind::False));
            break;
        }
        if (tok_.is_word("NULL")) {
            push(literal(Literal::Kind::Null));
            break;
        }
        if (is_reserved(tok_)) return fail("Expected an expression");
        Token name = std::move(tok_);
        if (Status s = advance(false); !s) return std::move(s).error();
        if (tok_.kind != TokenKind::LParen) {
            push(add(NodeKind::Variable, 0,
                     intern(ast_.variables, variable_index_, std::string(name.text))));
            return State::Postfix;
        }
        Function f;
        if (!function_of(name, f)) {
            return syntax_error("Unknown function '" + std::string(name.text) + "'", name.offset);
        }
        frames_.push_back(Frame{FrameKind::Call, static_cast<std::uint8_t>(f)});
        if (Status s = advance(true); !s) return std::move(s).error();
        return State::Operand;
    }
    default: return fail("Expected an expression");
    }
    if (Status s = advance(false); !s) return std::move(s).error();
    return State::Postfix;
}

// After an atom: property accesses and type tests.
auto Parser::postfix() -> Result<State>
{
    while (true) {
        if (tok_.kind == TokenKind::Dot) {
            if (Status s = advance(false); !s) return std::move(s).error();
            if (tok_.kind == TokenKind::Name) {
                ast_.keys.emplace_back(tok_.text);
            } else if (tok_.kind == TokenKind::Quoted) {
                ast_.keys.push_back(std::move(tok_.value));
            } else {
                return fail("Expected a property key");
            }
            wrap(NodeKind::Property, 0, static_cast<std::uint32_t>(ast_.keys.size() - 1));
        } else if (tok_.kind == TokenKind::Colon) {
            Result<std::string> schema = lexer_.type_text();
            if (!schema) return std::move(schema).error();
            ast_.schemas.push_back(std::move(*schema));
            wrap(NodeKind::TypeTest, 0, static_cast<std::uint32_t>(ast_.schemas.size() - 1));
        } else {
            return State::Operator;
        }
        if (Status s = advance(false); !s) return std::move(s).error();
    }
}

// After a complete operand: an operator, or the token that closes the
// innermost bracket (the end of the text for the root).
auto Parser::operator_or_close(bool& done) -> Result<State>
{
    const int op = operator_level(tok_);
    while (true) {
        const Frame& f = frames_.back();
        const int fl = level(f.kind);
        if (fl == 0 || (op > 0 && fl < op)) break;
        if (op == kCompareLevel && f.kind == FrameKind::Compare) {
            return fail("Comparisons cannot be chained");
        }
        reduce();
    }
    if (op == 0) {
        Frame& f = frames_.back();
        switch (f.kind) {
        case FrameKind::Root:
            if (tok_.kind != TokenKind::End) return fail("Expected end of condition");
            done = true;
            return State::Operator;
        case FrameKind::Paren:
        case FrameKind::Call:
            if (tok_.kind != TokenKind::RParen) return fail("Expected ')'");
            if (f.kind == FrameKind::Call) wrap(NodeKind::Call, f.sub);
            frames_.pop_back();
            break;
        case FrameKind::List: {
            if (tok_.kind != TokenKind::Comma && tok_.kind != TokenKind::RBracket) {
                return fail("Expected ',' or ']'");
            }
            ++f.value;
            if (tok_.kind == TokenKind::Comma) {
                if (Status s = advance(true); !s) return std::move(s).error();
                return State::Operand;
            }
            const std::uint32_t count = f.value;
            const auto first = static_cast<std::uint32_t>(ast_.list_items.size());
            ast_.list_items.insert(ast_.list_items.end(), operands_.end() - count, operands_.end());
            operands_.resize(operands_.size() - count);
            push(add(NodeKind::List, 0, first, count));
            frames_.pop_back();
            break;
        }
        default: break; // operators were all reduced above
        }
        if (Status s = advance(false); !s) return std::move(s).error();
        return State::Postfix;
    }

    const Token t = std::move(tok_);
    if (op == kCompareLevel) {
        frames_.push_back(
            Frame{FrameKind::Compare, static_cast<std::uint8_t>(comparison_of(t.kind)), pop()});
    } else if (t.is_word("IS")) {
        if (Status s = advance(false); !s) return std::move(s).error();
        const bool negated = tok_.is_word("NOT");
        if (negated) {
            if (Status s = advance(false); !s) return std::move(s).error();
        }
        if (!tok_.is_word("NULL")) return fail("Expected NULL");
        wrap(negated ? NodeKind::IsNotNull : NodeKind::IsNull, 0);
        if (Status s = advance(false); !s) return std::move(s).error();
        return State::Operator;
    } else if (t.is_word("STARTS") || t.is_word("ENDS")) {
        if (Status s = advance(false); !s) return std::move(s).error();
        if (!tok_.is_word("WITH")) return fail("Expected WITH");
        frames_.push_back(
            Frame{t.is_word("STARTS") ? FrameKind::StartsWith : FrameKind::EndsWith, 0, pop()});
    } else {
        const FrameKind k = t.is_word("OR")    ? FrameKind::Or
                            : t.is_word("XOR") ? FrameKind::Xor
                            : t.is_word("AND") ? FrameKind::And
                            : t.is_word("IN")  ? FrameKind::In
                                               : FrameKind::Contains;
        frames_.push_back(Frame{k, 0, pop()});
    }
    if (Status s = advance(true); !s) return std::move(s).error();
    return State::Operand;
}

} // namespace

Result<Ast> parse(std::string_view text)
{
    return Parser(text).run();
}

} // namespace voralix::condition
