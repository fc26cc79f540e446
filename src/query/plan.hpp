// Runs a query's queue: compiles the operations, in queue order, into a chain
// of operators over the binding table, carries out the writes, and leaves the
// resulting table as the query's bindings.
#pragma once

#include "query/operations.hpp"

namespace voralix {

// Runs the whole queue from the bindings of the last run. On failure the
// bindings are those of the last completed step: each write, and each read
// whose rows no later skip / limit may cut short, completes on its own (and
// a long run of reads that may be cut short completes now and then).
Status execute_operations(QueryRecord& q);

} // namespace voralix
