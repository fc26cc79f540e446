// Writes the graph JSON document. Types are written once each, in a table
// whose entries refer to earlier entries only; nodes and edges refer to types
// by index, and an edge's end node to its node entry when it shares that
// node's property dict.
#include "graph/json_document.hpp"

#include "binding/convert.hpp"
#include "binding/values.hpp"
#include "graph/dict_walk.hpp"
#include "graph/graph_methods.hpp"
#include "graph/node_classes.hpp"
#include "json/json_writer.hpp"
#include "util/flat_map.hpp"
#include "util/small_stack.hpp"

#include <cstring>
#include <string>
#include <vector>

namespace voralix {

using namespace binding;

namespace {

constexpr const char* kJsonValues = "JSON holds dicts with str keys, lists, str, int, finite "
                                    "float, bool and None";

struct PointerHash {
    std::size_t operator()(const void* p) const noexcept
    {
        return mix_hash(reinterpret_cast<std::uintptr_t>(p));
    }
};
struct PairHash {
    std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& p) const noexcept
    {
        return mix_hash(p.first * 0x9E3779B97F4A7C15ull ^ p.second);
    }
};
struct NameHash {
    std::size_t operator()(std::string_view s) const noexcept
    {
        return std::hash<std::string_view>()(s);
    }
};
// The empty name key: a view with a null data pointer, unlike every real name.
struct NameEq {
    bool operator()(std::string_view a, std::string_view b) const noexcept
    {
        return a.data() == nullptr || b.data() == nullptr ? a.data() == b.data() : a == b;
    }
};

// The type table: one entry per distinct type, children before parents.
class TypeTable {
public:
    JsonWriter& writer() noexcept { return w_; }

    std::uint64_t index(const Type& t)
    {
        if (const std::uint64_t* known = by_node_.find(t.node())) return *known;
        SmallStack<const TypeNode*> stack;
        stack.push(t.node());
        std::uint64_t found = 0;
        while (!stack.empty()) {
            const TypeNode* n = stack.top();
            if (const std::uint64_t* known = by_node_.find(n)) { // pushed by two parents
                found = *known;
                stack.pop();
                continue;
            }
            if (n->kind == TypeKind::Variable) {
                const std::string& name = static_cast<const VariableNode*>(n)->name;
                auto [index, added] = by_name_.try_emplace(name, count_);
                if (added) add_entry().string(name);
                found = index;
            } else {
                const auto* a = static_cast<const ApplicationNode*>(n);
                const std::uint64_t* l = by_node_.find(a->left);
                const std::uint64_t* r = by_node_.find(a->right);
                if (l == nullptr || r == nullptr) {
                    if (r == nullptr) stack.push(a->right);
                    if (l == nullptr) stack.push(a->left);
                    continue;
                }
                auto [index, added] = by_children_.try_emplace({*l, *r}, count_);
                if (added) {
                    JsonWriter& w = add_entry();
                    w.raw('[');
                    w.integer(*l);
                    w.raw(',');
                    w.integer(*r);
                    w.raw(']');
                }
                found = index;
            }
            by_node_.try_emplace(n, found);
            keep_.push_back(Type::share(n)); // keeps the address from being reused
            stack.pop();
        }
        return found;
    }

private:
    JsonWriter& add_entry()
    {
        if (count_ != 0) w_.raw(",\n");
        ++count_;
        return w_;
    }

    JsonWriter w_;
    std::uint64_t count_ = 0;
    FlatMap<const TypeNode*, std::uint64_t, PointerHash> by_node_{nullptr};
    // Views into the names of kept nodes.
    FlatMap<std::string_view, std::uint64_t, NameHash, NameEq> by_name_{std::string_view()};
    FlatMap<std::pair<std::uint64_t, std::uint64_t>, std::uint64_t, PairHash> by_children_{
        {~0ull, ~0ull}};
    std::vector<Type> keep_;
};

class DocumentWriter {
public:
    explicit DocumentWriter(const GraphRecord& g) : g_(g) {}

    PyObject* run()
    {
        if (!write_nodes() || !write_edges()) return nullptr;
        const std::string head = "{\"format\":\"" + std::string(kGraphFormat) +
                                 "\",\"version\":" + std::to_string(kGraphVersion) +
                                 ",\n\"types\":[\n";
        const std::string_view parts[] = {head, types_.writer().out(), "\n],\n", w_.out(),
                                          "\n]}\n"};
        std::size_t size = 0;
        for (std::string_view part : parts) size += part.size();
        if (types_.writer().ascii() && w_.ascii()) {
            // The usual case: copy the parts straight into a compact ASCII str.
            PyObject* s = PyUnicode_New(static_cast<Py_ssize_t>(size), 127);
            if (s == nullptr) return nullptr;
            char* at = static_cast<char*>(PyUnicode_DATA(s));
            for (std::string_view part : parts) {
                std::memcpy(at, part.data(), part.size());
                at += part.size();
            }
            return s;
        }
        std::string out;
        out.reserve(size);
        for (std::string_view part : parts) out += part;
        return PyUnicode_DecodeUTF8(out.data(), static_cast<Py_ssize_t>(out.size()), nullptr);
    }

private:
    // TypeError "cannot write {where} ({element}) as JSON: {detail}".
    static bool refuse(const char* where, PyObject* key, const std::string& element,
                       const std::string& detail)
    {
        Ref shown = Ref::steal(PyObject_Repr(key));
        if (!shown) return false;
        if (element.empty()) {
            PyErr_Format(PyExc_TypeError, "cannot write %s[%U] as JSON: %s", where, shown.get(),
                         detail.c_str());
        } else {
            PyErr_Format(PyExc_TypeError, "cannot write %s[%U] (%s) as JSON: %s", where,
                         shown.get(), element.c_str(), detail.c_str());
        }
        return false;
    }

    bool key(const char* where, PyObject* k)
    {
        if (!PyUnicode_Check(k)) return refuse(where, k, "", "its key is not a str");
        w_.raw("{\"key\":");
        w_.string(k);
        return true;
    }

    bool properties(const char* where, PyObject* k, const std::string& element, PyObject* props)
    {
        w_.raw(",\"properties\":");
        Unwritable why;
        if (w_.value(props, why)) return true;
        if (why.what.empty()) return false;
        return refuse(where, k, element,
                      "properties" + why.path + " " + why.what + "; " + kJsonValues);
    }

    // Writes one entry per element of a graph dict; `entry` writes what
    // follows the key of an element of class `cls`.
    template <class F>
    bool write_entries(const Ref& dict, const char* where, PyTypeObject* cls, F&& entry)
    {
        DictWalk walk(dict);
        PyObject *k, *v;
        bool first = true;
        while (walk.next(k, v)) {
            if (!tick_.tick()) return false;
            w_.raw(first ? "\n" : ",\n");
            first = false;
            if (!Py_IS_TYPE(v, cls)) {
                return refuse(where, k, "", wrong_class_text(v, bare_type_name(cls)));
            }
            if (!key(where, k) || !entry(k, v)) return false;
            w_.raw('}');
        }
        return !walk.failed();
    }

    bool write_nodes()
    {
        w_.raw("\"nodes\":[");
        bool ok = write_entries(g_.nodes, "nodes", node_type(), [&](PyObject* k, PyObject* v) {
            NodeRecord n;
            if (!read_node(v, n)) return false;
            w_.raw(",\"type\":");
            w_.integer(types_.index(n.type));
            if (!properties("nodes", k, node_text(n), n.properties.get())) return false;
            node_by_props_.try_emplace(n.properties.get(), node_types_.size());
            node_types_.push_back(n.type);
            node_props_.push_back(n.properties);
            return true;
        });
        w_.raw("\n],\n");
        return ok;
    }

    // An end node: the index of the node entry it copies (same type, same
    // property dict), or its own type and properties.
    bool end_node(const char* which, PyObject* k, const NodeRecord& n)
    {
        w_.raw(",\"");
        w_.raw(which);
        w_.raw("\":");
        const std::size_t* entry = node_by_props_.find(n.properties.get());
        if (entry != nullptr && Type::equal(node_types_[*entry].node(), n.type.node())) {
            w_.integer(*entry);
            return true;
        }
        w_.raw("{\"type\":");
        w_.integer(types_.index(n.type));
        const std::string where = std::string("the ") + which + " node of edges";
        if (!properties(where.c_str(), k, node_text(n), n.properties.get())) return false;
        w_.raw('}');
        return true;
    }

    bool write_edges()
    {
        w_.raw("\"edges\":[");
        return write_entries(g_.edges, "edges", edge_type(), [&](PyObject* k, PyObject* v) {
            EdgeRecord e;
            if (!read_edge(v, e)) return false;
            w_.raw(",\"term\":{\"name\":");
            w_.string(e.term.name());
            w_.raw(",\"type\":");
            w_.integer(types_.index(e.term.type()));
            w_.raw('}');
            return end_node("start", k, e.start) && end_node("end", k, e.end) &&
                   properties("edges", k, edge_text(e), e.properties.get());
        });
    }

    const GraphRecord& g_;
    TypeTable types_;
    JsonWriter w_;
    InterruptCheck tick_;
    FlatMap<const void*, std::size_t, PointerHash> node_by_props_{nullptr};
    std::vector<Type> node_types_;
    std::vector<Ref> node_props_; // keeps the dicts, and so their addresses, alive
};

} // namespace

PyObject* write_graph_document(const GraphRecord& g)
{
    return DocumentWriter(g).run();
}

} // namespace voralix
