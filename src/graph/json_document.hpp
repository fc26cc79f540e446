// The graph JSON document (see docs/json-format.md): writing a whole graph
// as one document, and reading one back into a new graph.
#pragma once

#include <Python.h>

#include "graph/graph.hpp"

#include <cstdint>
#include <string_view>

namespace voralix {

inline constexpr std::string_view kGraphFormat = "voralix-graph";
inline constexpr std::uint64_t kGraphVersion = 1;

// The document of `g`, a new str; TypeError naming the element and the key
// for anything the document cannot hold.
PyObject* write_graph_document(const GraphRecord& g);

// A new `graph_class` object from the document `text` (the UTF-8 form of
// `source`, the str it came from); json.JSONDecodeError with the position of
// the first problem.
PyObject* read_graph_document(PyTypeObject* graph_class, std::string_view text, PyObject* source);

} // namespace voralix
