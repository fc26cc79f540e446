// The Graph methods beyond the container itself: element helpers, the
// well-formedness check, JSON, copies and pickling, networkx and display;
// and the copy and pickle methods of Node and Edge. Each file adds its
// methods to a class while the class is built.
#pragma once

#include <Python.h>

#include "binding/pyclass.hpp"
#include "graph/graph.hpp"

#include <string>

namespace voralix {

// The record's two dicts, or RuntimeError when the garbage collector has
// cleared the graph (only reachable from a finalizer).
bool graph_usable(const GraphRecord& g) noexcept;

// "the value's class is int, not Node": why a dict entry is no element.
std::string wrong_class_text(PyObject* value, const char* expected);

void define_graph_edit_methods(binding::ClassBuilder& b);
void define_graph_check_methods(binding::ClassBuilder& b);
void define_graph_json_methods(binding::ClassBuilder& b);
void define_graph_copy_methods(binding::ClassBuilder& b);
void define_node_copy_methods(binding::ClassBuilder& b);
void define_edge_copy_methods(binding::ClassBuilder& b);
void define_graph_networkx_methods(binding::ClassBuilder& b);
void define_graph_display_methods(binding::ClassBuilder& b);

} // namespace voralix
