#include "term/term_class.hpp"

#include "binding/convert.hpp"
#include "binding/pyclass.hpp"
#include "binding/reduce.hpp"
#include "binding/values.hpp"
#include "errors/error.hpp"
#include "types/type_classes.hpp"
#include "util/ref.hpp"

namespace voralix {

using namespace binding;
using TermObject = Object<TermValue>;

namespace {

Param kTermParams[] = {{"name"}, {"type"}};
Signature kTermNew("Term", "Term", CallKind::Constructor, kTermParams);
Signature kTermUid("Term", "uid", CallKind::Method);
Param kCallParams[] = {{"other"}};
Signature kTermCall("Term", "__call__", CallKind::Call, kCallParams);

PyObject* term_apply(TermObject* self, Args& a);

PyObject* new_term_object(PyTypeObject* type, Term t) noexcept
{
    PyObject* o = wrap(type, TermValue{std::move(t)});
    if (o != nullptr) {
        as_object<TermValue>(o)->vectorcall = &vectorcall<kTermCall, term_apply>;
    }
    return o;
}

PyObject* term_new(PyTypeObject* type, Args& a)
{
    std::string_view name;
    if (!to_text(a[0], a.name(0), name)) return nullptr;
    Type t;
    if (!python_to_type(a[1], t)) return nullptr;
    return new_term_object(type, Term(std::string(name), std::move(t)));
}

PyObject* term_apply(TermObject* self, Args& a)
{
    if (!check_instance(a[0], term_type(), a.name(0))) return nullptr;
    Term f, x;
    if (!read_term(reinterpret_cast<PyObject*>(self), f) || !read_term(a[0], x)) return nullptr;
    const Type& ft = f.type();
    if (ft.is_variable()) {
        return raise_error(VoralixError::type_mismatch("application type (A -> B)", ft.text(),
                                                       "term application"));
    }
    Type input = ft.left();
    if (!(x.type() == input)) {
        return raise_error(
            VoralixError::type_mismatch(input.text(), x.type().text(), "function application"));
    }
    std::string name = "(";
    name += f.name();
    name += ' ';
    name += x.name();
    name += ')';
    return new_term_object(term_type(), Term(std::move(name), ft.right()));
}

PyObject* term_get_name(const TermValue& value)
{
    return to_python_str(value.term.name());
}

int term_set_name(TermObject* self, PyObject* value)
{
    std::string_view name;
    if (!to_text(value, "name", name)) return -1;
    ExclusiveBorrow borrow(self->borrow);
    if (!borrow) return -1;
    self->value.term = Term(std::string(name), self->value.term.type());
    return 0;
}

PyObject* term_get_type(const TermValue& value)
{
    return type_to_python(value.term.type());
}

PyObject* term_uid(const TermValue& value, Args&)
{
    return digest_to_python(value.term.uid_digest());
}

PyObject* term_str(const TermValue& value)
{
    return to_python_str(value.term.text());
}

PyObject* term_repr(const TermValue& value)
{
    const Term& t = value.term;
    std::string s = "Term(\"";
    s += t.name();
    s += "\", ";
    t.type().append_text(s);
    s += ')';
    return to_python_str(s);
}

Py_hash_t term_hash(const TermValue& value)
{
    return static_cast<Py_hash_t>(value.term.python_hash());
}

PyObject* term_richcompare(PyObject* self, PyObject* other, int op) noexcept
{
    try {
        if (op == Py_NE) return not_equal_via_eq(self, other);
        if (op != Py_EQ || !Py_IS_TYPE(other, term_type())) Py_RETURN_NOTIMPLEMENTED;
        Term a, b;
        if (!read_term(self, a) || !read_term(other, b)) return nullptr;
        return new_bool(a == b);
    } catch (...) {
        return raise_cpp_exception();
    }
}

// Pickling: Term(name, type).
PyObject* term_reduce(const TermValue& value, Args&)
{
    const Term& t = value.term;
    return reduce_value(term_type(),
                        Py_BuildValue("(NN)", to_python_str(t.name()), type_to_python(t.type())));
}

// Copies share the immutable term; renaming the copy gives it its own.
PyObject* term_copy(const TermValue& value, Args&)
{
    return new_term_object(term_type(), value.term);
}

Param kMemoParams[] = {{"memo"}};
Signature kTermReduce("Term", "__reduce__", CallKind::Method);
Signature kTermCopy("Term", "__copy__", CallKind::Method);
Signature kTermDeepCopy("Term", "__deepcopy__", CallKind::Method, kMemoParams);

} // namespace

bool read_term(PyObject* obj, Term& out) noexcept
{
    auto* o = as_object<TermValue>(obj);
    SharedBorrow borrow(o->borrow);
    if (!borrow) return false;
    out = o->value.term;
    return true;
}

PyObject* term_to_python(const Term& t) noexcept
{
    return new_term_object(term_type(), t);
}

PyTypeObject* term_type()
{
    static PyTypeObject* type = [] {
        ClassBuilder b("Term", kTermNew,
                       "A typed term: a name inhabiting a type, such as f of type (A -> B).\n\n"
                       "Calling a term applies it: f(x) is the term (f x) of type B when f has "
                       "type (A -> B) and x has type A.");
        b.object<TermValue>()
            .constructor<kTermNew, term_new>()
            .callable()
            .def<kTermUid, term_uid>("Returns the unique identifier of this term: a SHA256 "
                                     "hash built from the term's name and its type's uid.")
            .attribute("name", &getter<term_get_name>, &setter<term_set_name>,
                       "The name of this term.")
            .def<kTermReduce, term_reduce>(
                "Pickle support: the class and its constructor's arguments.")
            .def<kTermCopy, term_copy>("Returns an equal, separate term (copy.copy).")
            .def<kTermDeepCopy, term_copy>(
                "Returns an equal, separate term (copy.deepcopy); its type is an immutable "
                "value and is shared.")
            .attribute("type", &getter<term_get_type>, nullptr,
                       "Gets the type of this term.\n\n"
                       "Returns:\n    The type, a new Variable or Application object.")
            .slot(Py_tp_str, reinterpret_cast<void*>(&unary<term_str>))
            .slot(Py_tp_repr, reinterpret_cast<void*>(&unary<term_repr>))
            .slot(Py_tp_hash, reinterpret_cast<void*>(&hash<term_hash>))
            .slot(Py_tp_richcompare, reinterpret_cast<void*>(&term_richcompare));
        return b.build();
    }();
    return type;
}

} // namespace voralix
