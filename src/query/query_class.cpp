#include "query/query_class.hpp"

#include "binding/convert.hpp"
#include "binding/pyclass.hpp"
#include "binding/values.hpp"
#include "binding/shared.hpp"
#include "errors/discard.hpp"
#include "query/plan.hpp"
#include "query/results.hpp"

#include <string>

namespace voralix {

using namespace binding;
using QueryObject = Object<QueryRecord>;

PyObject* new_query(const GraphRecord& graph) noexcept
{
    return wrap(query_type(), QueryRecord{graph, {}, {}, {}});
}

namespace {

constexpr const char* kNone = "None";
constexpr ParamKind kKw = ParamKind::KeywordOnly;

// Builders

// Variable names given to start / end of an edge create or merge.
Result<std::string> extract_var(PyObject* obj)
{
    if (obj == nullptr || obj == Py_None) {
        return VoralixError::invalid_query("Variable name required");
    }
    if (!PyUnicode_Check(obj)) {
        return VoralixError::invalid_query("Expected string variable name", "variable extraction");
    }
    std::string_view text;
    if (!to_text(obj, nullptr, text)) return PythonError{};
    return std::string(text);
}

// The same for an edge match: anything but a str (a Node object included) is absent.
Result<std::optional<std::string>> extract_var_or_none(PyObject* obj)
{
    if (obj == nullptr || !PyUnicode_Check(obj)) return std::optional<std::string>();
    std::string_view text;
    if (!to_text(obj, nullptr, text)) {
        // This extraction never fails: a str that is no UTF-8 text names nothing.
        if (!discard_exception()) return PythonError{};
        return std::optional<std::string>();
    }
    return std::optional<std::string>(std::string(text));
}

// The edge form of merge and create: the edge pattern, then the start and the
// end variable names, both required.
template <class EdgeOp>
Result<EdgeOp> edge_with_ends(std::string_view edge, PyObject* term, PyObject* schema,
                              PyObject* properties, PyObject* start, PyObject* end)
{
    Result<EdgePattern> pattern = new_edge_pattern(edge, term, schema, properties, "forward");
    if (!pattern) return std::move(pattern).error();
    Result<std::string> from = extract_var(start);
    if (!from) return std::move(from).error();
    Result<std::string> to = extract_var(end);
    if (!to) return std::move(to).error();
    return EdgeOp{std::move(*pattern), std::move(*from), std::move(*to)};
}

using MaybeOperation = Result<std::optional<QueryOperation>>;

// Holds the query exclusively while `make` builds the operation (patterns,
// variable names), appends it (if any) and takes a copy of the query; the
// copy becomes the new Query object returned. The queue is shared between
// the copies: appending links a new entry to the current last one.
template <class Make>
PyObject* build(QueryObject* self, Make&& make)
{
    QueryRecord copy;
    {
        ExclusiveBorrow borrow(self->borrow);
        if (!borrow) return nullptr;
        MaybeOperation op = make();
        if (!op) return raise_error(std::move(op).error());
        if (*op) {
            Ref entry = make_shared(QueueEntry{self->value.last, std::move(**op)});
            if (!entry) return nullptr;
            self->value.last = std::move(entry);
        }
        copy = self->value;
    }
    return wrap(query_type(), std::move(copy));
}

// Builders whose operation cannot fail once the arguments are converted.
PyObject* append_and_copy(QueryObject* self, QueryOperation&& op)
{
    return build(self, [&]() -> MaybeOperation { return std::optional(std::move(op)); });
}

// The converted arguments shared by match, merge and create.
struct PatternArgs {
    std::optional<std::string_view> pattern, node, edge;
    PyObject* properties = nullptr;
};

bool convert_pattern_args(Args& a, std::size_t properties_index, PatternArgs& out)
{
    if (!to_optional_text(a[0], a.name(0), out.pattern)) return false;
    if (!to_optional_text(a[1], a.name(1), out.node)) return false;
    if (!to_optional_text(a[2], a.name(2), out.edge)) return false;
    if (a.given(properties_index)) {
        if (!check_dict(a[properties_index], a.name(properties_index))) return false;
        out.properties = a[properties_index];
    }
    return true;
}

Param kMatchParams[] = {
    {"pattern", kNone},          {"node", kNone, kKw}, {"edge", kNone, kKw},
    {"start", kNone, kKw},       {"end", kNone, kKw},  {"type", "...", kKw},
    {"type_schema", kNone, kKw}, {"term", kNone, kKw}, {"term_type_schema", kNone, kKw},
    {"properties", kNone, kKw}};
Signature kMatch("Query", "match", CallKind::Method, kMatchParams);

PyObject* query_match(QueryObject* self, Args& a)
{
    enum { Pattern, Node, Edge, Start, End, TypeArg, TypeSchema, TermArg, TermSchema, Props };
    PatternArgs p;
    if (!convert_pattern_args(a, Props, p)) return nullptr;
    return build(self, [&]() -> MaybeOperation {
        std::optional<QueryOperation> op;
        if (p.pattern) {
            Result<PathPattern> path = parse_path_pattern(*p.pattern);
            if (!path) return std::move(path).error();
            op = op::Match{MatchPath{std::move(*path)}};
        } else if (p.node) {
            Result<NodePattern> node =
                new_node_pattern(p.node, a[TypeArg], a[TypeSchema], p.properties);
            if (!node) return std::move(node).error();
            op = op::Match{MatchNode{std::move(*node)}};
        } else if (p.edge) {
            Result<EdgePattern> edge =
                new_edge_pattern(p.edge, a[TermArg], a[TermSchema], p.properties, "forward");
            if (!edge) return std::move(edge).error();
            auto start = extract_var_or_none(a[Start]);
            if (!start) return std::move(start).error();
            auto end = extract_var_or_none(a[End]);
            if (!end) return std::move(end).error();
            op = op::Match{MatchEdge{std::move(*edge), std::move(*start), std::move(*end)}};
        }
        return op;
    });
}

Param kMergeParams[] = {{"pattern", kNone},
                        {"node", kNone, kKw},
                        {"edge", kNone, kKw},
                        {"type", "...", kKw},
                        {"type_schema", kNone, kKw},
                        {"term", kNone, kKw},
                        {"term_type_schema", kNone, kKw},
                        {"start", kNone, kKw},
                        {"end", kNone, kKw},
                        {"properties", kNone, kKw}};
Signature kMerge("Query", "merge", CallKind::Method, kMergeParams);

PyObject* query_merge(QueryObject* self, Args& a)
{
    enum { Pattern, Node, Edge, TypeArg, TypeSchema, TermArg, TermSchema, Start, End, Props };
    PatternArgs p;
    if (!convert_pattern_args(a, Props, p)) return nullptr;
    // A merge has no path form: the pattern string is accepted and not read.
    return build(self, [&]() -> MaybeOperation {
        std::optional<QueryOperation> op;
        if (p.node) {
            Result<NodePattern> node =
                new_node_pattern(p.node, a[TypeArg], a[TypeSchema], p.properties);
            if (!node) return std::move(node).error();
            op = op::Merge{MergeNode{std::move(*node)}};
        } else if (p.edge) {
            auto edge = edge_with_ends<MergeEdge>(*p.edge, a[TermArg], a[TermSchema], p.properties,
                                                  a[Start], a[End]);
            if (!edge) return std::move(edge).error();
            op = op::Merge{std::move(*edge)};
        }
        return op;
    });
}

Param kCreateParams[] = {{"pattern", kNone},   {"node", kNone, kKw},      {"edge", kNone, kKw},
                         {"type", "...", kKw}, {"term", kNone, kKw},      {"start", kNone, kKw},
                         {"end", kNone, kKw},  {"properties", kNone, kKw}};
Signature kCreate("Query", "create", CallKind::Method, kCreateParams);

PyObject* query_create(QueryObject* self, Args& a)
{
    enum { Pattern, Node, Edge, TypeArg, TermArg, Start, End, Props };
    PatternArgs p;
    if (!convert_pattern_args(a, Props, p)) return nullptr;
    return build(self, [&]() -> MaybeOperation {
        std::optional<QueryOperation> op;
        if (p.pattern) {
            Result<PathPattern> path = parse_path_pattern(*p.pattern);
            if (!path) return std::move(path).error();
            op = op::Create{CreatePath{std::move(*path)}};
        } else if (p.node) {
            Result<NodePattern> node = new_node_pattern(p.node, a[TypeArg], nullptr, p.properties);
            if (!node) return std::move(node).error();
            op = op::Create{CreateNode{std::move(*node)}};
        } else if (p.edge) {
            auto edge = edge_with_ends<CreateEdge>(*p.edge, a[TermArg], nullptr, p.properties,
                                                   a[Start], a[End]);
            if (!edge) return std::move(edge).error();
            op = op::Create{std::move(*edge)};
        }
        return op;
    });
}

Param kWhereParams[] = {{"condition"}};
Signature kWhere("Query", "where", CallKind::Method, kWhereParams);

PyObject* query_where(QueryObject* self, Args& a)
{
    std::string_view condition;
    if (!to_text(a[0], a.name(0), condition)) return nullptr;
    return append_and_copy(self, op::Where{std::string(condition)});
}

Param kSetParams[] = {{"variable"}, {"properties"}};
Signature kSet("Query", "set", CallKind::Method, kSetParams);

PyObject* query_set(QueryObject* self, Args& a)
{
    std::string_view variable;
    if (!to_text(a[0], a.name(0), variable) || !check_dict(a[1], a.name(1))) return nullptr;
    return append_and_copy(self, op::Set{std::string(variable), Ref::borrow(a[1])});
}

// The *variables of delete, with_ and the terminal methods: each a str.
bool variable_names(const Args& a, std::vector<std::string_view>& out)
{
    const char* name = a.name(a.sig->varargs_index());
    out.reserve(static_cast<std::size_t>(a.nvarargs));
    for (Py_ssize_t i = 0; i < a.nvarargs; ++i) {
        std::string_view v;
        if (!to_text(a.varargs[i], name, v)) return false;
        out.push_back(v);
    }
    return true;
}

std::vector<std::string> owned(const std::vector<std::string_view>& names)
{
    return std::vector<std::string>(names.begin(), names.end());
}

Param kDeleteParams[] = {{"variables", nullptr, ParamKind::VarArgs}, {"detach", "False", kKw}};
Signature kDelete("Query", "delete", CallKind::Method, kDeleteParams);

PyObject* query_delete(QueryObject* self, Args& a)
{
    std::vector<std::string_view> names;
    if (!variable_names(a, names)) return nullptr;
    bool detach = false;
    if (a[1] != nullptr && !to_bool(a[1], a.name(1), detach)) return nullptr;
    return append_and_copy(self, op::Delete{owned(names), detach});
}

Param kWithParams[] = {{"variables", nullptr, ParamKind::VarArgs}};
Signature kWith("Query", "with_", CallKind::Method, kWithParams);

PyObject* query_with(QueryObject* self, Args& a)
{
    std::vector<std::string_view> names;
    if (!variable_names(a, names)) return nullptr;
    return append_and_copy(self, op::With{owned(names)});
}

Param kOrderByParams[] = {{"variable"}, {"key"}, {"ascending", "True"}};
Signature kOrderBy("Query", "order_by", CallKind::Method, kOrderByParams);

PyObject* query_order_by(QueryObject* self, Args& a)
{
    std::string_view variable, key;
    if (!to_text(a[0], a.name(0), variable) || !to_text(a[1], a.name(1), key)) return nullptr;
    bool ascending = true;
    if (a[2] != nullptr && !to_bool(a[2], a.name(2), ascending)) return nullptr;
    return append_and_copy(self, op::OrderBy{std::string(variable), std::string(key), ascending});
}

Param kCountParams[] = {{"count"}};
Signature kSkip("Query", "skip", CallKind::Method, kCountParams);
Signature kLimit("Query", "limit", CallKind::Method, kCountParams);

PyObject* query_skip(QueryObject* self, Args& a)
{
    std::uint64_t count = 0;
    if (!to_u64(a[0], a.name(0), count)) return nullptr;
    return append_and_copy(self, op::Skip{count});
}

PyObject* query_limit(QueryObject* self, Args& a)
{
    std::uint64_t count = 0;
    if (!to_u64(a[0], a.name(0), count)) return nullptr;
    return append_and_copy(self, op::Limit{count});
}

Param kParamsParams[] = {{"/", nullptr, ParamKind::Slash},
                         {"values", nullptr, ParamKind::VarKeywords}};
Signature kParams("Query", "params", CallKind::Method, kParamsParams);

// Values for $name parameters of conditions: a new dict that merges the
// earlier values with these (later ones win), shared by the copies.
PyObject* query_params(QueryObject* self, Args& a)
{
    QueryRecord copy;
    Ref replaced; // released after the borrow: its release may run Python code
    {
        ExclusiveBorrow borrow(self->borrow);
        if (!borrow) return nullptr;
        if (a.varkw) {
            Ref merged = Ref::steal(self->value.params ? PyDict_Copy(self->value.params.get())
                                                       : PyDict_New());
            if (!merged || PyDict_Update(merged.get(), a.varkw.get()) < 0) return nullptr;
            replaced = std::exchange(self->value.params, std::move(merged));
        }
        copy = self->value;
    }
    return wrap(query_type(), std::move(copy));
}

// Terminal methods

Signature kExecute("Query", "execute", CallKind::Method);
Param kReturnParams[] = {{"variables", nullptr, ParamKind::VarArgs}};
Signature kReturn("Query", "return_", CallKind::Method, kReturnParams);
Signature kReturnDistinct("Query", "return_distinct", CallKind::Method, kReturnParams);
Signature kReturnCount("Query", "return_count", CallKind::Method);

// The bindings left by the last run, or null when there are none.
const Table* bindings_of(const QueryRecord& q)
{
    return q.bindings ? &shared_value<Table>(q.bindings) : nullptr;
}

// Runs the queue and forms the rows: row i holds the requested variables'
// cells of binding-table row i; empty rows are left out.
PyObject* run_and_collect(QueryObject* self, Args& a, bool distinct)
{
    std::vector<std::string_view> names;
    if (!variable_names(a, names)) return nullptr;
    ExclusiveBorrow borrow(self->borrow);
    if (!borrow) return nullptr;
    Status s = execute_operations(self->value);
    if (!s) return raise_error(std::move(s).error());
    return rows_to_python(bindings_of(self->value), names, distinct);
}

PyObject* query_return(QueryObject* self, Args& a)
{
    return run_and_collect(self, a, false);
}

PyObject* query_return_distinct(QueryObject* self, Args& a)
{
    return run_and_collect(self, a, true);
}

PyObject* query_return_count(QueryObject* self, Args&)
{
    ExclusiveBorrow borrow(self->borrow);
    if (!borrow) return nullptr;
    Status s = execute_operations(self->value);
    if (!s) return raise_error(std::move(s).error());
    const Table* t = bindings_of(self->value);
    return PyLong_FromSize_t(t ? t->count() : 0);
}

PyObject* query_execute(QueryObject* self, Args&)
{
    QueryRecord copy;
    {
        ExclusiveBorrow borrow(self->borrow);
        if (!borrow) return nullptr;
        Status s = execute_operations(self->value);
        if (!s) return raise_error(std::move(s).error());
        copy = self->value;
    }
    return wrap(query_type(), std::move(copy));
}

Param kQueryParams[] = {{"graph"}};
Signature kQueryNew("Query", "Query", CallKind::Constructor, kQueryParams);

PyObject* query_new(PyTypeObject*, Args& a)
{
    if (!check_instance(a[0], graph_type(), a.name(0))) return nullptr;
    return new_query(read_graph(a[0]));
}

} // namespace

PyTypeObject* query_type()
{
    static PyTypeObject* type = [] {
        // The internal types that hold queues and binding tables, built up front.
        if (shared_type<QueueEntry>() == nullptr || shared_type<Table>() == nullptr) {
            return static_cast<PyTypeObject*>(nullptr);
        }
        ClassBuilder b(
            "Query", kQueryNew,
            "A deferred, Cypher-like query on a graph.\n\n"
            "Builder methods (match, merge, create, where, set, delete, with_, order_by, "
            "skip, limit) queue one operation and return a copy of the query; nothing runs "
            "until a terminal method (execute, return_, return_distinct, return_count) runs "
            "the whole queue against the live graph.\n\n"
            "    rows = graph.query().match(\"(n:Person)-[e]->(m)\").return_(\"n\", \"m\")");
        b.object<QueryRecord>()
            .constructor<kQueryNew, query_new>()
            .def<kMatch, query_match>(
                "Queues a match: a pattern string such as \"(n:Person)-[e:knows]->(m)\", or "
                "a node (node=name with type, type_schema, properties) or an edge (edge=name "
                "with term, term_type_schema, properties, start, end).")
            .def<kMerge, query_merge>(nullptr)
            .def<kCreate, query_create>(nullptr)
            .def<kWhere, query_where>("Queues a condition; conditions are not evaluated yet.")
            .def<kSet, query_set>(nullptr)
            .def<kDelete, query_delete>(nullptr)
            .def<kWith, query_with>(nullptr)
            .def<kOrderBy, query_order_by>(nullptr)
            .def<kSkip, query_skip>(nullptr)
            .def<kLimit, query_limit>(nullptr)
            .def<kParams, query_params>(
                "Gives values to the $name parameters of where conditions and returns a copy "
                "of the query.")
            .def<kExecute, query_execute>(nullptr)
            .def<kReturn, query_return>(
                "Runs the queue and returns a list of rows: row i maps each requested "
                "variable to entry i of its bound values (new Node / Edge objects).")
            .def<kReturnDistinct, query_return_distinct>(nullptr)
            .def<kReturnCount, query_return_count>(nullptr);
        return b.build();
    }();
    return type;
}

} // namespace voralix
