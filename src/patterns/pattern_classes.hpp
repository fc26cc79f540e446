// The Python classes NodePattern, EdgePattern and PathPattern.
#pragma once

#include <Python.h>

#include "patterns/path_pattern.hpp"

namespace voralix {

PyTypeObject* node_pattern_type();
PyTypeObject* edge_pattern_type();
PyTypeObject* path_pattern_type();

} // namespace voralix
