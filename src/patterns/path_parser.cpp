// The pattern-string parser: trim, tokenize in one pass over the characters,
// then build node and edge descriptions from the tokens.
//
// Two shortcuts keep the hot path free of copies, without changing results:
//  * A node token is always one contiguous run of the input, from the "(" that
//    starts a node at depth zero to the ")" that brings the depth back to
//    zero (inside it the depth stays positive, so every character lands in
//    the node buffer, and the bracket depth cannot change). So the node
//    buffer is kept as a start offset only; text it collects that never
//    becomes a token is discarded anyway.
//  * Tokens are built as soon as they are complete instead of being stored.
//    A tokenizer failure must still win over a building failure, so the first
//    building failure is held back and reported only once tokenizing is done.
#include "patterns/path_parser.hpp"

#include "util/unicode.hpp"

#include <cstddef>
#include <utility>

namespace voralix {

namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr std::string_view kForward = "forward";
constexpr std::string_view kBackward = "backward";
constexpr std::string_view kAny = "any";

VoralixError fail(std::string_view pattern, std::string_view reason)
{
    return VoralixError::invalid_pattern(std::string(pattern), std::string(reason));
}

// Byte length of the UTF-8 sequence starting at text[i], kept inside text.
std::size_t sequence_length(std::string_view text, std::size_t i) noexcept
{
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    return len <= text.size() - i ? len : text.size() - i;
}

// The tokenizer's edge buffer. Edge text is usually one contiguous run of the
// input, so it is held as a view and copied only when dropped white space or
// node text interrupts it.
class EdgeBuffer {
public:
    explicit EdgeBuffer(std::string_view input) noexcept : input_(input) {}

    bool empty() const noexcept { return spilled_ ? spill_.empty() : begin_ == end_; }

    void append(std::size_t pos, std::size_t len)
    {
        if (spilled_) {
            spill_.append(input_.substr(pos, len));
        } else if (begin_ == end_) {
            begin_ = pos;
            end_ = pos + len;
        } else if (pos == end_) {
            end_ += len;
        } else {
            spill_.assign(input_.substr(begin_, end_ - begin_));
            spill_.append(input_.substr(pos, len));
            spilled_ = true;
        }
    }

    std::string_view text() const noexcept
    {
        return spilled_ ? std::string_view(spill_) : input_.substr(begin_, end_ - begin_);
    }

    void clear() noexcept
    {
        begin_ = end_ = 0;
        spilled_ = false;
        spill_.clear(); // keeps the capacity for the next edge
    }

private:
    std::string_view input_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool spilled_ = false;
    std::string spill_;
};

// Reads the inside of a node's parentheses or an edge's brackets:
// "name", "name:Type", ":Type", "name:$schema$", optionally followed by a
// property block "{...}" that is ignored.
void read_body(std::string_view t, std::optional<std::string>& variable,
               std::optional<std::string>& schema)
{
    t = trim(t);
    if (t.empty()) return;
    if (const auto brace = t.find('{'); brace != npos) t = trim(t.substr(0, brace));
    const auto colon = t.find(':');
    if (colon == npos) {
        if (!t.empty()) variable.emplace(t);
        return;
    }
    if (const auto name = trim(t.substr(0, colon)); !name.empty()) variable.emplace(name);
    const auto type = trim(t.substr(colon + 1));
    if (type.empty()) return;
    if (type.find('$') != npos) {
        schema.emplace(type);
    } else {
        // A bare type text is wrapped into a schema: "Person" -> "$Person$".
        std::string& s = schema.emplace();
        s.reserve(type.size() + 2);
        s.push_back('$');
        s.append(type);
        s.push_back('$');
    }
}

std::optional<VoralixError> build_edge(std::string_view token, std::vector<ParsedEdge>& edges)
{
    const auto s = trim(token);
    const bool leading_lt = !s.empty() && s.front() == '<';
    if (leading_lt && s.find("->") != npos) {
        return fail(s, "Cannot have both <- and -> in same edge");
    }
    // The whole edge text decides the direction, brackets' contents included.
    std::string_view direction = kAny;
    if (leading_lt && s.find('-') != npos) {
        direction = kBackward;
    } else if (s.find("->") != npos || (!s.empty() && s.back() == '>')) {
        direction = kForward;
    }
    const auto open = s.find('[');
    if (open == npos) return fail(s, "Edge pattern must contain brackets");
    const auto close = s.rfind(']');
    if (close == npos) return fail(s, "Edge pattern must contain closing bracket");
    if (close <= open) return fail(s, "Brackets are mismatched");

    ParsedEdge& edge = edges.emplace_back();
    read_body(s.substr(open + 1, close - open - 1), edge.variable, edge.schema);
    edge.direction.assign(direction);
    return std::nullopt;
}

std::optional<VoralixError> build_node(std::string_view token, std::vector<ParsedNode>& nodes)
{
    const auto s = trim(token);
    if (s.empty() || s.front() != '(' || s.back() != ')') {
        return fail(s, "Node pattern must be enclosed in parentheses");
    }
    if (nodes.empty()) nodes.reserve(2); // most paths have one or two nodes
    ParsedNode& node = nodes.emplace_back();
    read_body(s.substr(1, s.size() - 2), node.variable, node.schema);
    return std::nullopt;
}

std::string unexpected_character(std::string_view c)
{
    constexpr std::string_view head = "Unexpected character '";
    constexpr std::string_view tail = "' outside of node or edge pattern";
    std::string reason;
    reason.reserve(head.size() + c.size() + tail.size());
    reason.append(head).append(c).append(tail);
    return reason;
}

} // namespace

Result<ParsedPath> parse_path(std::string_view text)
{
    const std::string_view input = trim(text);
    if (input.empty()) return fail({}, "Pattern cannot be empty");

    ParsedPath path;
    std::optional<VoralixError> build_error; // first building failure, held back
    EdgeBuffer edge_buf(input);
    std::ptrdiff_t paren = 0;   // P: may go negative
    std::ptrdiff_t bracket = 0; // B: may go negative
    std::size_t node_start = 0; // offset of the "(" that started the current node

    for (std::size_t i = 0; i < input.size();) {
        std::size_t len = 1;
        switch (input[i]) {
        case '\t':
        case '\n':
        case '\r':
        case ' ':
            // Kept inside a node (node text is a view), kept inside brackets,
            // dropped between tokens.
            if (paren <= 0 && bracket > 0) edge_buf.append(i, 1);
            break;
        case '(':
            if (paren != 0 || bracket != 0) {
                ++paren;
                break;
            }
            // A new node starts: the edge text collected so far is complete.
            if (!edge_buf.empty()) {
                const auto edge_text = trim(edge_buf.text());
                if (!edge_text.empty() && !build_error) {
                    build_error = build_edge(edge_text, path.edges);
                }
            }
            edge_buf.clear();
            node_start = i;
            paren = 1;
            break;
        case ')':
            --paren;
            if (paren == 0 && bracket == 0 && !build_error) {
                build_error = build_node(input.substr(node_start, i + 1 - node_start), path.nodes);
            }
            break;
        case '-':
        case '<':
        case '>':
            if (paren == 0) edge_buf.append(i, 1);
            break;
        case '[':
            if (paren == 0) {
                ++bracket;
                edge_buf.append(i, 1);
            }
            break;
        case ']':
            if (paren == 0) {
                --bracket;
                edge_buf.append(i, 1);
            }
            break;
        default:
            len = sequence_length(input, i);
            if (paren > 0) break;
            if (bracket > 0) {
                edge_buf.append(i, len);
                break;
            }
            return VoralixError::invalid_pattern(std::string(input),
                                                 unexpected_character(input.substr(i, len)));
        }
        i += len;
    }

    if (paren != 0) return fail(input, "Unmatched parentheses in pattern");
    if (bracket != 0) return fail(input, "Unmatched brackets in pattern");
    if (!edge_buf.empty()) return fail(input, "Pattern cannot end with an edge");
    if (build_error) return std::move(*build_error);
    if (path.nodes.empty()) return fail(input, "Pattern must contain at least one node");
    if (path.edges.size() >= path.nodes.size()) {
        return fail(input, "Invalid pattern: too many edges for the number of nodes");
    }
    return path;
}

} // namespace voralix
