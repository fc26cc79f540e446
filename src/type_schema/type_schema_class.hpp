// The Python class TypeSchema.
#pragma once

#include <Python.h>

#include "errors/error.hpp"
#include "type_schema/schema.hpp"

#include <optional>

namespace voralix {

struct TypeSchemaValue {
    Schema schema;
};

PyTypeObject* type_schema_type();

// The schema argument of patterns: a str is the schema text, a TypeSchema
// object gives its text, and anything else (None included) means no schema.
// Fails only for a str that has no UTF-8 form (UnicodeEncodeError).
Result<std::optional<Schema>> schema_from_python(PyObject* obj);

} // namespace voralix
