// The graph record (two shared dicts, uid -> Node and uid -> Edge), the Graph
// class, and the typed node lookup used by the query engine.
#pragma once

#include <Python.h>

#include "errors/error.hpp"
#include "graph/records.hpp"

#include <vector>

namespace voralix {

struct GraphRecord {
    Ref nodes; // exact dicts created by Graph(); null only after a GC clear
    Ref edges;

    int traverse(visitproc visit, void* arg) const
    {
        if (int r = nodes.visit(visit, arg)) return r;
        return edges.visit(visit, arg);
    }
    void clear() noexcept
    {
        nodes.reset();
        edges.reset();
    }
};

PyTypeObject* graph_type();

// Graph.query() makes its Query through this factory, set by the module at
// start-up: the graph knows nothing of the query engine built on it.
using QueryFactory = PyObject* (*)(const GraphRecord&) noexcept;
void set_query_factory(QueryFactory make) noexcept;

// Copies the record out of a Graph object (checked by the caller).
GraphRecord read_graph(PyObject* obj) noexcept;

// The nodes whose type has the uid `type_uid`, as record copies in the node
// dict's order. Every entry is checked: a key that is not a str or a value
// that is not a Node fails the call whatever uid is asked for.
Result<std::vector<NodeRecord>> get_nodes_by_type(const GraphRecord& g, const Digest& type_uid);

} // namespace voralix
