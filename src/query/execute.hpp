// The executors: match, create and merge, set and delete, and the pipeline
// that runs a query's queue in order.
#pragma once

#include "errors/error.hpp"
#include "query/operations.hpp"

namespace voralix {

// The nodes that pass `p`, in graph order: with a specific type only the
// nodes of that type are tested. With `first_only` the scan stops at the first.
Result<BindingList> find_nodes(const QueryRecord& q, const NodePattern& p, bool first_only);

Status execute_match(QueryRecord& q, const MatchOp& op);
Status execute_create(QueryRecord& q, const CreateOp& op);
Status execute_merge(QueryRecord& q, const MergeOp& op);
Status execute_set(QueryRecord& q, const op::Set& op);
void execute_delete(QueryRecord& q, const op::Delete& op);

// Runs the whole queue from the first operation; the first failure ends the
// run and what earlier operations did stays.
Status execute_operations(QueryRecord& q);

} // namespace voralix
