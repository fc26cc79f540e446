// Node and edge pattern records, their construction from Python arguments,
// and the node test used by the match and merge executors.
#pragma once

#include <Python.h>

#include "errors/error.hpp"
#include "graph/records.hpp"
#include "patterns/hop_range.hpp"
#include "term/term.hpp"
#include "type_schema/schema.hpp"
#include "types/type.hpp"
#include "util/ref.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace voralix {

// Required property values: name -> Python object (held by reference).
// Entries keep the order in which they were first inserted.
class PropertyMap {
public:
    struct Entry {
        std::string name;
        Ref key; // an exact str of `name`, made once, used for dict lookups
        Ref value;
    };

    // Reads a dict: every key must be a str. Fails with the conversion
    // TypeError for another key.
    static Result<PropertyMap> from_dict(PyObject* dict);

    bool empty() const noexcept { return entries_.empty(); }
    const std::vector<Entry>& entries() const noexcept { return entries_; }

    // A new dict with the same keys and value objects.
    PyObject* to_dict() const;
    // Replaces every value by copy.deepcopy(value, memo).
    bool deep_copy_values(PyObject* memo);

    int traverse(visitproc visit, void* arg) const;
    void clear() noexcept { entries_.clear(); }

private:
    std::vector<Entry> entries_;
};

struct NodePattern {
    std::optional<std::string> variable;
    Type type_obj; // empty: no specific type
    std::optional<Schema> type_schema;
    PropertyMap properties;

    int traverse(visitproc visit, void* arg) const { return properties.traverse(visit, arg); }
    void clear() noexcept { properties.clear(); }
};

struct EdgePattern {
    std::optional<std::string> variable;
    Term term; // empty: no specific term
    std::optional<Schema> term_type_schema;
    PropertyMap properties;
    std::string direction = "forward";
    std::optional<HopRange> hops; // absent: a plain single edge

    int traverse(visitproc visit, void* arg) const { return properties.traverse(visit, arg); }
    void clear() noexcept { properties.clear(); }
};

// NodePattern::new. `type` and `type_schema` are Python objects or null /
// None; `properties` is null or a dict (checked by the caller).
Result<NodePattern> new_node_pattern(std::optional<std::string_view> variable, PyObject* type,
                                     PyObject* type_schema, PyObject* properties);

// EdgePattern::new. A present `term` must be a Term object.
Result<EdgePattern> new_edge_pattern(std::optional<std::string_view> variable, PyObject* term,
                                     PyObject* term_type_schema, PyObject* properties,
                                     std::string_view direction);

// NodePattern::matches: type equality, then the schema, then every required
// property compared with the node's value on the left. A lookup that raises
// counts as a mismatch; a comparison that raises fails the test.
Result<bool> node_pattern_matches(const NodePattern& p, const NodeRecord& node);

// A pattern with no type, schema or properties: it accepts every node.
inline bool accepts_every_node(const NodePattern& p) noexcept
{
    return !p.type_obj && !p.type_schema && p.properties.empty();
}

// The same for edges: no term, schema or properties.
inline bool accepts_every_edge(const EdgePattern& p) noexcept
{
    return !p.term && !p.term_type_schema && p.properties.empty();
}

// The edge test: the term (equal uid), then the schema on the term's type, then
// the required properties, compared as for nodes.
Result<bool> edge_pattern_matches(const EdgePattern& p, const EdgeRecord& edge);

} // namespace voralix
