// The writing operations: create, merge, set and delete. Each one works on
// the whole binding table of its input (a write consumes its input first)
// and on the graph through the graph access layer.
#pragma once

#include "query/operations.hpp"
#include "query/operators.hpp"
#include "query/table.hpp"

namespace voralix {

Status execute_create(RunContext& ctx, Table& table, const CreateOp& op);
Status execute_merge(RunContext& ctx, Table& table, const MergeOp& op);
Status execute_set(RunContext& ctx, Table& table, const op::Set& op);
Status execute_delete(RunContext& ctx, Table& table, const op::Delete& op);

} // namespace voralix
