#include "type_schema/schema_type.hpp"

#include "util/unicode.hpp"

#include <vector>

namespace voralix {

namespace {

// Right-associative fold of one parenthesised level: a -> (b -> (c ...)).
Type fold(std::vector<Type>& operands)
{
    Type t = std::move(operands.back());
    for (std::size_t i = operands.size() - 1; i-- > 0;) t = Type::application(operands[i], t);
    operands.clear();
    return t;
}

} // namespace

std::optional<Type> type_named_by_schema(std::string_view text)
{
    std::string_view t = trim(text);
    if (t.size() >= 2 && t.front() == '$' && t.back() == '$') t = t.substr(1, t.size() - 2);
    if (t.find_first_of("*:$") != std::string_view::npos) return std::nullopt;
    const bool structured =
        t.find("->") != std::string_view::npos || t.find_first_of("()") != std::string_view::npos;
    if (!structured) return Type::variable(std::string(t));

    // One operand list per open parenthesis; no recursion, so any nesting depth works.
    std::vector<std::vector<Type>> levels(1);
    bool expect_operand = true;
    std::size_t name_start = 0;

    // Ends the name that runs up to `end`; white space alone is no name.
    auto flush_name = [&](std::size_t end) -> bool {
        std::string_view name = trim(t.substr(name_start, end - name_start));
        if (name.empty()) return true;
        if (!expect_operand) return false;
        levels.back().push_back(Type::variable(std::string(name)));
        expect_operand = false;
        return true;
    };

    std::size_t i = 0;
    while (i < t.size()) {
        const char c = t[i];
        const bool arrow = c == '-' && i + 1 < t.size() && t[i + 1] == '>';
        if (c != '(' && c != ')' && !arrow) {
            ++i;
            continue;
        }
        if (!flush_name(i)) return std::nullopt;
        if (c == '(') {
            if (!expect_operand) return std::nullopt;
            levels.emplace_back();
            i += 1;
        } else if (c == ')') {
            if (expect_operand || levels.size() == 1) return std::nullopt;
            Type inner = fold(levels.back());
            levels.pop_back();
            levels.back().push_back(std::move(inner));
            i += 1;
        } else {
            if (expect_operand) return std::nullopt;
            expect_operand = true;
            i += 2;
        }
        name_start = i;
    }
    if (!flush_name(t.size()) || expect_operand || levels.size() != 1) return std::nullopt;
    return fold(levels.back());
}

} // namespace voralix
