// The executors: match, create and merge, set and delete, and the pipeline
// that runs a query's queue in order.
#pragma once

#include "errors/error.hpp"
#include "query/operations.hpp"

namespace voralix {

Status execute_match(QueryRecord& q, const MatchOp& op);
Status execute_create(QueryRecord& q, const CreateOp& op);
Status execute_merge(QueryRecord& q, const MergeOp& op);
Status execute_set(QueryRecord& q, const op::Set& op);
void execute_delete(QueryRecord& q, const op::Delete& op);

// Runs the whole queue from the first operation; the first failure ends the
// run and what earlier operations did stays.
Status execute_operations(QueryRecord& q);

} // namespace voralix
