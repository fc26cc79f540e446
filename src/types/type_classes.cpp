#include "types/type_classes.hpp"

#include "binding/convert.hpp"
#include "binding/pyclass.hpp"
#include "binding/reduce.hpp"
#include "binding/values.hpp"
#include "util/ref.hpp"

namespace voralix {

using namespace binding;
using TypeObject = Object<TypeValue>;

bool python_to_type(PyObject* obj, Type& out) noexcept
{
    if (Py_IS_TYPE(obj, variable_type()) || Py_IS_TYPE(obj, application_type())) {
        auto* o = as_object<TypeValue>(obj);
        SharedBorrow borrow(o->borrow);
        if (!borrow) return false;
        out = o->value.type;
        return true;
    }
    PyErr_SetString(PyExc_TypeError, "Expected Variable or Application");
    return false;
}

PyObject* type_to_python(const Type& t) noexcept
{
    return wrap(t.is_variable() ? variable_type() : application_type(), TypeValue{t});
}

namespace {

// Shared by both classes: uid, str, hash and the comparison protocol.

PyObject* type_uid(const TypeValue& value, Args&)
{
    return digest_to_python(value.type.uid_digest());
}

PyObject* type_str(const TypeValue& value)
{
    const Type& t = value.type;
    if (t.is_variable()) return to_python_str(t.name());
    return to_python_str(t.text());
}

Py_hash_t type_hash(const TypeValue& value)
{
    return static_cast<Py_hash_t>(value.type.python_hash());
}

PyObject* type_richcompare(PyObject* self, PyObject* other, int op) noexcept
{
    try {
        if (op == Py_NE) return not_equal_via_eq(self, other);
        if (op != Py_EQ || !Py_IS_TYPE(other, Py_TYPE(self))) Py_RETURN_NOTIMPLEMENTED;
        auto* a = as_object<TypeValue>(self);
        auto* b = as_object<TypeValue>(other);
        SharedBorrow ba(a->borrow);
        if (!ba) return nullptr;
        SharedBorrow bb(b->borrow);
        if (!bb) return nullptr;
        return new_bool(a->value.type == b->value.type);
    } catch (...) {
        return raise_cpp_exception();
    }
}

// Variable

Param kVariableParams[] = {{"name"}};
Signature kVariableNew("Variable", "Variable", CallKind::Constructor, kVariableParams);
Signature kVariableUid("Variable", "uid", CallKind::Method);

PyObject* variable_new(PyTypeObject* type, Args& a)
{
    std::string_view name;
    if (!to_text(a[0], a.name(0), name)) return nullptr;
    return wrap(type, TypeValue{Type::variable(std::string(name))});
}

PyObject* variable_get_name(const TypeValue& value)
{
    return to_python_str(value.type.name());
}

int variable_set_name(TypeObject* self, PyObject* value)
{
    std::string_view name;
    if (!to_text(value, "name", name)) return -1;
    ExclusiveBorrow borrow(self->borrow);
    if (!borrow) return -1;
    self->value.type = Type::variable(std::string(name));
    return 0;
}

PyObject* variable_repr(const TypeValue& value)
{
    std::string s = "Variable(\"";
    s += value.type.name();
    s += "\")";
    return to_python_str(s);
}

// Application

Param kApplicationParams[] = {{"left"}, {"right"}};
Signature kApplicationNew("Application", "Application", CallKind::Constructor, kApplicationParams);
Signature kApplicationUid("Application", "uid", CallKind::Method);

PyObject* application_new(PyTypeObject* type, Args& a)
{
    Type left, right;
    if (!python_to_type(a[0], left) || !python_to_type(a[1], right)) return nullptr;
    return wrap(type, TypeValue{Type::application(left, right)});
}

PyObject* application_get_left(const TypeValue& value)
{
    return type_to_python(value.type.left());
}

PyObject* application_get_right(const TypeValue& value)
{
    return type_to_python(value.type.right());
}

PyObject* application_repr(const TypeValue& value)
{
    std::string s = "Application(";
    value.type.left().append_text(s);
    s += ", ";
    value.type.right().append_text(s);
    s += ')';
    return to_python_str(s);
}

// Pickling: Variable(name) or Application(left, right).
PyObject* type_reduce(const TypeValue& value, Args&)
{
    const Type& t = value.type;
    if (t.is_variable()) {
        return reduce_value(variable_type(), Py_BuildValue("(N)", to_python_str(t.name())));
    }
    return reduce_value(application_type(),
                        Py_BuildValue("(NN)", type_to_python(t.left()), type_to_python(t.right())));
}

// Copies, shallow and deep alike, share the immutable type: O(1) at any depth.
PyObject* type_copy(const TypeValue& value, Args&)
{
    return type_to_python(value.type);
}

Param kMemoParams[] = {{"memo"}};
Signature kVariableReduce("Variable", "__reduce__", CallKind::Method);
Signature kVariableCopy("Variable", "__copy__", CallKind::Method);
Signature kVariableDeepCopy("Variable", "__deepcopy__", CallKind::Method, kMemoParams);
Signature kApplicationReduce("Application", "__reduce__", CallKind::Method);
Signature kApplicationCopy("Application", "__copy__", CallKind::Method);
Signature kApplicationDeepCopy("Application", "__deepcopy__", CallKind::Method, kMemoParams);

constexpr const char* kReduceDoc = "Pickle support: the class and its constructor's arguments.";
constexpr const char* kCopyDoc = "Returns an equal, separate object (copy.copy).";
constexpr const char* kDeepCopyDoc =
    "Returns an equal, separate object (copy.deepcopy); types are immutable values, so "
    "nothing below is copied.";

PyTypeObject* build_common(ClassBuilder& b)
{
    b.object<TypeValue>()
        .slot(Py_tp_str, reinterpret_cast<void*>(&unary<type_str>))
        .slot(Py_tp_hash, reinterpret_cast<void*>(&hash<type_hash>))
        .slot(Py_tp_richcompare, reinterpret_cast<void*>(&type_richcompare));
    return b.build();
}

} // namespace

PyTypeObject* variable_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b("Variable", kVariableNew,
                       "A type variable: an atomic type such as Person.\n\n"
                       "Variables compare and hash by name; the name can be changed in place.");
        b.constructor<kVariableNew, variable_new>()
            .def<kVariableUid, type_uid>(
                "Returns the unique identifier of this type: a SHA256 hash based on the "
                "variable name, as 64 lowercase hexadecimal digits.")
            .attribute("name", &getter<variable_get_name>, &setter<variable_set_name>,
                       "The name of this type variable.")
            .def<kVariableReduce, type_reduce>(kReduceDoc)
            .def<kVariableCopy, type_copy>(kCopyDoc)
            .def<kVariableDeepCopy, type_copy>(kDeepCopyDoc)
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<variable_repr>));
        return build_common(b);
    }();
    return type;
}

PyTypeObject* application_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b("Application", kApplicationNew,
                       "A function type from left (input) to right (output), written "
                       "(left -> right).");
        b.constructor<kApplicationNew, application_new>()
            .def<kApplicationUid, type_uid>(
                "Returns the unique identifier of this type: a SHA256 hash based on the uids "
                "of the left and right types, as 64 lowercase hexadecimal digits.")
            .attribute("left", &getter<application_get_left>, nullptr,
                       "Gets the left (input) type of this application.\n\n"
                       "Returns:\n    The input type, a new Variable or Application object.")
            .attribute("right", &getter<application_get_right>, nullptr,
                       "Gets the right (output) type of this application.\n\n"
                       "Returns:\n    The output type, a new Variable or Application object.")
            .def<kApplicationReduce, type_reduce>(kReduceDoc)
            .def<kApplicationCopy, type_copy>(kCopyDoc)
            .def<kApplicationDeepCopy, type_copy>(kDeepCopyDoc)
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<application_repr>));
        return build_common(b);
    }();
    return type;
}

} // namespace voralix
