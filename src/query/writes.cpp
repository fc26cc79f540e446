#include "query/writes.hpp"

#include "type_schema/schema_type.hpp"

namespace voralix {

namespace {

constexpr const char* kCreate = "create";

// Binds `variable` to `value` alone (a create, or a merge that creates).
void bind_alone(Table& table, const std::optional<std::string>& variable, Cell value)
{
    if (!variable) return;
    std::vector<Cell> values;
    values.push_back(std::move(value));
    table.replace_column(table.column(*variable), std::move(values));
}

// Appends `value` to `variable`'s column (a merge that finds).
void bind_found(Table& table, const std::optional<std::string>& variable, Cell value)
{
    if (variable) table.append_to_column(table.column(*variable), std::move(value));
}

// The type a created node gets: the pattern's specific type, or else the one
// type its schema names (pattern strings carry only schemas).
std::optional<Type> type_to_create(const NodePattern& p)
{
    if (p.type_obj) return p.type_obj;
    if (p.type_schema) return type_named_by_schema(p.type_schema->text());
    return std::nullopt;
}

// Creates the node of a typed pattern and binds it; nullopt for an untyped one.
Result<std::optional<NodeRecord>> create_node(RunContext& ctx, Table& table, const NodePattern& p)
{
    std::optional<Type> type = type_to_create(p);
    if (!type) return std::optional<NodeRecord>();
    NodeRecord n{std::move(*type), Ref::steal(p.properties.to_dict())};
    if (!n.properties) return PythonError{};
    Status s = store_node(ctx.graph, n);
    if (!s) return std::move(s).error();
    ctx.graph_changed();
    bind_alone(table, p.variable, n);
    return std::optional<NodeRecord>(std::move(n));
}

Status create_edge(RunContext& ctx, Table& table, const std::optional<std::string>& variable,
                   EdgeRecord e)
{
    Status s = store_edge(ctx.graph, e);
    if (!s) return s;
    ctx.graph_changed();
    bind_alone(table, variable, std::move(e));
    return ok_status();
}

// The first cell bound to `name`, if it is a node.
const NodeRecord* first_bound_node(const Table& table, const std::string& name)
{
    auto c = table.find(name);
    if (!c) return nullptr;
    const Cell* cell = table.first_filled(*c);
    return cell == nullptr ? nullptr : std::get_if<NodeRecord>(cell);
}

VoralixError not_bound_to_node(const std::string& name)
{
    return VoralixError::invalid_query("Variable '" + name + "' is not bound to a node", kCreate);
}

Result<NodeRecord> bound_end(const Table& table, const std::string& name)
{
    const NodeRecord* n = first_bound_node(table, name);
    if (n == nullptr) return not_bound_to_node(name);
    return *n;
}

Status create_keyword_edge(RunContext& ctx, Table& table, const CreateEdge& c)
{
    if (!c.pattern.term) {
        return VoralixError::invalid_query("Edge creation requires a term", kCreate);
    }
    auto start = bound_end(table, c.start);
    if (!start) return std::move(start).error();
    auto end = bound_end(table, c.end);
    if (!end) return std::move(end).error();
    EdgeRecord e{c.pattern.term, std::move(*start), std::move(*end),
                 Ref::steal(c.pattern.properties.to_dict())};
    if (!e.properties) return PythonError{};
    return create_edge(ctx, table, c.pattern.variable, std::move(e));
}

Status create_path(RunContext& ctx, Table& table, const PathPattern& path)
{
    if (!path.edges.empty() && path.nodes.size() != path.edges.size() + 1) {
        return VoralixError::invalid_query("Path pattern must alternate nodes and edges", kCreate);
    }
    std::vector<std::optional<NodeRecord>> created;
    created.reserve(path.nodes.size());
    for (const NodePattern& p : path.nodes) {
        auto n = create_node(ctx, table, p);
        if (!n) return std::move(n).error();
        created.push_back(std::move(*n));
    }
    // An end of a created edge: the node its pattern created, or else the
    // first node bound to its variable.
    auto end_node = [&](std::size_t k) -> Result<NodeRecord> {
        if (created[k]) return *created[k];
        const NodePattern& p = path.nodes[k];
        if (!p.variable) {
            return VoralixError::invalid_query("Edge end node needs a type or a bound variable",
                                               kCreate);
        }
        return bound_end(table, *p.variable);
    };
    for (std::size_t k = 0; k < path.edges.size(); ++k) {
        const EdgePattern& e = path.edges[k];
        auto direction = direction_of(e, kCreate);
        if (!direction) return std::move(direction).error();
        if (*direction == Direction::Any) {
            return VoralixError::invalid_query("Cannot create an undirected edge", kCreate);
        }
        if (e.hops) {
            return VoralixError::invalid_query("Cannot create a variable-length edge", kCreate);
        }
        if (!e.variable) {
            return VoralixError::invalid_query("Edge creation requires an edge variable", kCreate);
        }
        std::optional<Type> type;
        if (e.term_type_schema) {
            type = type_named_by_schema(e.term_type_schema->text());
            if (!type) {
                return VoralixError::invalid_query("Edge type must name exactly one type",
                                                   kCreate);
            }
        }
        const bool backward = *direction == Direction::Backward;
        auto start = end_node(backward ? k + 1 : k);
        if (!start) return std::move(start).error();
        auto end = end_node(backward ? k : k + 1);
        if (!end) return std::move(end).error();
        if (!type) type = Type::application(start->type, end->type);
        EdgeRecord edge{Term(*e.variable, std::move(*type)), std::move(*start), std::move(*end),
                        Ref::steal(e.properties.to_dict())};
        if (!edge.properties) return PythonError{};
        Status s = create_edge(ctx, table, e.variable, std::move(edge));
        if (!s) return s;
    }
    return ok_status();
}

// The first node that passes `p`, in graph order; only nodes of its type when
// it has a specific one. The scan stops at the first.
Result<std::optional<NodeRecord>> find_first_node(RunContext& ctx, const NodePattern& p)
{
    if (p.type_obj) {
        auto candidates = get_nodes_by_type(ctx.graph, p.type_obj.uid_digest());
        if (!candidates) return std::move(candidates).error();
        for (NodeRecord& n : *candidates) {
            Result<bool> ok = node_pattern_matches(p, n);
            if (!ok) return std::move(ok).error();
            if (*ok) return std::optional<NodeRecord>(std::move(n));
        }
        return std::optional<NodeRecord>();
    }
    NodeScan scan(ctx.graph);
    NodeRecord n;
    while (scan.next(n)) {
        Result<bool> ok = node_pattern_matches(p, n);
        if (!ok) return std::move(ok).error();
        if (*ok) return std::optional<NodeRecord>(std::move(n));
    }
    if (scan.failed()) return PythonError{};
    return std::optional<NodeRecord>();
}

Status merge_node(RunContext& ctx, Table& table, const NodePattern& p)
{
    if (p.variable) table.column(*p.variable);
    auto found = find_first_node(ctx, p);
    if (!found) return std::move(found).error();
    if (*found) {
        bind_found(table, p.variable, std::move(**found));
        return ok_status();
    }
    // Only a specific type creates the node that was not found.
    if (!p.type_obj) return ok_status();
    auto created = create_node(ctx, table, p);
    if (!created) return std::move(created).error();
    return ok_status();
}

Status merge_edge(RunContext& ctx, Table& table, const MergeEdge& m)
{
    if (m.pattern.variable) table.column(*m.pattern.variable);
    const NodeRecord* s = first_bound_node(table, m.start);
    const NodeRecord* t = first_bound_node(table, m.end);
    if (s == nullptr || t == nullptr) return ok_status();
    const NodeRecord start = *s, end = *t;
    EdgeScan scan(ctx.graph);
    EdgeRecord e;
    while (scan.next(e)) {
        if (!same_node_uid(e.start, start) || !same_node_uid(e.end, end)) continue;
        Result<bool> ok = edge_pattern_matches(m.pattern, e);
        if (!ok) return std::move(ok).error();
        if (!*ok) continue;
        bind_found(table, m.pattern.variable, std::move(e));
        return ok_status();
    }
    if (scan.failed()) return PythonError{};
    if (!m.pattern.term) return ok_status();
    EdgeRecord created{m.pattern.term, start, end, Ref::steal(m.pattern.properties.to_dict())};
    if (!created.properties) return PythonError{};
    return create_edge(ctx, table, m.pattern.variable, std::move(created));
}

// The property dicts of a cell's elements.
void property_dicts(const Cell& c, std::vector<Ref>& out)
{
    if (const auto* n = std::get_if<NodeRecord>(&c)) {
        out.push_back(n->properties);
    } else if (const auto* e = std::get_if<EdgeRecord>(&c)) {
        out.push_back(e->properties);
    } else if (const auto* l = std::get_if<EdgeList>(&c)) {
        for (const EdgeRecord& x : *l) out.push_back(x.properties);
    }
}

} // namespace

Status execute_create(RunContext& ctx, Table& table, const CreateOp& op)
{
    return std::visit(
        [&](const auto& c) -> Status {
            using C = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<C, CreateNode>) {
                if (c.pattern.variable && type_to_create(c.pattern)) table.column(*c.pattern.variable);
                auto n = create_node(ctx, table, c.pattern);
                if (!n) return std::move(n).error();
                return ok_status();
            } else if constexpr (std::is_same_v<C, CreateEdge>) {
                return create_keyword_edge(ctx, table, c);
            } else {
                return create_path(ctx, table, c.pattern);
            }
        },
        op);
}

Status execute_merge(RunContext& ctx, Table& table, const MergeOp& op)
{
    return std::visit(
        [&](const auto& m) -> Status {
            using M = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<M, MergeNode>) {
                return merge_node(ctx, table, m.pattern);
            } else {
                return merge_edge(ctx, table, m);
            }
        },
        op);
}

Status execute_set(RunContext& ctx, Table& table, const op::Set& s)
{
    (void)ctx;
    auto c = table.find(s.variable);
    if (!c) return ok_status();
    // Storing an item may run Python code (a key's __eq__): collect the target
    // dicts first.
    std::vector<Ref> targets;
    table.for_each_row([&](const Cell* row) {
        property_dicts(row[*c], targets);
        return true;
    });
    for (const Ref& target : targets) {
        Status st = update_properties(target, s.properties);
        if (!st) return st;
    }
    return ok_status();
}

Status execute_delete(RunContext& ctx, Table& table, const op::Delete& d)
{
    std::vector<Digest> deleted_types;
    InterruptCheck interrupt;
    auto remove = [&](const Cell& cell) -> Status {
        if (!interrupt.tick()) return PythonError{};
        if (const auto* n = std::get_if<NodeRecord>(&cell)) {
            if (d.detach) deleted_types.push_back(n->type.uid_digest());
            return remove_node(ctx.graph, *n);
        }
        if (const auto* e = std::get_if<EdgeRecord>(&cell)) return remove_edge(ctx.graph, *e);
        if (const auto* l = std::get_if<EdgeList>(&cell)) {
            for (const EdgeRecord& e : *l) {
                Status s = remove_edge(ctx.graph, e);
                if (!s) return s;
            }
        }
        return ok_status();
    };
    for (const std::string& name : d.variables) {
        auto c = table.find(name);
        if (!c) continue;
        Status s = ok_status();
        // A removal may run Python code (a key's __eq__); none can reach this table.
        table.for_each_row([&](const Cell* row) {
            s = remove(row[*c]);
            return bool(s);
        });
        if (!s) return s;
    }
    ctx.graph_changed();
    if (!d.detach) return ok_status();
    return detach_edges(ctx.graph, std::move(deleted_types));
}

} // namespace voralix
