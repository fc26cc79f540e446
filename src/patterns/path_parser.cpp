// The pattern-string parser: trim, tokenize in one pass over the characters,
// then build node and edge descriptions from the tokens. Inside a node or an
// edge a quoted string is one piece of text: no character in it is structure,
// for the tokenizer or for any search of the building stage.
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

// Index just past the quoted string that opens at s[i], or npos when it is
// unterminated. A backslash hides the byte after it from the search.
std::size_t string_end(std::string_view s, std::size_t i) noexcept
{
    const char quote = s[i];
    for (++i; i < s.size(); ++i) {
        if (s[i] == '\\') {
            ++i;
        } else if (s[i] == quote) {
            return i + 1;
        }
    }
    return npos;
}

bool has_quote(std::string_view s) noexcept
{
    return s.find_first_of("'\"") != npos;
}

// Searches that skip quoted strings. A token holds only whole strings (the
// tokenizer checked), and `quoted` is false when it holds none, so quote-free
// text takes the plain search. Three searches need no skipping: an edge's
// first "[" comes before any string (strings start only inside brackets), no
// string follows its last "]", and a star inside a string is never followed
// by a valid quantifier (the closing quote is in the way).
std::size_t find_unquoted(std::string_view s, char c, bool quoted, std::size_t from = 0) noexcept
{
    if (!quoted) return s.find(c, from);
    const char targets[] = {c, '\'', '"'};
    for (std::size_t i = from;;) {
        i = s.find_first_of(std::string_view(targets, 3), i);
        if (i == npos || s[i] == c) return i;
        i = string_end(s, i);
        if (i == npos) return npos;
    }
}

bool contains_arrow(std::string_view s, bool quoted) noexcept
{
    if (!quoted) return s.find("->") != npos;
    for (std::size_t i = find_unquoted(s, '-', true); i != npos;
         i = find_unquoted(s, '-', true, i + 1)) {
        if (i + 1 < s.size() && s[i + 1] == '>') return true;
    }
    return false;
}

// The last code point of a non-empty text.
char32_t last_code_point(std::string_view s) noexcept
{
    std::size_t i = s.size() - 1;
    while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
    std::size_t len = 0;
    return decode_utf8(s, i, len);
}

// Reads "*n", "*n..m", "*n..", "*..m" or "*.." after a star: digits and ".."
// with optional white space around them. False when `rest` is not of that
// form; `too_large` is set for a bound above 2^64-1.
bool read_hop_bounds(std::string_view rest, HopRange& range, bool& too_large) noexcept
{
    std::size_t i = 0;
    auto skip_space = [&] {
        const auto lead = leading_white_space(rest.substr(i));
        i += lead;
    };
    auto read_bound = [&](std::uint64_t& value) {
        value = 0;
        bool any = false;
        for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) {
            const auto digit = static_cast<std::uint64_t>(rest[i] - '0');
            if (value > (UINT64_MAX - digit) / 10) too_large = true;
            value = value * 10 + digit;
            any = true;
        }
        skip_space();
        return any;
    };
    skip_space();
    std::uint64_t low = 0, high = 0;
    const bool has_low = read_bound(low);
    const bool has_range = rest.substr(i, 2) == "..";
    bool has_high = false;
    if (has_range) {
        i += 2;
        skip_space();
        has_high = read_bound(high);
    }
    if (i != rest.size() || (!has_low && !has_range)) return false;
    range.min = has_low ? low : 1;
    if (has_high) {
        range.max = high;
    } else if (!has_range) {
        range.max = low; // "*n" is exactly n hops
    }
    return true;
}

// Takes a quantifier off the end of an edge body's text (property block
// already removed). A star followed by bounds always counts; a bare final
// star counts when it is the whole text or directly follows the variable, or
// directly follows a name character that ends the type text ("knows*"). A
// star that is the whole type text or follows white space or an arrow stays
// the schema wildcard ("e:*", "e:A -> *", "e:A->*").
std::optional<std::string> read_quantifier(std::string_view& t, bool quoted,
                                           std::optional<HopRange>& hops)
{
    const auto star = t.rfind('*');
    if (star == npos) return std::nullopt;
    const auto before = t.substr(0, star);
    const auto rest = t.substr(star + 1);
    HopRange range;
    if (rest.empty()) {
        const auto colon = find_unquoted(t, ':', quoted);
        if (colon == npos) {
            if (!before.empty() && is_white_space(last_code_point(before))) return std::nullopt;
        } else if (trim(t.substr(colon + 1)) == "*" ||
                   !is_identifier_continue(last_code_point(before))) {
            return std::nullopt;
        }
    } else {
        bool too_large = false;
        if (!read_hop_bounds(rest, range, too_large)) return std::nullopt;
        if (too_large) return "Quantifier bound too large (maximum 18446744073709551615)";
    }
    hops = range;
    t = trim(before);
    return std::nullopt;
}

// Reads the inside of a node's parentheses or an edge's brackets:
// "name", "name:Type", ":Type", "name:$schema$", then for edges an optional
// quantifier, then an optional property block "{...}" that ends the body.
// Quoted strings are text: a colon, brace or star inside one means nothing.
// Returns the reason when the quantifier or the block is malformed.
std::optional<std::string> read_body(std::string_view t, std::optional<std::string>& variable,
                                     std::optional<std::string>& schema, PropertyBlock& properties,
                                     std::optional<HopRange>* hops)
{
    t = trim(t);
    if (t.empty()) return std::nullopt;
    const bool quoted = has_quote(t);
    std::string_view block;
    if (const auto brace = find_unquoted(t, '{', quoted); brace != npos) {
        block = t.substr(brace);
        t = trim(t.substr(0, brace));
    }
    if (hops != nullptr) {
        if (auto reason = read_quantifier(t, quoted, *hops)) return reason;
    }
    if (const auto colon = find_unquoted(t, ':', quoted); colon == npos) {
        if (!t.empty()) variable.emplace(t);
    } else {
        if (const auto name = trim(t.substr(0, colon)); !name.empty()) variable.emplace(name);
        const auto type = trim(t.substr(colon + 1));
        if (type.find('$') != npos) {
            schema.emplace(type);
        } else if (!type.empty()) {
            // A bare type text is wrapped into a schema: "Person" -> "$Person$".
            std::string& s = schema.emplace();
            s.reserve(type.size() + 2);
            s.push_back('$');
            s.append(type);
            s.push_back('$');
        }
    }
    if (block.empty()) return std::nullopt;
    return read_property_block(block, properties);
}

std::optional<VoralixError> build_edge(std::string_view token, std::vector<ParsedEdge>& edges)
{
    const auto s = trim(token);
    const bool quoted = has_quote(s);
    const bool leading_lt = !s.empty() && s.front() == '<';
    const bool arrow = contains_arrow(s, quoted);
    if (leading_lt && arrow) return fail(s, "Cannot have both <- and -> in same edge");
    // The whole edge text decides the direction, brackets' contents included.
    std::string_view direction = kAny;
    if (leading_lt && find_unquoted(s, '-', quoted) != npos) {
        direction = kBackward;
    } else if (arrow || (!s.empty() && s.back() == '>')) {
        direction = kForward;
    }
    const auto open = s.find('[');
    if (open == npos) return fail(s, "Edge pattern must contain brackets");
    const auto close = s.rfind(']');
    if (close == npos) return fail(s, "Edge pattern must contain closing bracket");
    if (close <= open) return fail(s, "Brackets are mismatched");

    ParsedEdge& edge = edges.emplace_back();
    if (auto reason = read_body(s.substr(open + 1, close - open - 1), edge.variable, edge.schema,
                                edge.properties, &edge.hops)) {
        return fail(s, *reason);
    }
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
    if (auto reason = read_body(s.substr(1, s.size() - 2), node.variable, node.schema,
                                node.properties, nullptr)) {
        return fail(s, *reason);
    }
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
        case '\'':
        case '"': {
            // A string inside a node or an edge is text up to its closing quote.
            if (paren <= 0 && bracket <= 0) {
                return VoralixError::invalid_pattern(std::string(input),
                                                     unexpected_character(input.substr(i, 1)));
            }
            const auto end = string_end(input, i);
            if (end == npos) return fail(input, "Unterminated string in pattern");
            len = end - i;
            if (paren <= 0) edge_buf.append(i, len);
            break;
        }
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
