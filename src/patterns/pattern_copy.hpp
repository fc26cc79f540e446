// The copy and pickle methods of the pattern classes, added while each class
// is built.
#pragma once

#include "binding/pyclass.hpp"

namespace voralix {

void define_node_pattern_copy_methods(binding::ClassBuilder& b);
void define_edge_pattern_copy_methods(binding::ClassBuilder& b);
void define_path_pattern_copy_methods(binding::ClassBuilder& b);

} // namespace voralix
