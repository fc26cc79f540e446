"""Reference model of the query executor, in plain Python.

It follows the written rules literally and shares no code with the
extension: a binding table of rows (one cell per column: None, a record, or
a list of edge records for a variable-length edge), operations applied one
after another in queue order, paths enumerated as nested loops (the first hop
by the edge dict's order, later hops from the reached node in edge dict
order; an "any" hop forward before backward, a self-loop once; a
variable-length hop depth first, a trail before its extensions; no edge
twice in one path instance).

Records: `Rec("node", type, props)` or `Rec("edge", type, props, name,
start, end)`; types are ("var", name) or ("app", left, right). A graph is
two dicts uid -> Rec, in insertion order. Operations are tuples:

    ("match", nodes, edges)            nodes: [NodeP], edges: [EdgeP]
    ("where", fn)                      fn(row: dict name -> cell) -> bool
    ("order_by", var, key, ascending)  values compared by the model's key
    ("skip", n) ("limit", n) ("with", names)
    ("create_node", NodeP) ("create_path", nodes, edges)
    ("create_edge", EdgeP, start, end)
    ("merge_node", NodeP) ("merge_edge", EdgeP, start, end)
    ("set", var, props) ("delete", names, detach)

NodeP = (var, type, schema, props); EdgeP = (var, term, schema, props,
direction, hops) with term = (name, type) or None, hops = (min, max or None)
or None. A schema is a small text: "A", "*", "A -> B", "* -> *".

A failing operation raises ModelError(message); the bindings are then those
of the last completed step, as the executor keeps them: a write completes on
its own (and keeps what it bound before failing), and so does a read unless
a later skip or limit, before the next write or order_by, may cut it short.
"""

import hashlib


class ModelError(Exception):
    pass


def sha(text):
    return hashlib.sha256(text.encode()).hexdigest()


def type_uid(t):
    return sha("var:" + t[1] if t[0] == "var" else "app:" + type_uid(t[1]) + ":" + type_uid(t[2]))


def schema_accepts(text, t):
    def side(s, x):
        return s == "*" or x == ("var", s)
    if "->" in text:
        left, right = (s.strip() for s in text.split("->"))
        return t[0] == "app" and side(left, t[1]) and side(right, t[2])
    return side(text.strip(), t)


def named_type(text):
    """The one type a create's type text names, or None ("*" names none)."""
    if "->" in text:
        left, right = (s.strip() for s in text.split("->"))
        if "*" in (left, right):
            return None
        return ("app", ("var", left), ("var", right))
    return None if text.strip() == "*" else ("var", text.strip())


class Rec:
    def __init__(self, kind, t, props, name=None, start=None, end=None):
        self.kind, self.type, self.props = kind, t, props
        self.name, self.start, self.end = name, start, end

    def uid(self):
        if self.kind == "node":
            return sha("node:" + type_uid(self.type))
        return sha("edge:" + self.term_uid())

    def term_uid(self):
        return sha("term:" + self.name + ":" + type_uid(self.type))

    def copy(self):  # a record copy shares its property dict
        return Rec(self.kind, self.type, self.props, self.name, self.start, self.end)


def cell_id(cell):
    if isinstance(cell, list):
        return [("Edge", e.uid()) for e in cell]
    return ("Node" if cell.kind == "node" else "Edge", cell.uid())


def props_match(required, props):
    return all(k in props and props[k] == v for k, v in (required or {}).items())


def node_ok(p, n):
    _, t, schema, props = p
    return ((t is None or n.type == t) and (schema is None or schema_accepts(schema, n.type))
            and props_match(props, n.props))


def edge_ok(p, e):
    _, term, schema, props, _, _ = p
    return ((term is None or (e.name, e.type) == term)
            and (schema is None or schema_accepts(schema, e.type)) and props_match(props, e.props))


UNTESTED = (None, None, None, None)


class Model:
    def __init__(self, nodes, edges):
        self.nodes, self.edges = nodes, edges  # uid -> Rec
        self.columns, self.rows = [], []

    # --- the table ----------------------------------------------------------

    def column(self, name):
        if name not in self.columns:
            self.columns.append(name)
            for row in self.rows:
                row.append(None)
        return self.columns.index(name)

    def drop_empty(self):
        self.rows = [r for r in self.rows if any(c is not None for c in r)]

    def replace(self, name, values):
        c = self.column(name)
        while len(self.rows) < len(values):
            self.rows.append([None] * len(self.columns))
        for i, row in enumerate(self.rows):
            row[c] = values[i] if i < len(values) else None
        self.drop_empty()

    def append(self, name, value):
        c = self.column(name)
        i = len(self.rows)
        while i > 0 and self.rows[i - 1][c] is None:
            i -= 1
        if i == len(self.rows):
            self.rows.append([None] * len(self.columns))
        self.rows[i][c] = value

    def first_node(self, name):
        if name not in self.columns:
            return None
        c = self.columns.index(name)
        for row in self.rows:
            if row[c] is not None:
                return row[c] if isinstance(row[c], Rec) and row[c].kind == "node" else None
        return None

    def rows_of(self, names, distinct=False):
        out, seen = [], []
        for row in self.rows:
            d = {n: cell_id(row[self.columns.index(n)]) for n in names
                 if n in self.columns and row[self.columns.index(n)] is not None}
            if not d:
                continue
            if distinct:
                key = [(names.index(n), d[n]) for n in names if n in d]
                if key in seen:
                    continue
                seen.append(key)
            out.append(d)
        return out

    # --- running a queue -------------------------------------------------------

    def run(self, ops):
        writes = {"create_node", "create_path", "create_edge", "merge_node", "merge_edge", "set",
                  "delete"}
        lazy, ahead = [False] * len(ops), False
        for i in range(len(ops) - 1, -1, -1):
            lazy[i] = ahead
            if ops[i][0] in ("skip", "limit"):
                ahead = True
            if ops[i][0] in writes or ops[i][0] == "order_by":
                ahead = False
        committed = ([*self.columns], [list(r) for r in self.rows])
        i = 0
        try:
            while i < len(ops):
                op = ops[i]
                if op[0] == "order_by":  # consecutive order_by calls: one compound key
                    j = i
                    while j + 1 < len(ops) and ops[j + 1][0] == "order_by":
                        j += 1
                    self.order_by(ops[i:j + 1])
                    i = j
                else:
                    getattr(self, "op_" + op[0])(*op[1:])
                if op[0] in writes or not lazy[i]:
                    committed = ([*self.columns], [list(r) for r in self.rows])
                i += 1
        except ModelError:
            if ops[i][0] not in writes:
                self.columns, self.rows = committed
            raise

    # --- reads -------------------------------------------------------------------

    def candidates(self, at, direction):
        """(edge, reached node) pairs leaving node `at`, in edge dict order."""
        for e in self.edges.values():
            loop = e.start.uid() == e.end.uid()
            if direction != "backward" and e.start.uid() == at.uid():
                yield e, e.end
            if direction != "forward" and e.end.uid() == at.uid() and not (loop and direction == "any"):
                yield e, e.start

    def first_hops(self, direction):
        for e in self.edges.values():
            if direction != "backward":
                yield e, e.start, e.end
            if direction != "forward" and not (direction == "any" and e.start.uid() == e.end.uid()):
                yield e, e.end, e.start

    def paths(self, nodes, edges):
        if len(nodes) != len(edges) + 1:
            raise ModelError("Invalid query: Path pattern must alternate nodes and edges (match)")
        if not edges:
            return [[n.copy()] for n in self.nodes.values() if node_ok(nodes[0], n)]
        out = []

        def trails(at, ep, used, lo, hi, start):
            """Depth first: (trail, reached) for every trail of lo..hi edges."""
            found, stack = [], [(at, list(start))]
            if lo <= len(start) <= hi:
                found.append((list(start), at))
            def extend(node, trail):
                if len(trail) >= hi:
                    return
                for e, reached in self.candidates(node, ep[4]):
                    if e.term_uid() in used or any(e.term_uid() == x.term_uid() for x in trail):
                        continue
                    if not edge_ok(ep, e):
                        continue
                    t = trail + [e]
                    if lo <= len(t) <= hi:
                        found.append((t, reached))
                    extend(reached, t)
            extend(at, list(start))
            return found

        def hop(path, k):
            if k == len(edges):
                out.append(path)
                return
            ep, right = edges[k], nodes[k + 1]
            used = {c.term_uid() for c in path[1::2] if isinstance(c, Rec)} | {
                x.term_uid() for c in path[1::2] if isinstance(c, list) for x in c}
            if ep[5] is None:
                for e, reached in self.candidates(path[-1], ep[4]):
                    if e.term_uid() not in used and edge_ok(ep, e) and node_ok(right, reached):
                        hop(path + [e, reached], k + 1)
                return
            lo, hi = ep[5][0], ep[5][1] if ep[5][1] is not None else float("inf")
            for trail, reached in trails(path[-1], ep, used, lo, hi, []):
                if node_ok(right, reached):
                    hop(path + [trail, reached], k + 1)

        ep = edges[0]
        if ep[5] is None:
            for e, frm, to in self.first_hops(ep[4]):
                if edge_ok(ep, e) and node_ok(nodes[0], frm) and node_ok(nodes[1], to):
                    hop([frm, e, to], 1)
            return out
        lo, hi = ep[5][0], ep[5][1] if ep[5][1] is not None else float("inf")
        if lo > hi:
            return out
        if lo == 0:
            for n in self.nodes.values():
                if node_ok(nodes[0], n):
                    for trail, reached in trails(n, ep, set(), lo, hi, []):
                        if node_ok(nodes[1], reached):
                            hop([n, trail, reached], 1)
            return out
        for e, frm, to in self.first_hops(ep[4]):
            if edge_ok(ep, e) and node_ok(nodes[0], frm):
                for trail, reached in trails(to, ep, set(), lo, hi, [e]):
                    if node_ok(nodes[1], reached):
                        hop([frm, trail, reached], 1)
        return out

    def op_match(self, nodes, edges):
        found = self.paths(nodes, edges)
        last = {}
        for k, n in enumerate(nodes):
            if n[0] is not None:
                last[n[0]] = 2 * k
            if k < len(edges) and edges[k][0] is not None:
                last[edges[k][0]] = 2 * k + 1
        names = [v for v in dict.fromkeys(x[0] for pair in zip(nodes, edges + [UNTESTED])
                                          for x in pair) if v is not None]
        cols = [self.column(v) for v in names]
        n = max(len(self.rows), len(found))
        rows = []
        for i in range(n):
            row = list(self.rows[i]) if i < len(self.rows) else [None] * len(self.columns)
            for v, c in zip(names, cols):
                row[c] = found[i][last[v]] if i < len(found) else None
            rows.append(row)
        self.rows = rows
        self.drop_empty()

    def defined(self, name, context):
        if name not in self.columns:
            raise ModelError(f"Invalid query: Variable '{name}' not defined ({context})")
        return self.columns.index(name)

    def op_where(self, names, fn):
        cols = {n: self.defined(n, "where") for n in names}
        self.rows = [r for r in self.rows if fn({n: r[c] for n, c in cols.items()})]

    def order_by(self, ops):
        keys = [(self.defined(var, "order by"), key, asc) for _, var, key, asc in ops]
        for c, key, asc in reversed(keys):  # stable sorts, last key first
            def value(row):
                cell = row[c]
                if isinstance(cell, Rec) and cell.props.get(key) is not None:
                    return (0, cell.props[key])
                return (1, 0)  # null sorts last ascending
            self.rows.sort(key=value, reverse=not asc)

    def op_skip(self, n):
        self.rows = self.rows[n:]

    def op_limit(self, n):
        self.rows = self.rows[:n]

    def op_with(self, names):
        cols = [self.defined(n, "with") for n in names]
        keep = list(dict.fromkeys(zip(names, cols)))
        self.columns = [n for n, _ in keep]
        self.rows = [[r[c] for _, c in keep] for r in self.rows]
        self.drop_empty()

    # --- writes ------------------------------------------------------------------

    def store(self, rec):
        (self.nodes if rec.kind == "node" else self.edges)[rec.uid()] = rec

    def create_type(self, p):
        if p[1] is not None:
            return p[1]
        return named_type(p[2]) if p[2] is not None else None

    def create_one(self, p):
        t = self.create_type(p)
        if t is None:
            return None
        n = Rec("node", t, dict(p[3] or {}))
        self.store(n)
        if p[0] is not None:
            self.replace(p[0], [n])
        return n

    def op_create_node(self, p):
        if p[0] is not None and self.create_type(p) is not None:
            self.column(p[0])
        self.create_one(p)

    def bound_node(self, name):
        n = self.first_node(name)
        if n is None:
            raise ModelError(f"Invalid query: Variable '{name}' is not bound to a node (create)")
        return n

    def new_edge(self, var, name, t, start, end, props):
        e = Rec("edge", t, dict(props or {}), name, start.copy(), end.copy())
        self.store(e)
        if var is not None:
            self.replace(var, [e])

    def op_create_edge(self, ep, start, end):
        if ep[1] is None:
            raise ModelError("Invalid query: Edge creation requires a term (create)")
        s, t = self.bound_node(start), self.bound_node(end)
        self.new_edge(ep[0], ep[1][0], ep[1][1], s, t, ep[3])

    def op_create_path(self, nodes, edges):
        if edges and len(nodes) != len(edges) + 1:
            raise ModelError("Invalid query: Path pattern must alternate nodes and edges (create)")
        made = [self.create_one(p) for p in nodes]

        def end(k):
            if made[k] is not None:
                return made[k]
            if nodes[k][0] is None:
                raise ModelError("Invalid query: Edge end node needs a type or a bound variable "
                                 "(create)")
            return self.bound_node(nodes[k][0])

        for k, ep in enumerate(edges):
            var, _, schema, props, direction, hops = ep
            if direction == "any":
                raise ModelError("Invalid query: Cannot create an undirected edge (create)")
            if hops is not None:
                raise ModelError("Invalid query: Cannot create a variable-length edge (create)")
            if var is None:
                raise ModelError("Invalid query: Edge creation requires an edge variable (create)")
            t = None
            if schema is not None:
                t = named_type(schema)
                if t is None:
                    raise ModelError("Invalid query: Edge type must name exactly one type (create)")
            a, b = (k + 1, k) if direction == "backward" else (k, k + 1)
            s, e = end(a), end(b)
            self.new_edge(var, var, t or ("app", s.type, e.type), s, e, props)

    def op_merge_node(self, p):
        if p[0] is not None:
            self.column(p[0])
        for n in self.nodes.values():
            if (p[1] is None or n.type == p[1]) and node_ok(p, n):
                if p[0] is not None:
                    self.append(p[0], n.copy())
                return
        if p[1] is not None:
            self.create_one(p)

    def op_merge_edge(self, ep, start, end):
        if ep[0] is not None:
            self.column(ep[0])
        s, t = self.first_node(start), self.first_node(end)
        if s is None or t is None:
            return
        for e in self.edges.values():
            if e.start.uid() == s.uid() and e.end.uid() == t.uid() and edge_ok(ep, e):
                if ep[0] is not None:
                    self.append(ep[0], e.copy())
                return
        if ep[1] is not None:
            self.new_edge(ep[0], ep[1][0], ep[1][1], s, t, ep[3])

    def op_set(self, var, props):
        if var not in self.columns:
            return
        c = self.columns.index(var)
        for row in self.rows:
            cell = row[c]
            for x in (cell if isinstance(cell, list) else [cell] if cell is not None else []):
                x.props.update(props)

    def op_delete(self, names, detach):
        gone = []
        for name in names:
            if name not in self.columns:
                continue
            c = self.columns.index(name)
            for row in self.rows:
                cell = row[c]
                for x in (cell if isinstance(cell, list) else [cell] if cell is not None else []):
                    (self.nodes if x.kind == "node" else self.edges).pop(x.uid(), None)
                    if x.kind == "node":
                        gone.append(type_uid(x.type))
        if detach:
            self.edges = {k: e for k, e in self.edges.items()
                          if type_uid(e.start.type) not in gone and type_uid(e.end.type) not in gone}

    def state(self):
        return ([(k, n.type, n.props) for k, n in self.nodes.items()],
                [(k, e.name, e.start.uid(), e.end.uid(), e.props) for k, e in self.edges.items()])
