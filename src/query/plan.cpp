#include "query/plan.hpp"

#include "binding/shared.hpp"
#include "binding/values.hpp"
#include "errors/stash.hpp"
#include "query/operators.hpp"
#include "query/writes.hpp"

#include <algorithm>
#include <unordered_map>

namespace voralix {

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

bool is_write(const QueryOperation& o) noexcept
{
    return std::holds_alternative<op::Create>(o) || std::holds_alternative<op::Merge>(o) ||
           std::holds_alternative<op::Set>(o) || std::holds_alternative<op::Delete>(o);
}

bool is_slice(const QueryOperation& o) noexcept
{
    return std::holds_alternative<op::Skip>(o) || std::holds_alternative<op::Limit>(o);
}

VoralixError not_defined(std::string_view name, const char* context)
{
    return VoralixError::invalid_query("Variable '" + std::string(name) + "' not defined", context);
}

// The operators compiled so far and the columns of the rows they give.
struct Stream {
    OperatorPtr op;
    std::vector<std::string> columns;

    std::optional<std::size_t> find(std::string_view name) const
    {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (columns[i] == name) return i;
        }
        return std::nullopt;
    }
    std::size_t column(std::string_view name)
    {
        if (auto c = find(name)) return *c;
        columns.emplace_back(name);
        return columns.size() - 1;
    }
};

class Run {
public:
    Run(QueryRecord& q, std::vector<const QueryOperation*> ops)
        : q_(q), ops_(std::move(ops)), ctx_(q.graph), committed_(q.bindings)
    {
    }

    Status run()
    {
        // Every condition is parsed, and its parameters looked up, before
        // anything runs: a syntax error leaves no half-applied writes.
        prepared_.resize(ops_.size());
        for (std::size_t i = 0; i < ops_.size(); ++i) {
            if (const auto* w = std::get_if<op::Where>(ops_[i])) {
                auto p = condition::prepare(w->condition, q_.params.get());
                if (!p) return std::move(p).error();
                prepared_[i] = std::move(*p);
            }
        }
        mark_lazy_reads();
        stream_ = source(committed_);
        for (i_ = 0; i_ < ops_.size(); ++i_) {
            Status s = std::visit([&](const auto& o) { return step(o); }, *ops_[i_]);
            if (!s) {
                q_.bindings = committed_;
                return s;
            }
        }
        Status s = complete();
        q_.bindings = committed_;
        return s;
    }

private:
    // A read completes on its own (its rows drained and kept as the bindings
    // of this step) unless a later skip or limit, before the next write or
    // sort, may stop it early.
    void mark_lazy_reads()
    {
        lazy_.assign(ops_.size(), false);
        bool slice_ahead = false;
        for (std::size_t i = ops_.size(); i-- > 0;) {
            lazy_[i] = slice_ahead;
            if (is_slice(*ops_[i])) slice_ahead = true;
            if (is_write(*ops_[i]) || std::holds_alternative<op::OrderBy>(*ops_[i])) {
                slice_ahead = false;
            }
        }
    }

    Stream source(const Ref& table)
    {
        Stream s;
        if (table) s.columns = binding::shared_value<Table>(table).columns;
        s.op = make_operator(SourceOp{table});
        return s;
    }

    Result<Table> drain()
    {
        Table t;
        t.columns = stream_.columns;
        for (;;) {
            Rows batch;
            Status s = pull(*stream_.op, ctx_, batch);
            if (!s) return std::move(s).error();
            if (batch.empty()) break;
            t.append(std::move(batch));
        }
        return t;
    }

    Status commit(Table&& t)
    {
        Ref box = binding::make_shared(std::move(t));
        if (!box) return PythonError{};
        committed_ = std::move(box);
        stream_ = source(committed_);
        return ok_status();
    }

    // Drains the stream into the bindings of this step.
    Status complete()
    {
        if (std::holds_alternative<SourceOp>(stream_.op->op)) {
            const auto& src = std::get<SourceOp>(stream_.op->op);
            if (src.table.get() == committed_.get() && src.next_block == 0 && src.next_row == 0) {
                return ok_status();
            }
        }
        auto t = drain();
        if (!t) return std::move(t).error();
        return commit(std::move(*t));
    }

    // A read completes now unless it may be cut short later; a long run of
    // such reads completes anyway now and then, so that the chain of
    // operators pulling from one another stays short.
    Status read_done()
    {
        if (!lazy_[i_] || ++lazy_chain_ >= kMaxLazyChain) {
            lazy_chain_ = 0;
            return complete();
        }
        return ok_status();
    }

    // Runs a write on the whole table of its input. A write that fails keeps
    // what it bound before failing, as it keeps what it wrote to the graph.
    template <class F>
    Status write(F&& apply)
    {
        auto t = drain();
        if (!t) return std::move(t).error();
        Status s = apply(*t);
        if (s) return commit(std::move(*t));
        ExceptionStash stash;
        (void)commit(std::move(*t)); // the write's failure is the one reported
        return s;
    }

    Status step(const op::Match& m)
    {
        PathPattern path = std::visit(
            Overloaded{
                [](const MatchNode& n) { return PathPattern{{n.pattern}, {}}; },
                [](const MatchEdge& e) {
                    NodePattern from, to;
                    from.variable = e.start;
                    to.variable = e.end;
                    return PathPattern{{std::move(from), std::move(to)}, {e.pattern}};
                },
                [](const MatchPath& p) { return p.pattern; },
            },
            m.op);
        if (path.nodes.size() != path.edges.size() + 1) {
            return VoralixError::invalid_query("Path pattern must alternate nodes and edges",
                                               "match");
        }
        std::vector<Direction> directions;
        for (const EdgePattern& e : path.edges) {
            auto d = direction_of(e, "match");
            if (!d) return std::move(d).error();
            directions.push_back(*d);
        }
        // Each variable takes the cells of its last position in the path.
        std::unordered_map<std::string, std::size_t> last_position;
        std::vector<std::string> order;
        auto note = [&](const std::optional<std::string>& v, std::size_t position) {
            if (!v) return;
            if (last_position.insert_or_assign(*v, position).second) order.push_back(*v);
        };
        for (std::size_t k = 0; k < path.nodes.size(); ++k) {
            note(path.nodes[k].variable, 2 * k);
            if (k < path.edges.size()) note(path.edges[k].variable, 2 * k + 1);
        }
        BindOp bind;
        bind.in_width = stream_.columns.size();
        for (const std::string& v : order) {
            bind.mapping.emplace_back(last_position[v], stream_.column(v));
        }
        bind.out_width = stream_.columns.size();
        bind.identity = bind.out_width == 2 * path.nodes.size() - 1 &&
                        std::all_of(bind.mapping.begin(), bind.mapping.end(),
                                    [](const auto& m) { return m.first == m.second; }) &&
                        bind.mapping.size() == bind.out_width;
        bind.input = std::move(stream_.op);
        bind.paths = path_operators(path, directions);
        stream_.op = make_operator(std::move(bind));
        return read_done();
    }

    Status step(const op::Where&)
    {
        auto bound = condition::bind(*prepared_[i_], [&](std::string_view name) {
            return stream_.find(name);
        });
        if (!bound) return std::move(bound).error();
        stream_.op = make_operator(FilterOp{std::move(stream_.op), std::move(*bound)});
        return read_done();
    }

    Status step(const op::OrderBy&)
    {
        // Consecutive order_by calls form one compound key, the first primary.
        SortOp sort;
        for (;; ++i_) {
            const auto& o = std::get<op::OrderBy>(*ops_[i_]);
            auto c = stream_.find(o.variable);
            if (!c) return not_defined(o.variable, "order by");
            Ref key = Ref::steal(binding::to_python_str(o.key));
            if (!key) return PythonError{};
            PyUnicode_InternInPlace(reinterpret_cast<PyObject**>(&key));
            sort.keys.push_back({*c, std::move(key), o.ascending});
            if (i_ + 1 == ops_.size() || !std::holds_alternative<op::OrderBy>(*ops_[i_ + 1])) break;
        }
        sort.input = std::move(stream_.op);
        stream_.op = make_operator(std::move(sort));
        return read_done();
    }

    Status step(const op::Skip& s) { return slice(s.count, std::nullopt); }
    Status step(const op::Limit& l) { return slice(0, l.count); }

    Status slice(std::uint64_t skip, std::optional<std::uint64_t> limit)
    {
        stream_.op = make_operator(SliceOp{std::move(stream_.op), skip, limit});
        return read_done();
    }

    Status step(const op::With& w)
    {
        ProjectOp project;
        std::vector<std::string> columns;
        for (const std::string& name : w.variables) {
            auto c = stream_.find(name);
            if (!c) return not_defined(name, "with");
            if (std::find(columns.begin(), columns.end(), name) != columns.end()) continue;
            columns.push_back(name);
            project.keep.push_back(*c);
        }
        project.input = std::move(stream_.op);
        stream_.op = make_operator(std::move(project));
        stream_.columns = std::move(columns);
        return read_done();
    }

    Status step(const op::Create& c)
    {
        return write([&](Table& t) { return execute_create(ctx_, t, c.op); });
    }
    Status step(const op::Merge& m)
    {
        return write([&](Table& t) { return execute_merge(ctx_, t, m.op); });
    }
    Status step(const op::Set& s)
    {
        return write([&](Table& t) { return execute_set(ctx_, t, s); });
    }
    Status step(const op::Delete& d)
    {
        return write([&](Table& t) { return execute_delete(ctx_, t, d); });
    }

    QueryRecord& q_;
    std::vector<const QueryOperation*> ops_;
    RunContext ctx_;
    Ref committed_;
    Stream stream_;
    std::vector<std::optional<condition::Prepared>> prepared_;
    std::vector<bool> lazy_;
    std::size_t i_ = 0;
    static constexpr int kMaxLazyChain = 64;
    int lazy_chain_ = 0;
};

} // namespace

Status execute_operations(QueryRecord& q)
{
    // The queue's entries stay alive for the run: the query is held
    // exclusively, and this reference keeps them even if it were not.
    const Ref last = q.last;
    std::vector<const QueryOperation*> ops;
    for (PyObject* e = last.get(); e != nullptr;) {
        const QueueEntry& entry = binding::as_object<QueueEntry>(e)->value;
        ops.push_back(&entry.operation);
        e = entry.previous.get();
    }
    std::reverse(ops.begin(), ops.end());
    return Run(q, std::move(ops)).run();
}

} // namespace voralix
