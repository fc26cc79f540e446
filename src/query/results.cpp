#include "query/results.hpp"

#include "binding/values.hpp"
#include "graph/graph_access.hpp"
#include "util/interrupt.hpp"

#include <unordered_set>

namespace voralix {

namespace {

PyObject* cell_to_python(const Cell& c)
{
    if (const auto* n = std::get_if<NodeRecord>(&c)) return new_node_object(*n);
    if (const auto* e = std::get_if<EdgeRecord>(&c)) return new_edge_object(*e);
    const auto& edges = std::get<EdgeList>(c);
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(edges.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        PyObject* item = new_edge_object(edges[i]);
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

// What identifies a row for return_distinct: per requested name, the kind and
// uid of its element(s). A node's uid follows from its type's, an edge's from
// its term's.
void append_identity(std::string& key, std::size_t name_index, const Cell& c)
{
    auto add = [&](char kind, const Digest& d) {
        key += kind;
        key.append(reinterpret_cast<const char*>(d.data()), d.size());
    };
    key.append(reinterpret_cast<const char*>(&name_index), sizeof name_index);
    if (const auto* n = std::get_if<NodeRecord>(&c)) {
        add('n', n->type.uid_digest());
    } else if (const auto* e = std::get_if<EdgeRecord>(&c)) {
        add('e', e->term.uid_digest());
    } else {
        const auto& edges = std::get<EdgeList>(c);
        const std::size_t n = edges.size();
        key += 'l';
        key.append(reinterpret_cast<const char*>(&n), sizeof n);
        for (const EdgeRecord& x : edges) add('e', x.term.uid_digest());
    }
}

} // namespace

PyObject* rows_to_python(const Table* table, const std::vector<std::string_view>& names,
                         bool distinct)
{
    struct Column {
        Ref key;
        std::optional<std::size_t> index;
    };
    std::vector<Column> columns;
    columns.reserve(names.size());
    for (std::string_view name : names) {
        Ref key = Ref::steal(binding::to_python_str(name));
        if (!key) return nullptr;
        PyUnicode_InternInPlace(reinterpret_cast<PyObject**>(&key));
        columns.push_back({std::move(key), table ? table->find(name) : std::nullopt});
    }
    Ref result = Ref::steal(PyList_New(0));
    if (!result || table == nullptr) return result.release();
    std::unordered_set<std::string> seen;
    std::string identity;
    InterruptCheck interrupt;
    bool failed = false;
    // One row: false (stop) on failure.
    auto add = [&](const Cell* row) -> bool {
        if (!interrupt.tick()) return false;
        if (distinct) {
            identity.clear();
            for (std::size_t i = 0; i < columns.size(); ++i) {
                if (columns[i].index && !is_empty(row[*columns[i].index])) {
                    append_identity(identity, i, row[*columns[i].index]);
                }
            }
            if (identity.empty() || !seen.insert(identity).second) return true;
        }
        Ref dict;
        for (const Column& c : columns) {
            if (!c.index || is_empty(row[*c.index])) continue;
            if (!dict) {
                dict = Ref::steal(PyDict_New());
                if (!dict) return false;
            }
            Ref value = Ref::steal(cell_to_python(row[*c.index]));
            if (!value || PyDict_SetItem(dict.get(), c.key.get(), value.get()) < 0) return false;
        }
        return !dict || PyList_Append(result.get(), dict.get()) == 0;
    };
    // No Python code runs while the rows are built, and nothing built can be
    // garbage yet: collections triggered by these allocations would only
    // re-examine the new rows. One may run afterwards, once.
    const int gc_was_enabled = PyGC_Disable();
    table->for_each_row([&](const Cell* row) { return add(row) || (failed = true, false); });
    if (gc_was_enabled) PyGC_Enable();
    return failed ? nullptr : result.release();
}

} // namespace voralix
