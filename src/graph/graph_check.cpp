// Graph.check: one pass over each dict, collecting what makes the graph
// ill-formed; the Python problem dicts are built after the walks.
#include "graph/graph_methods.hpp"

#include "binding/values.hpp"
#include "graph/dict_walk.hpp"
#include "graph/element_walk.hpp"
#include "graph/node_classes.hpp"
#include "util/interrupt.hpp"

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

namespace voralix {

using namespace binding;

namespace {

enum class ProblemKind : std::uint8_t { WrongClass, WrongKey, Dangling, IllTyped };
enum class Where : std::uint8_t { Nodes, Edges };

const char* kind_name(ProblemKind k)
{
    switch (k) {
    case ProblemKind::WrongClass: return "wrong_class";
    case ProblemKind::WrongKey: return "wrong_key";
    case ProblemKind::Dangling: return "dangling";
    case ProblemKind::IllTyped: return "ill_typed";
    }
    return "";
}

struct Problem {
    ProblemKind kind;
    Where where;
    Ref key;
    std::string detail; // the message after "nodes[key]: "
};

using DigestSet = std::unordered_set<Digest, DigestHash>;

// A key names its element when it is a str whose text is the uid.
bool key_is_uid(PyObject* key, const Digest& uid)
{
    if (!PyUnicode_Check(key) || !PyUnicode_IS_ASCII(key) ||
        PyUnicode_GET_LENGTH(key) != static_cast<Py_ssize_t>(kUidHexLength)) {
        return false;
    }
    char hex[kUidHexLength];
    digest_to_hex(uid, hex);
    return std::memcmp(PyUnicode_DATA(key), hex, kUidHexLength) == 0;
}

std::string wrong_key_detail(const std::string& element, const Digest& uid)
{
    return element + " belongs under its uid " + digest_hex(uid);
}

class Checker {
public:
    explicit Checker(const GraphRecord& g) : g_(g) {}

    bool run() { return walk_nodes() && walk_edges(); }
    PyObject* result() const;

private:
    void add(ProblemKind kind, Where where, PyObject* key, std::string detail)
    {
        problems_.push_back({kind, where, Ref::borrow(key), std::move(detail)});
    }

    bool walk_nodes()
    {
        DictWalk walk(g_.nodes);
        PyObject *key, *value;
        while (walk.next(key, value)) {
            if (!tick_.tick()) return false;
            NodeRecord n;
            if (!Py_IS_TYPE(value, node_type())) {
                add(ProblemKind::WrongClass, Where::Nodes, key, wrong_class_text(value, "Node"));
                continue;
            }
            if (!read_node(value, n)) return false;
            const Digest uid = node_uid(n);
            if (key_is_uid(key, uid)) {
                present_.insert(n.type.uid_digest());
            } else {
                add(ProblemKind::WrongKey, Where::Nodes, key, wrong_key_detail(node_text(n), uid));
            }
        }
        return !walk.failed();
    }

    // A node's uid follows from its type's uid, which types keep once computed:
    // testing the type uid spares a digest per end node.
    void check_end(PyObject* key, const NodeRecord& n, const char* which)
    {
        if (present_.count(n.type.uid_digest()) != 0) return;
        add(ProblemKind::Dangling, Where::Edges, key,
            std::string("the ") + which + " node " + node_text(n) + " (uid " +
                digest_hex(node_uid(n)) + ") is not in the graph");
    }

    bool walk_edges()
    {
        DictWalk walk(g_.edges);
        PyObject *key, *value;
        while (walk.next(key, value)) {
            if (!tick_.tick()) return false;
            EdgeRecord e;
            if (!Py_IS_TYPE(value, edge_type())) {
                add(ProblemKind::WrongClass, Where::Edges, key, wrong_class_text(value, "Edge"));
                continue;
            }
            if (!read_edge(value, e)) return false;
            const Digest uid = edge_uid(e);
            if (!key_is_uid(key, uid)) {
                add(ProblemKind::WrongKey, Where::Edges, key, wrong_key_detail(edge_text(e), uid));
            }
            check_end(key, e.start, "start");
            check_end(key, e.end, "end");
            check_typing(key, e);
        }
        return !walk.failed();
    }

    // The term's type must be the function type from the start node's type
    // to the end node's type.
    void check_typing(PyObject* key, const EdgeRecord& e)
    {
        const Type& t = e.term.type();
        if (t.is_application() && Type::equal(t.left_node(), e.start.type.node()) &&
            Type::equal(t.right_node(), e.end.type.node())) {
            return;
        }
        std::string detail = "the term ";
        detail += e.term.name();
        detail += " has type ";
        t.append_text(detail);
        detail += ", but an edge from " + node_text(e.start) + " to " + node_text(e.end) +
                  " needs type (";
        e.start.type.append_text(detail);
        detail += " -> ";
        e.end.type.append_text(detail);
        detail += ')';
        add(ProblemKind::IllTyped, Where::Edges, key, std::move(detail));
    }

    const GraphRecord& g_;
    DigestSet present_; // type uids of the nodes stored under their own uid
    std::vector<Problem> problems_;
    InterruptCheck tick_;
};

// {"kind": ..., "dict": ..., "key": ..., "message": ...}; the message names
// the entry by its dict and the repr of its key.
PyObject* problem_to_python(const Problem& p)
{
    const char* where = p.where == Where::Nodes ? "nodes" : "edges";
    Ref message =
        Ref::steal(PyUnicode_FromFormat("%s[%R]: %s", where, p.key.get(), p.detail.c_str()));
    if (!message) return nullptr;
    return Py_BuildValue("{s:s,s:s,s:O,s:O}", "kind", kind_name(p.kind), "dict", where, "key",
                         p.key.get(), "message", message.get());
}

PyObject* Checker::result() const
{
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(problems_.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < problems_.size(); ++i) {
        PyObject* item = problem_to_python(problems_[i]);
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

Signature kCheck("Graph", "check", CallKind::Method);

PyObject* graph_check(const GraphRecord& value, Args&)
{
    GraphRecord g = value;
    if (!graph_usable(g)) return nullptr;
    Checker checker(g);
    if (!checker.run()) return nullptr;
    return checker.result();
}

} // namespace

void define_graph_check_methods(ClassBuilder& b)
{
    b.def<kCheck, graph_check>(
        "Checks that the graph is well formed and returns the problems found.\n\n"
        "Each problem is a dict with the keys:\n\n"
        "- \"kind\": \"wrong_class\" (a value in `nodes` that is not a Node, or in `edges` "
        "that is not an Edge), \"wrong_key\" (an element not stored under its own uid), "
        "\"dangling\" (an edge whose start or end node is not stored under its uid in "
        "`nodes`) or \"ill_typed\" (an edge whose term's type is not the function type "
        "from its start node's type to its end node's type);\n"
        "- \"dict\": \"nodes\" or \"edges\", the dict holding the entry;\n"
        "- \"key\": the entry's key;\n"
        "- \"message\": a sentence naming the entry and the problem.\n\n"
        "Problems come in dict order, nodes first; an edge can have several. The check "
        "runs in C++, in one pass over each dict.\n\n"
        "Returns:\n    A list of problem dicts; empty when the graph is well formed.\n\n"
        "Raises:\n    RuntimeError: a dict changed during the check (from a signal "
        "handler).\n\n"
        "Example:\n"
        "    >>> A, B = Variable(\"A\"), Variable(\"B\")\n"
        "    >>> g = Graph()\n"
        "    >>> _ = g.add_edge(Edge(Term(\"f\", Application(A, B)), Node(A), Node(B)))\n"
        "    >>> g.check()\n"
        "    []\n"
        "    >>> _ = g.add_edge(Edge(Term(\"g\", A), Node(A), Node(B)))\n"
        "    >>> [p[\"kind\"] for p in g.check()]\n"
        "    ['ill_typed']");
}

} // namespace voralix
