// A condition compiled for evaluation: a flat stack-machine program whose
// operands (literals, parameter values, constant lists, interned property
// keys, schemas) are built once, so that evaluating a row walks no tree and
// makes no Python object for a literal.
#pragma once

#include <Python.h>

#include "errors/error.hpp"
#include "query/condition/ast.hpp"
#include "type_schema/schema.hpp"
#include "util/ref.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace voralix::condition {

enum class OpCode : std::uint8_t {
    Push,         // push constants[arg]
    Var,          // push the cell of variable slot arg
    Property,     // replace the top by its property keys[arg]
    VarProperty,  // push property keys[arg2] of variable slot arg (Var + Property)
    TypeTest,     // replace the top by whether schemas[arg] matches its type
    Call,         // replace the top by Function(sub) of it
    MakeList,     // replace the top arg values by a list of them
    Not,          // Kleene NOT of the top
    AndJump,      // check the top; if false, jump to arg (the top stays as the result)
    And,          // combine the top two (Kleene AND)
    OrJump,       // check the top; if true, jump to arg
    Or,           // combine the top two (Kleene OR)
    XorCheck,     // check the top is boolean or null
    Xor,          // combine the top two (Kleene XOR)
    Compare,      // Comparison(sub) of the top two
    CompareConst, // Comparison(sub) of the top and constants[arg2] (Push + Compare)
    In,           // the second value IN the top one
    StartsWith,   // string predicates of the top two
    EndsWith,
    Contains,
    IsNull,
    IsNotNull,
};

struct Instr {
    OpCode op;
    std::uint8_t sub = 0;
    std::uint32_t arg = 0;
    std::uint32_t arg2 = 0;
};

struct Program {
    std::vector<Instr> code; // empty: the condition is true
    std::vector<Ref> constants;
    std::vector<Ref> keys;
    std::vector<Schema> schemas;
    std::vector<std::string> variables; // the name of each variable slot
    std::uint32_t max_depth = 0;        // the deepest the value stack gets
};

// Compiles `ast`, taking its parameters' values from `params` (a dict, or
// null when none were given) in text order; a missing one is InvalidQuery
// "Parameter 'name' not given" with context "where".
Result<Program> compile(const Ast& ast, PyObject* params);

} // namespace voralix::condition
