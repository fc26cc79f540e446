// Reads the graph JSON document into a new graph. The document is read
// whole into records first (members may come in any order); the graph's
// dicts are built only when all of it is valid.
#include "graph/json_document.hpp"

#include "binding/pyclass.hpp"
#include "errors/discard.hpp"
#include "graph/node_classes.hpp"
#include "json/json_reader.hpp"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace voralix {

using namespace binding;

namespace {

// Pauses the cyclic garbage collector while the document's objects are made:
// they are all new and reachable, so collections over them would only cost
// time (a large document makes millions).
class GcPause {
public:
    GcPause() noexcept : was_enabled_(PyGC_Disable()) {}
    GcPause(const GcPause&) = delete;
    GcPause& operator=(const GcPause&) = delete;
    ~GcPause()
    {
        if (was_enabled_) PyGC_Enable();
    }

private:
    int was_enabled_;
};

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
        GcPause pause;
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
        unsigned seen = 0; // bit i: member i of `known` was read
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
            const unsigned bit = 1u << (it - known.begin());
            if ((seen & bit) != 0) {
                return fail("Repeated member \"" + name + "\" in " + what, name_at);
            }
            seen |= bit;
            if (!member(*it, name_at)) return false;
        }
        for (std::string_view need : required) {
            const auto i = std::find(known.begin(), known.end(), need) - known.begin();
            if ((seen & (1u << i)) == 0) {
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
                    if (format != kGraphFormat) {
                        return fail("Not a graph document: format \"" + format + "\", expected \"" +
                                        std::string(kGraphFormat) + "\"",
                                    at);
                    }
                    return true;
                }
                if (name == "version") {
                    const std::size_t at = r_.here();
                    std::uint64_t version = 0;
                    if (!r_.index(version)) return false;
                    if (version != kGraphVersion) {
                        return fail("Unsupported graph document version " +
                                        std::to_string(version) + " (this reader reads version " +
                                        std::to_string(kGraphVersion) + ")",
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
        Ref error_class =
            json ? Ref::steal(PyObject_GetAttrString(json.get(), "JSONDecodeError")) : Ref();
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

} // namespace

PyObject* read_graph_document(PyTypeObject* graph_class, std::string_view text, PyObject* source)
{
    return DocumentReader(text, source).run(graph_class);
}

} // namespace voralix
