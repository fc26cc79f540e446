// Graph.to_dot (Graphviz DOT text) and Graph._repr_html_ (a summary table for
// notebooks). Every text that comes from the graph is escaped for its target.
#include "graph/graph_methods.hpp"

#include "binding/convert.hpp"
#include "binding/values.hpp"
#include "graph/dict_walk.hpp"
#include "graph/element_walk.hpp"
#include "graph/node_classes.hpp"
#include "util/interrupt.hpp"

#include <string>
#include <unordered_set>

namespace voralix {

using namespace binding;

namespace {

// --- DOT ------------------------------------------------------------------------

// A DOT double-quoted string that Graphviz shows as `text`: quotes and
// backslashes escaped (a backslash would start an escString sequence such as
// \N or \l), line breaks as \n, "&" as &amp; (Graphviz reads HTML entities
// in every string) and other control characters as numeric entities.
// Characters outside ASCII are written as UTF-8, DOT's default charset.
void append_dot_string(std::string& out, std::string_view text)
{
    out += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\\n";
            break;
        case '&': out += "&amp;"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "&#" + std::to_string(c) + ';';
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

class DotWriter {
public:
    explicit DotWriter(const GraphRecord& g) : g_(g) {}

    PyObject* run()
    {
        out_ = "digraph {\n";
        if (!nodes() || !edges()) return nullptr;
        out_ += dangling_;
        out_ += edge_lines_;
        out_ += "}\n";
        return to_python_str(out_);
    }

private:
    void node_line(std::string& out, const NodeRecord& n, const Digest& uid, bool dangling)
    {
        out += "  ";
        append_dot_string(out, digest_hex(uid));
        out += " [label=";
        append_dot_string(out, n.type.text());
        if (dangling) out += ", style=dashed";
        out += "];\n";
    }

    bool nodes()
    {
        return walk_elements<NodeRecord>(g_.nodes, "nodes", [&](PyObject*, const NodeRecord& n) {
            const Digest uid = node_uid(n);
            if (present_.insert(uid).second) node_line(out_, n, uid, false);
            return true;
        });
    }

    // An end node the graph does not hold is drawn dashed, once.
    Digest end_node(const NodeRecord& n)
    {
        const Digest uid = node_uid(n);
        if (present_.insert(uid).second) node_line(dangling_, n, uid, true);
        return uid;
    }

    bool edges()
    {
        return walk_elements<EdgeRecord>(g_.edges, "edges", [&](PyObject*, const EdgeRecord& e) {
            const Digest start = end_node(e.start), end = end_node(e.end);
            edge_lines_ += "  ";
            append_dot_string(edge_lines_, digest_hex(start));
            edge_lines_ += " -> ";
            append_dot_string(edge_lines_, digest_hex(end));
            edge_lines_ += " [label=";
            append_dot_string(edge_lines_, e.term.name());
            edge_lines_ += "];\n";
            return true;
        });
    }

    const GraphRecord& g_;
    std::string out_, dangling_, edge_lines_;
    std::unordered_set<Digest, DigestHash> present_;
};

// --- HTML -----------------------------------------------------------------------

constexpr Py_ssize_t kShownRows = 10;
constexpr Py_ssize_t kShownChars = 120;

void append_html(std::string& out, std::string_view text)
{
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
}

// The str (or, with `use_repr`, the repr) of `o`, cut to `limit` characters
// with an ellipsis, HTML-escaped into `out`.
bool append_shown(std::string& out, PyObject* o, bool use_repr, Py_ssize_t limit = kShownChars)
{
    Ref text = Ref::steal(use_repr ? PyObject_Repr(o) : PyObject_Str(o));
    if (!text) return false;
    const bool cut = PyUnicode_GET_LENGTH(text.get()) > limit;
    if (cut) {
        text = Ref::steal(PyUnicode_Substring(text.get(), 0, limit));
        if (!text) return false;
    }
    // Lone surrogates have no UTF-8 form: shown as U+FFFD.
    Ref utf8 = Ref::steal(PyUnicode_AsEncodedString(text.get(), "utf-8", "replace"));
    if (!utf8) return false;
    append_html(out, std::string_view(PyBytes_AS_STRING(utf8.get()),
                                      static_cast<std::size_t>(PyBytes_GET_SIZE(utf8.get()))));
    if (cut) out += "\xE2\x80\xA6"; // U+2026 HORIZONTAL ELLIPSIS
    return true;
}

void cell(std::string& out, std::string_view html)
{
    out += "<td>";
    out += html;
    out += "</td>";
}

class HtmlWriter {
public:
    explicit HtmlWriter(const GraphRecord& g) : g_(g) {}

    PyObject* run()
    {
        const Py_ssize_t n = PyDict_GET_SIZE(g_.nodes.get()), m = PyDict_GET_SIZE(g_.edges.get());
        out_ = "<div class=\"voralix-graph\">\n<p><b>Graph</b>: " + std::to_string(n) + " nodes, " +
               std::to_string(m) + " edges</p>\n";
        if (n > 0 && !table(g_.nodes, "Nodes", n, {"key", "type", "properties"}, node_type(),
                            &HtmlWriter::node_cells)) {
            return nullptr;
        }
        if (m > 0 && !table(g_.edges, "Edges", m, {"key", "term", "start", "end", "properties"},
                            edge_type(), &HtmlWriter::edge_cells)) {
            return nullptr;
        }
        out_ += "</div>";
        return to_python_str(out_);
    }

private:
    using Cells = bool (HtmlWriter::*)(PyObject* value);

    bool node_cells(PyObject* value)
    {
        NodeRecord n;
        if (!read_node(value, n)) return false;
        std::string type;
        append_html(type, n.type.text());
        cell(out_, type);
        return properties_cell(n.properties);
    }

    bool edge_cells(PyObject* value)
    {
        EdgeRecord e;
        if (!read_edge(value, e)) return false;
        for (const std::string& text : {e.term.text(), e.start.type.text(), e.end.type.text()}) {
            std::string html;
            append_html(html, text);
            cell(out_, html);
        }
        return properties_cell(e.properties);
    }

    bool properties_cell(const Ref& props)
    {
        std::string html;
        if (!append_shown(html, props.get(), true)) return false;
        cell(out_, "<code>" + html + "</code>");
        return true;
    }

    bool table(const Ref& dict, const char* caption, Py_ssize_t total,
               std::initializer_list<const char*> heads, PyTypeObject* cls, Cells cells)
    {
        out_ += "<table>\n<caption>";
        out_ += caption;
        if (total > kShownRows) {
            out_ +=
                " (the first " + std::to_string(kShownRows) + " of " + std::to_string(total) + ")";
        }
        out_ += "</caption>\n<thead><tr>";
        for (const char* h : heads) out_ += std::string("<th>") + h + "</th>";
        out_ += "</tr></thead>\n<tbody>\n";
        DictWalk walk(dict);
        PyObject *k, *v;
        for (Py_ssize_t row = 0; row < kShownRows && walk.next(k, v); ++row) {
            out_ += "<tr>";
            std::string key;
            if (!append_shown(key, k, !PyUnicode_Check(k), 16)) return false;
            cell(out_, "<code>" + key + "</code>");
            if (Py_IS_TYPE(v, cls)) {
                if (!(this->*cells)(v)) return false;
            } else {
                std::string note;
                append_html(note, wrong_class_text(v, bare_type_name(cls)));
                out_ +=
                    "<td colspan=\"" + std::to_string(heads.size() - 1) + "\">" + note + "</td>";
            }
            out_ += "</tr>\n";
        }
        if (walk.failed()) return false;
        out_ += "</tbody>\n</table>\n";
        return true;
    }

    const GraphRecord& g_;
    std::string out_;
};

Signature kToDot("Graph", "to_dot", CallKind::Method);
Signature kReprHtml("Graph", "_repr_html_", CallKind::Method);

PyObject* graph_to_dot(const GraphRecord& value, Args&)
{
    GraphRecord g = value;
    if (!graph_usable(g)) return nullptr;
    return DotWriter(g).run();
}

PyObject* graph_repr_html(const GraphRecord& value, Args&)
{
    GraphRecord g = value;
    if (!graph_usable(g)) return nullptr;
    return HtmlWriter(g).run();
}

} // namespace

void define_graph_display_methods(ClassBuilder& b)
{
    b.def<kToDot, graph_to_dot>(
         "Returns the graph as Graphviz DOT text (a digraph).\n\n"
         "Nodes are named by their uids and labelled by their types' text; edges go from "
         "their start node's uid to their end node's uid, labelled by their terms' names. "
         "An edge's end node that the graph does not hold is drawn dashed. Labels are "
         "escaped so that Graphviz shows them exactly: quotes, backslashes, line breaks, "
         "\"&\" and control characters; other characters are written as UTF-8.\n\n"
         "Returns:\n    The DOT text, a str (render it with `dot -Tsvg`).\n\n"
         "Raises:\n    TypeError: a value in `nodes` is not a Node, or in `edges` not an "
         "Edge.\n\n"
         "Example:\n"
         "    >>> g = Graph()\n"
         "    >>> _ = g.add_node(Node(Variable('say \"hi\"')))\n"
         "    >>> print(g.to_dot().splitlines()[1][-21:])\n"
         "    [label=\"say \\\"hi\\\"\"];")
        .def<kReprHtml, graph_repr_html>(
            "Returns an HTML summary for notebooks: the counts, then the first ten nodes "
            "(key, type, properties) and edges (key, term, start and end types, properties) "
            "as tables. Every text is HTML-escaped; long keys and property reprs are "
            "shortened.\n\n"
            "Returns:\n    The HTML, a str.\n\n"
            "Example:\n"
            "    >>> Graph()._repr_html_()\n"
            "    '<div class=\"voralix-graph\">\\n<p><b>Graph</b>: 0 nodes, 0 edges</p>\\n</div>'");
}

} // namespace voralix
