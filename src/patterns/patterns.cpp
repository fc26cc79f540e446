#include "patterns/patterns.hpp"

#include "binding/convert.hpp"
#include "binding/reduce.hpp"
#include "binding/values.hpp"
#include "errors/discard.hpp"
#include "term/term_class.hpp"
#include "type_schema/type_schema_class.hpp"
#include "types/type_classes.hpp"

#include <string_view>
#include <unordered_map>

namespace voralix {

Result<PropertyMap> PropertyMap::from_dict(PyObject* dict)
{
    PropertyMap map;
    map.entries_.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(dict)));
    // Distinct dict keys can still carry equal text (str subclasses); the
    // later value replaces the earlier one, as in any map.
    std::unordered_map<std::string_view, std::size_t> seen;
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(dict, &pos, &key, &value)) {
        std::string_view name;
        if (!binding::to_text(key, nullptr, name)) return PythonError{};
        if (auto it = seen.find(name); it != seen.end()) {
            map.entries_[it->second].value = Ref::borrow(value);
            continue;
        }
        Ref exact =
            PyUnicode_CheckExact(key) ? Ref::borrow(key) : Ref::steal(binding::to_python_str(name));
        if (!exact) return PythonError{};
        map.entries_.push_back({std::string(name), std::move(exact), Ref::borrow(value)});
        // Views into the entries' own strings stay valid: the vector was reserved.
        seen.emplace(map.entries_.back().name, map.entries_.size() - 1);
    }
    return map;
}

PyObject* PropertyMap::to_dict() const
{
    Ref dict = Ref::steal(PyDict_New());
    if (!dict) return nullptr;
    for (const Entry& e : entries_) {
        if (PyDict_SetItem(dict.get(), e.key.get(), e.value.get()) < 0) return nullptr;
    }
    return dict.release();
}

bool PropertyMap::deep_copy_values(PyObject* memo)
{
    for (Entry& e : entries_) {
        Ref copy = Ref::steal(binding::deep_copy(e.value.get(), memo));
        if (!copy) return false;
        e.value = std::move(copy);
    }
    return true;
}

int PropertyMap::traverse(visitproc visit, void* arg) const
{
    for (const Entry& e : entries_) {
        if (int r = e.value.visit(visit, arg)) return r;
    }
    return 0;
}

Result<NodePattern> new_node_pattern(std::optional<std::string_view> variable, PyObject* type,
                                     PyObject* type_schema, PyObject* properties)
{
    NodePattern p;
    if (variable) p.variable = std::string(*variable);
    if (type != nullptr && type != Py_None && !python_to_type(type, p.type_obj)) {
        return PythonError{};
    }
    Result<std::optional<Schema>> schema = schema_from_python(type_schema);
    if (!schema) return std::move(schema).error();
    p.type_schema = std::move(*schema);
    if (properties != nullptr && properties != Py_None) {
        Result<PropertyMap> map = PropertyMap::from_dict(properties);
        if (!map) return std::move(map).error();
        p.properties = std::move(*map);
    }
    return p;
}

Result<EdgePattern> new_edge_pattern(std::optional<std::string_view> variable, PyObject* term,
                                     PyObject* term_type_schema, PyObject* properties,
                                     std::string_view direction)
{
    EdgePattern p;
    if (variable) p.variable = std::string(*variable);
    p.direction = std::string(direction);
    if (term != nullptr && term != Py_None) {
        if (!binding::check_instance(term, term_type(), nullptr) || !read_term(term, p.term)) {
            return PythonError{};
        }
    }
    Result<std::optional<Schema>> schema = schema_from_python(term_type_schema);
    if (!schema) return std::move(schema).error();
    p.term_type_schema = std::move(*schema);
    if (properties != nullptr && properties != Py_None) {
        Result<PropertyMap> map = PropertyMap::from_dict(properties);
        if (!map) return std::move(map).error();
        p.properties = std::move(*map);
    }
    return p;
}

namespace {

// Every required property equals the element's value of that name (the
// element's value on the left of ==). A lookup that raises an Exception counts
// as a mismatch; a comparison that raises fails the test.
Result<bool> properties_match(const PropertyMap& required, const Ref& properties)
{
    if (required.empty()) return true;
    if (!properties) return false;
    // Hold the dict: a comparison below may replace the element's dict elsewhere.
    Ref props = properties;
    for (const PropertyMap::Entry& e : required.entries()) {
        PyObject* found = nullptr;
        int r = PyDict_GetItemRef(props.get(), e.key.get(), &found);
        if (r < 0) {
            if (!discard_exception()) return PythonError{};
            return false;
        }
        if (r == 0) return false;
        Ref actual = Ref::steal(found);
        Ref expected = e.value;
        Ref outcome = Ref::steal(PyObject_RichCompare(actual.get(), expected.get(), Py_EQ));
        if (!outcome) return PythonError{};
        int truth = PyObject_IsTrue(outcome.get());
        if (truth < 0) return PythonError{};
        if (truth == 0) return false;
    }
    return true;
}

} // namespace

Result<bool> node_pattern_matches(const NodePattern& p, const NodeRecord& node)
{
    if (p.type_obj && !(node.type == p.type_obj)) return false;
    if (p.type_schema && !p.type_schema->matches(node.type)) return false;
    return properties_match(p.properties, node.properties);
}

Result<bool> edge_pattern_matches(const EdgePattern& p, const EdgeRecord& edge)
{
    if (p.term && edge.term.uid_digest() != p.term.uid_digest()) return false;
    if (p.term_type_schema && !p.term_type_schema->matches(edge.term.type())) return false;
    return properties_match(p.properties, edge.properties);
}

} // namespace voralix
