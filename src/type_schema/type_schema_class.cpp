#include "type_schema/type_schema_class.hpp"

#include "binding/convert.hpp"
#include "binding/pyclass.hpp"
#include "binding/reduce.hpp"
#include "binding/values.hpp"
#include "types/type_classes.hpp"

namespace voralix {

using namespace binding;

Result<std::optional<Schema>> schema_from_python(PyObject* obj)
{
    using Maybe = std::optional<Schema>;
    if (obj == nullptr || obj == Py_None) return Maybe();
    if (PyUnicode_Check(obj)) {
        std::string_view text;
        if (!to_text(obj, nullptr, text)) return PythonError{};
        return Maybe(Schema(std::string(text)));
    }
    if (Py_IS_TYPE(obj, type_schema_type())) {
        // Copies share the text; it never changes.
        return Maybe(as_object<TypeSchemaValue>(obj)->value.schema);
    }
    return Maybe();
}

namespace {

Param kSchemaParams[] = {{"pattern"}};
Signature kSchemaNew("TypeSchema", "TypeSchema", CallKind::Constructor, kSchemaParams);
Param kTypeParams[] = {{"type"}};
Signature kMatches("TypeSchema", "matches", CallKind::Method, kTypeParams);
Signature kCapture("TypeSchema", "capture", CallKind::Method, kTypeParams);

PyObject* schema_new(PyTypeObject* type, Args& a)
{
    std::string_view text;
    if (!to_text(a[0], a.name(0), text)) return nullptr;
    return wrap(type, TypeSchemaValue{Schema(std::string(text))});
}

PyObject* schema_matches(const TypeSchemaValue& value, Args& a)
{
    Type t;
    if (!python_to_type(a[0], t)) return nullptr;
    return new_bool(value.schema.matches(t));
}

PyObject* schema_capture(const TypeSchemaValue& value, Args& a)
{
    Type t;
    if (!python_to_type(a[0], t)) return nullptr;
    CaptureList captures;
    value.schema.capture(t, captures);
    Ref result = Ref::steal(PyDict_New());
    if (!result) return nullptr;
    for (const auto& [name, captured] : captures) {
        Ref key = Ref::steal(to_python_str(name));
        if (!key) return nullptr;
        Ref value = Ref::steal(type_to_python(captured));
        if (!value || PyDict_SetItem(result.get(), key.get(), value.get()) < 0) return nullptr;
    }
    return result.release();
}

PyObject* schema_str(const TypeSchemaValue& value)
{
    std::string s = "TypeSchema(\"";
    s += value.schema.text();
    s += "\")";
    return to_python_str(s);
}

// Pickling: TypeSchema(pattern).
PyObject* schema_reduce(const TypeSchemaValue& value, Args&)
{
    return reduce_value(type_schema_type(),
                        Py_BuildValue("(N)", to_python_str(value.schema.text())));
}

// A schema never changes: copies share its text.
PyObject* schema_copy(const TypeSchemaValue& value, Args&)
{
    return wrap(type_schema_type(), TypeSchemaValue{value.schema});
}

Param kMemoParams[] = {{"memo"}};
Signature kSchemaReduce("TypeSchema", "__reduce__", CallKind::Method);
Signature kSchemaCopy("TypeSchema", "__copy__", CallKind::Method);
Signature kSchemaDeepCopy("TypeSchema", "__deepcopy__", CallKind::Method, kMemoParams);

} // namespace

PyTypeObject* type_schema_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b(
            "TypeSchema", kSchemaNew,
            "A pattern over types, written between dollar signs.\n\n"
            "  $*$            any type\n"
            "  $Person$       the type variable Person\n"
            "  $A -> B$       a function type whose input matches A and output matches B\n"
            "  $(name:pat)$   match pat and capture the matched type under name\n\n"
            "Arrows associate to the right. To capture both sides of a function type, "
            "write the groups after a space: $ (x:*) -> (y:*) $.");
        b.object<TypeSchemaValue>()
            .constructor<kSchemaNew, schema_new>()
            .def<kMatches, schema_matches>("Returns True if the schema matches the type.")
            .def<kCapture, schema_capture>(
                "Matches the type and returns a dict from capture name to the captured type; "
                "the dict is empty when the type does not match.")
            .def<kSchemaReduce, schema_reduce>(
                "Pickle support: the class and its constructor's argument.")
            .def<kSchemaCopy, schema_copy>("Returns a separate schema with the same pattern.")
            .def<kSchemaDeepCopy, schema_copy>(
                "Returns a separate schema with the same pattern (copy.deepcopy).")
            .slot(Py_tp_str, reinterpret_cast<void*>(&unary<schema_str>))
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<schema_str>));
        return b.build();
    }();
    return type;
}

} // namespace voralix
