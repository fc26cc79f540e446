#include "query/condition/condition.hpp"

#include "query/condition/evaluator.hpp"
#include "query/condition/parser.hpp"

#include <limits>

namespace voralix::condition {

Result<Prepared> prepare(std::string_view text, PyObject* params)
{
    Result<Ast> ast = parse(text);
    if (!ast) return std::move(ast).error();
    Result<Program> program = compile(*ast, params);
    if (!program) return std::move(program).error();
    return Prepared{std::make_shared<const Program>(std::move(*program))};
}

const std::vector<std::string>& variables(const Prepared& p) noexcept
{
    return p.program->variables;
}

Result<Bound> bind(const Prepared& p,
                   const std::function<std::optional<std::size_t>(std::string_view)>& column_of)
{
    Bound b{p.program, {}};
    b.columns.reserve(p.program->variables.size());
    for (const std::string& name : p.program->variables) {
        const std::optional<std::size_t> column = column_of(name);
        if (!column || *column > std::numeric_limits<std::uint32_t>::max()) {
            return VoralixError::invalid_query("Variable '" + name + "' not defined", "where");
        }
        b.columns.push_back(static_cast<std::uint32_t>(*column));
    }
    return b;
}

Result<bool> keep(const Bound& b, const Cell* row)
{
    return evaluate(*b.program, b.columns.data(), row);
}

} // namespace voralix::condition
