// Graph.to_json and Graph.from_json: the versioned JSON document of a whole
// graph (see docs/json-format.md). Types are written once each, in a table
// whose entries refer to earlier entries only; nodes and edges refer to
// types by index, and an edge's end node to its node entry when it shares
// that node's property dict.
#include "graph/graph_methods.hpp"

#include "binding/convert.hpp"
#include "binding/values.hpp"
#include "errors/discard.hpp"
#include "graph/dict_walk.hpp"
#include "graph/node_classes.hpp"
#include "json/json_reader.hpp"
#include "json/json_writer.hpp"
#include "util/flat_map.hpp"
#include "util/small_stack.hpp"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace voralix {

using namespace binding;

namespace {

constexpr std::string_view kFormat = "voralix-graph";
constexpr std::uint64_t kVersion = 1;
constexpr const char* kJsonValues = "JSON holds dicts with str keys, lists, str, int, finite "
                                    "float, bool and None";

// --- Writing ----------------------------------------------------------------

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
        const std::string head = "{\"format\":\"" + std::string(kFormat) +
                                 "\",\"version\":" + std::to_string(kVersion) +
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

// --- Reading ----------------------------------------------------------------

struct IndexAt {
    std::uint64_t value = 0;
    std::size_t at = 0;
};

struct NodeEntry {
    Ref key;
    std::size_t key_at = 0;
    IndexAt type;
    Ref properties;
};

struct EndEntry {
    std::optional<IndexAt> node; // the node entry it copies, or:
    IndexAt type;
    Ref properties;
};

struct EdgeEntry {
    Ref key;
    std::size_t key_at = 0;
    std::string term_name;
    IndexAt term_type;
    EndEntry start, end;
    Ref properties;
};

class DocumentReader {
public:
    DocumentReader(std::string_view text, PyObject* source) : r_(text), text_(text), source_(source)
    {
    }

    PyObject* run(PyTypeObject* graph_class)
    {
        if (!document() || !build()) return raise();
        return wrap(graph_class, GraphRecord{std::move(nodes_), std::move(edges_)});
    }

private:
    bool fail(std::string message, std::size_t at) { return r_.fail(std::move(message), at); }

    // Reads the members of an object; `member` handles one by name and returns
    // false on failure. Repeated and unknown members fail.
    template <class F>
    bool members(const char* what, std::initializer_list<std::string_view> known,
                 std::initializer_list<std::string_view> required, F&& member)
    {
        const std::size_t open_at = r_.here();
        if (!r_.begin_object()) return false;
        std::vector<std::string_view> seen;
        bool first = true;
        std::string name;
        std::size_t name_at = 0;
        while (true) {
            const int more = r_.next_member(first, name, name_at);
            if (more < 0) return false;
            if (more == 0) break;
            auto it = std::find(known.begin(), known.end(), name);
            if (it == known.end()) {
                return fail("Unknown member \"" + name + "\" in " + what, name_at);
            }
            if (std::find(seen.begin(), seen.end(), *it) != seen.end()) {
                return fail("Repeated member \"" + name + "\" in " + what, name_at);
            }
            seen.push_back(*it);
            if (!member(*it, name_at)) return false;
        }
        for (std::string_view need : required) {
            if (std::find(seen.begin(), seen.end(), need) == seen.end()) {
                return fail(std::string(what) + " has no member \"" + std::string(need) + "\"",
                            open_at);
            }
        }
        return true;
    }

    bool index(IndexAt& out)
    {
        out.at = r_.here();
        return r_.index(out.value);
    }

    bool string_key(Ref& key, std::size_t& at)
    {
        at = r_.here();
        if (peek() != '"') return fail("Expecting string", at);
        key = Ref::steal(r_.string_object());
        return bool(key);
    }

    bool properties(Ref& out)
    {
        const std::size_t at = r_.here();
        if (peek() != '{') return fail("Expecting an object of properties", at);
        out = Ref::steal(r_.value());
        return bool(out);
    }

    char peek()
    {
        const std::size_t at = r_.here();
        return at < text_.size() ? text_[at] : '\0';
    }

    template <class F>
    bool array(F&& item)
    {
        if (!r_.begin_array()) return false;
        bool first = true;
        while (true) {
            const int more = r_.next_item(first);
            if (more < 0) return false;
            if (more == 0) return true;
            if (!item()) return false;
        }
    }

    bool type_entry()
    {
        const std::size_t at = r_.here();
        const std::uint64_t self = types_.size();
        if (peek() == '"') {
            std::string name;
            if (!r_.string(name)) return false;
            types_.push_back(Type::variable(std::move(name)));
            return true;
        }
        IndexAt parts[2];
        int count = 0;
        bool ok = array([&] {
            if (count == 2) return fail("A function type has two parts", r_.here());
            if (!index(parts[count])) return false;
            if (parts[count].value >= self) {
                return fail("Type " + std::to_string(self) + " may refer to types 0 to " +
                                std::to_string(self) + " (exclusive) only",
                            parts[count].at);
            }
            ++count;
            return true;
        });
        if (!ok) return false;
        if (count != 2) {
            return fail("A type is a name or a list of two earlier type indices", at);
        }
        types_.push_back(Type::application(types_[parts[0].value], types_[parts[1].value]));
        return true;
    }

    bool node_entry()
    {
        NodeEntry n;
        bool ok = members("a node", {"key", "type", "properties"}, {"key", "type"},
                          [&](std::string_view name, std::size_t) {
                              if (name == "key") return string_key(n.key, n.key_at);
                              if (name == "type") return index(n.type);
                              return properties(n.properties);
                          });
        if (ok) node_entries_.push_back(std::move(n));
        return ok;
    }

    bool end_entry(EndEntry& e)
    {
        if (peek() != '{') {
            e.node.emplace();
            return index(*e.node);
        }
        return members("an end node", {"type", "properties"}, {"type"},
                       [&](std::string_view name, std::size_t) {
                           if (name == "type") return index(e.type);
                           return properties(e.properties);
                       });
    }

    bool edge_entry()
    {
        EdgeEntry e;
        auto term = [&] {
            return members("a term", {"name", "type"}, {"name", "type"},
                           [&](std::string_view name, std::size_t) {
                               if (name == "name") return r_.string(e.term_name);
                               return index(e.term_type);
                           });
        };
        bool ok = members("an edge", {"key", "term", "start", "end", "properties"},
                          {"key", "term", "start", "end"}, [&](std::string_view name, std::size_t) {
                              if (name == "key") return string_key(e.key, e.key_at);
                              if (name == "term") return term();
                              if (name == "start") return end_entry(e.start);
                              if (name == "end") return end_entry(e.end);
                              return properties(e.properties);
                          });
        if (ok) edge_entries_.push_back(std::move(e));
        return ok;
    }

    bool document()
    {
        bool ok = members(
            "the graph document", {"format", "version", "types", "nodes", "edges"},
            {"format", "version", "types", "nodes", "edges"},
            [&](std::string_view name, std::size_t) {
                if (name == "format") {
                    const std::size_t at = r_.here();
                    std::string format;
                    if (!r_.string(format)) return false;
                    if (format != kFormat) {
                        return fail("Not a graph document: format \"" + format +
                                        "\", expected \"" + std::string(kFormat) + "\"",
                                    at);
                    }
                    return true;
                }
                if (name == "version") {
                    const std::size_t at = r_.here();
                    std::uint64_t version = 0;
                    if (!r_.index(version)) return false;
                    if (version != kVersion) {
                        return fail("Unsupported graph document version " +
                                        std::to_string(version) + " (this reader reads version " +
                                        std::to_string(kVersion) + ")",
                                    at);
                    }
                    return true;
                }
                if (name == "types") return array([&] { return type_entry(); });
                if (name == "nodes") return array([&] { return node_entry(); });
                return array([&] { return edge_entry(); });
            });
        if (!ok) return false;
        if (!r_.at_end()) return fail("Extra data", r_.here());
        return true;
    }

    bool type_of(const IndexAt& i, Type& out)
    {
        if (i.value >= types_.size()) {
            return fail("No type " + std::to_string(i.value) + " in the type table", i.at);
        }
        out = types_[i.value];
        return true;
    }

    bool end_record(const EndEntry& e, NodeRecord& out)
    {
        if (e.node) {
            if (e.node->value >= node_records_.size()) {
                return fail("No node " + std::to_string(e.node->value) + " in the node list",
                            e.node->at);
            }
            out = node_records_[e.node->value];
            return true;
        }
        Ref props = e.properties;
        if (!type_of(e.type, out.type)) return false;
        if (!props && !(props = Ref::steal(PyDict_New()))) return python_failure();
        out.properties = std::move(props);
        return true;
    }

    bool python_failure()
    {
        python_ = true;
        return false;
    }

    // Builds the dicts; nothing of them is seen unless all of it succeeds.
    bool build()
    {
        nodes_ = Ref::steal(PyDict_New());
        edges_ = Ref::steal(PyDict_New());
        if (!nodes_ || !edges_) return python_failure();
        node_records_.reserve(node_entries_.size());
        for (NodeEntry& entry : node_entries_) {
            if (!tick_.tick()) return python_failure();
            NodeRecord n;
            if (!type_of(entry.type, n.type)) return false;
            if (!entry.properties && !(entry.properties = Ref::steal(PyDict_New()))) {
                return python_failure();
            }
            n.properties = entry.properties;
            if (!store(nodes_, entry.key, entry.key_at, wrap(node_type(), NodeRecord(n)), "node")) {
                return false;
            }
            node_records_.push_back(std::move(n));
        }
        for (EdgeEntry& entry : edge_entries_) {
            if (!tick_.tick()) return python_failure();
            EdgeRecord e;
            Type term_type;
            if (!type_of(entry.term_type, term_type)) return false;
            e.term = Term(std::move(entry.term_name), std::move(term_type));
            if (!end_record(entry.start, e.start) || !end_record(entry.end, e.end)) return false;
            if (!entry.properties && !(entry.properties = Ref::steal(PyDict_New()))) {
                return python_failure();
            }
            e.properties = entry.properties;
            if (!store(edges_, entry.key, entry.key_at, wrap(edge_type(), std::move(e)), "edge")) {
                return false;
            }
        }
        return true;
    }

    bool store(const Ref& dict, const Ref& key, std::size_t key_at, PyObject* element,
               const char* what)
    {
        Ref held = Ref::steal(element);
        if (!held) return python_failure();
        const int present = PyDict_Contains(dict.get(), key.get());
        if (present < 0) return python_failure();
        if (present > 0) return fail(std::string("Repeated ") + what + " key", key_at);
        if (PyDict_SetItem(dict.get(), key.get(), held.get()) < 0) return python_failure();
        return true;
    }

    // json.JSONDecodeError (a ValueError) at the failure's position, counted
    // in characters as Python indexes the text.
    PyObject* raise()
    {
        if (python_ || r_.python_failed()) return nullptr;
        std::size_t chars = 0;
        const std::size_t end = std::min(r_.failed_at(), text_.size());
        for (std::size_t i = 0; i < end; ++i) {
            if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80) ++chars;
        }
        const std::string& message = r_.message();
        Ref json = Ref::steal(PyImport_ImportModule("json"));
        Ref error_class = json ? Ref::steal(PyObject_GetAttrString(json.get(), "JSONDecodeError"))
                               : Ref();
        if (!error_class) {
            if (!discard_exception()) return nullptr;
            PyErr_Format(PyExc_ValueError, "%s (char %zu)", message.c_str(), chars);
            return nullptr;
        }
        Ref error = Ref::steal(PyObject_CallFunction(error_class.get(), "s#On", message.data(),
                                                     static_cast<Py_ssize_t>(message.size()),
                                                     source_, static_cast<Py_ssize_t>(chars)));
        if (error) PyErr_SetObject(error_class.get(), error.get());
        return nullptr;
    }

    JsonReader r_;
    std::string_view text_;
    PyObject* source_;
    bool python_ = false;
    InterruptCheck tick_;
    std::vector<Type> types_;
    std::vector<NodeEntry> node_entries_;
    std::vector<EdgeEntry> edge_entries_;
    std::vector<NodeRecord> node_records_;
    Ref nodes_, edges_;
};

// --- Methods ----------------------------------------------------------------

Signature kToJson("Graph", "to_json", CallKind::Method);
Param kTextParam[] = {{"text"}};
Signature kFromJson("Graph", "from_json", CallKind::Class, kTextParam);

PyObject* graph_to_json(const GraphRecord& value, Args&)
{
    GraphRecord g = value;
    if (!graph_usable(g)) return nullptr;
    return DocumentWriter(g).run();
}

PyObject* graph_from_json(PyTypeObject* cls, Args& a)
{
    if (!PyUnicode_Check(a[0])) {
        raise_cannot_convert(a[0], "PyString");
        prefix_argument_error(a.name(0));
        return nullptr;
    }
    // The UTF-8 form: an ASCII str is its own; another is encoded into a
    // temporary (not cached in the str, which would keep it for the str's life).
    Ref encoded;
    std::string_view text;
    if (PyUnicode_IS_COMPACT_ASCII(a[0])) {
        text = std::string_view(static_cast<const char*>(PyUnicode_DATA(a[0])),
                                static_cast<std::size_t>(PyUnicode_GET_LENGTH(a[0])));
    } else {
        encoded = Ref::steal(PyUnicode_AsUTF8String(a[0]));
        if (!encoded) {
            if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError) || !discard_exception()) {
                return nullptr;
            }
            PyErr_SetString(PyExc_ValueError,
                            "a graph document cannot hold a lone surrogate outside a \\u escape");
            return nullptr;
        }
        text = std::string_view(PyBytes_AS_STRING(encoded.get()),
                                static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.get())));
    }
    return DocumentReader(text, a[0]).run(cls);
}

} // namespace

void define_graph_json_methods(ClassBuilder& b)
{
    b.def<kToJson, graph_to_json>(
         "Returns the whole graph as a JSON document (a str).\n\n"
         "The document (format \"voralix-graph\", version 1, described in "
         "docs/json-format.md) holds every node and edge under its key, types and terms "
         "structurally, and properties as JSON values, the property dicts of edges' end "
         "nodes included. Graph.from_json reads it back with every key, type, term and "
         "property.\n\n"
         "Property values must be dict (with str keys), list, str, int (any size), finite "
         "float, bool or None, of exactly these classes: a tuple, a set, a subclass, NaN "
         "or an infinity would not come back as it was, so it is refused.\n\n"
         "Returns:\n    The document, a str.\n\n"
         "Raises:\n"
         "    TypeError: a key is not a str, a value is not a Node / Edge, or a property "
         "has no JSON form; the message names the element and the property. Nothing is "
         "returned then.\n\n"
         "Example:\n"
         "    >>> g = Graph()\n"
         "    >>> _ = g.add_node(Node(Variable(\"A\"), {\"n\": 1}))\n"
         "    >>> h = Graph.from_json(g.to_json())\n"
         "    >>> [(str(n), n.properties) for n in h.nodes.values()]\n"
         "    [('Node(A)', {'n': 1})]")
        .def<kFromJson, graph_from_json>(
            "Builds a new graph from a JSON document written by to_json.\n\n"
            "Nodes and edges are stored under the document's keys, in its order. An edge's "
            "end node that the document gives as a node index shares that node's property "
            "dict, as it did when written.\n\n"
            "Args:\n    text: the document, a str.\n\n"
            "Returns:\n    A new Graph.\n\n"
            "Raises:\n"
            "    ValueError: the text is not JSON, not a graph document, of another version, "
            "or inconsistent (a type index out of range, a repeated key); the exception is "
            "a json.JSONDecodeError whose pos, lineno and colno give the position.\n"
            "    TypeError: `text` is not a str.\n\n"
            "Example:\n"
            "    >>> Graph.from_json('{\"format\": \"voralix-graph\", \"version\": 1, '\n"
            "    ...                 '\"types\": [], \"nodes\": [], \"edges\": []}')\n"
            "    Graph(0 nodes, 0 edges)");
}

} // namespace voralix
