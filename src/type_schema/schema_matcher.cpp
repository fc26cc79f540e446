// Compiling a schema text into match instructions, and matching them.
//
// Reading rules, applied to a text P (the whole trimmed schema, or "$" + X + "$"
// for a trimmed piece X cut out of it), first applicable rule wins:
//   wildcard      P is "$*$"
//   simple name   P is "$...$" with no "->", ":" or "(" : the name between the dollars
//   group         P is "$(...)$": name and sub-pattern around the first ":"
//   function      P contains "->": split at the first arrow at parenthesis depth 0
//   exact name    otherwise P itself is the variable name
// None of these tests looks at the type, so the text is read once. Every piece
// that is read again is "$" + (a trimmed range of the trimmed text) + "$", so a
// piece is held as a range plus a "wrapped" flag and no string is ever built.
#include "type_schema/schema_matcher.hpp"

#include "util/small_stack.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <unordered_map>

namespace voralix {

namespace {

constexpr std::size_t npos = static_cast<std::size_t>(-1);
constexpr std::size_t kReserveLimit = 64;

// Byte length of the White_Space character that starts at s[i], or 0. Works on
// raw bytes so that no input, valid UTF-8 or not, is read out of bounds; on
// valid UTF-8 it agrees with is_white_space.
std::size_t white_space_at(std::string_view s, std::size_t i) noexcept
{
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == 0x20 || (c >= 0x09 && c <= 0x0D)) return 1;
    const std::size_t left = s.size() - i;
    if (c == 0xC2) {
        if (left < 2) return 0;
        const auto c1 = static_cast<unsigned char>(s[i + 1]);
        return (c1 == 0x85 || c1 == 0xA0) ? 2 : 0;
    }
    if (c < 0xE1 || c > 0xE3 || left < 3) return 0;
    const auto c1 = static_cast<unsigned char>(s[i + 1]);
    const auto c2 = static_cast<unsigned char>(s[i + 2]);
    bool ws = false;
    if (c == 0xE1) {
        ws = c1 == 0x9A && c2 == 0x80; // U+1680
    } else if (c == 0xE2) {
        ws = (c1 == 0x80 && ((c2 >= 0x80 && c2 <= 0x8A) || c2 == 0xA8 || c2 == 0xA9 ||
                             c2 == 0xAF))   // U+2000..200A, U+2028, U+2029, U+202F
             || (c1 == 0x81 && c2 == 0x9F); // U+205F
    } else {
        ws = c1 == 0x80 && c2 == 0x80; // U+3000
    }
    return ws ? 3 : 0;
}

// Byte length of the White_Space character that ends just before s[end], or 0.
std::size_t white_space_before(std::string_view s, std::size_t end) noexcept
{
    const auto c = static_cast<unsigned char>(s[end - 1]);
    if (c == 0x20 || (c >= 0x09 && c <= 0x0D)) return 1;
    if (end >= 2 && static_cast<unsigned char>(s[end - 2]) == 0xC2 && (c == 0x85 || c == 0xA0))
        return 2;
    if (end >= 3 && white_space_at(s, end - 3) == 3) return 3;
    return 0;
}

struct Range {
    std::size_t b, e;
};

// Trims s[b, e). Each white-space run is stepped over at most twice during a
// whole compile (once from each side), so trimming stays linear overall.
Range trim_range(std::string_view s, std::size_t b, std::size_t e) noexcept
{
    while (b < e) {
        std::size_t n = white_space_at(s, b);
        if (n == 0 || b + n > e) break;
        b += n;
    }
    while (e > b) {
        std::size_t n = white_space_before(s, e);
        if (n == 0 || e - n < b) break;
        e -= n;
    }
    return {b, e};
}

bool arrow_at(std::string_view s, std::size_t i) noexcept
{
    return s[i] == '-' && i + 1 < s.size() && s[i + 1] == '>';
}

// Answers the questions the reading rules ask about ranges of the text. The
// first piece read is the whole text, and each of its questions is answered by
// one scan. Before any smaller piece is read, build() precomputes tables over
// the text so that every later question costs O(1) or O(log n): without them a
// text of deeply nested groups or arrows would be rescanned at every level.
//
// U is the position type: 32 bits for every realistic text, 64 bits beyond.
template <class U>
class TextIndex {
public:
    explicit TextIndex(std::string_view s) noexcept : s_(s) {}

    // First arrow ("-" directly followed by ">", both inside) in s[b, e).
    std::size_t find_arrow(std::size_t b, std::size_t e) const noexcept
    {
        if (e - b < 2) return npos;
        if (built_) {
            std::size_t p = next_arrow_[b];
            return p + 1 < e ? p : npos;
        }
        for (std::size_t p = b; p + 1 < e; ++p)
            if (s_[p] == '-' && s_[p + 1] == '>') return p;
        return npos;
    }
    std::size_t find_colon(std::size_t b, std::size_t e) const noexcept
    {
        return find_byte(next_colon_, ':', b, e);
    }
    std::size_t find_open(std::size_t b, std::size_t e) const noexcept
    {
        return find_byte(next_open_, '(', b, e);
    }

    // First arrow in s[b, e) at which the parenthesis depth counted from b
    // ("(" adds one, ")" subtracts one, may go negative) is exactly 0.
    std::size_t find_split(std::size_t b, std::size_t e) const noexcept
    {
        if (built_) {
            // Depth from b at p is depth_[p] - depth_[b]: look for the first
            // arrow at or after b among those with the same absolute depth.
            const U key = depth_[b];
            const U* first = arrows_ + depth_start_[key];
            const U* last = arrows_ + depth_start_[key + 1];
            const U* it = std::lower_bound(first, last, static_cast<U>(b));
            if (it == last) return npos;
            std::size_t p = *it;
            return p + 1 < e ? p : npos;
        }
        std::ptrdiff_t depth = 0;
        for (std::size_t p = b; p < e; ++p) {
            const char c = s_[p];
            if (c == '(') {
                ++depth;
            } else if (c == ')') {
                --depth;
            } else if (c == '-' && depth == 0 && p + 1 < e && s_[p + 1] == '>') {
                return p;
            }
        }
        return npos;
    }

    void build()
    {
        if (built_) return;
        built_ = true;
        const std::size_t n = s_.size();
        // Depth range and arrow count decide the table sizes.
        std::ptrdiff_t depth = 0, lo = 0, hi = 0;
        std::size_t arrow_count = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (s_[i] == '(') {
                hi = std::max(hi, ++depth);
            } else if (s_[i] == ')') {
                lo = std::min(lo, --depth);
            } else if (arrow_at(s_, i)) {
                ++arrow_count;
            }
        }
        const auto depths = static_cast<std::size_t>(hi - lo) + 1;
        const std::size_t words = 4 * (n + 1) + (depths + 1) + arrow_count;
        U* base = inline_;
        if (words > kInlineWords) {
            heap_.resize(words);
            base = heap_.data();
        }
        next_arrow_ = base;
        next_colon_ = next_arrow_ + (n + 1);
        next_open_ = next_colon_ + (n + 1);
        depth_ = next_open_ + (n + 1);
        depth_start_ = depth_ + (n + 1);
        arrows_ = depth_start_ + (depths + 1);

        // Next occurrence tables, n meaning "none".
        next_arrow_[n] = next_colon_[n] = next_open_[n] = static_cast<U>(n);
        for (std::size_t i = n; i-- > 0;) {
            next_arrow_[i] = arrow_at(s_, i) ? static_cast<U>(i) : next_arrow_[i + 1];
            next_colon_[i] = s_[i] == ':' ? static_cast<U>(i) : next_colon_[i + 1];
            next_open_[i] = s_[i] == '(' ? static_cast<U>(i) : next_open_[i + 1];
        }
        // Absolute depth before each position, shifted to be non-negative.
        depth = -lo;
        for (std::size_t i = 0; i < n; ++i) {
            depth_[i] = static_cast<U>(depth);
            if (s_[i] == '(')
                ++depth;
            else if (s_[i] == ')')
                --depth;
        }
        depth_[n] = static_cast<U>(depth);
        // Arrows bucketed by depth, ascending within each bucket (counting sort):
        // bucket k is arrows_[depth_start_[k], depth_start_[k + 1]).
        std::fill(depth_start_, depth_start_ + depths + 1, U{0});
        for (std::size_t i = 0; i + 1 < n; ++i)
            if (arrow_at(s_, i)) ++depth_start_[depth_[i] + 1];
        for (std::size_t k = 0; k < depths; ++k) depth_start_[k + 1] += depth_start_[k];
        // Fill using depth_start_[k] as the cursor of bucket k; afterwards it
        // holds the end of bucket k, so shift back by one bucket.
        for (std::size_t i = 0; i + 1 < n; ++i)
            if (arrow_at(s_, i)) arrows_[depth_start_[depth_[i]]++] = static_cast<U>(i);
        for (std::size_t k = depths; k > 0; --k) depth_start_[k] = depth_start_[k - 1];
        depth_start_[0] = 0;
    }

private:
    std::size_t find_byte(const U* table, char c, std::size_t b, std::size_t e) const noexcept
    {
        if (built_) {
            std::size_t p = table[b];
            return p < e ? p : npos;
        }
        std::size_t p = s_.substr(b, e - b).find(c);
        return p == std::string_view::npos ? npos : b + p;
    }

    // Short texts (the common "$Person$", "$A -> B$") need no heap allocation.
    static constexpr std::size_t kInlineWords = 384;

    std::string_view s_;
    bool built_ = false;
    U* next_arrow_ = nullptr;
    U* next_colon_ = nullptr;
    U* next_open_ = nullptr;
    U* depth_ = nullptr;
    U* depth_start_ = nullptr;
    U* arrows_ = nullptr;
    U inline_[kInlineWords];
    std::vector<U> heap_;
};

} // namespace

CompiledSchema::CompiledSchema(std::string_view text)
{
    Range r = trim_range(text, 0, text.size());
    text_.assign(text.substr(r.b, r.e - r.b));
    if (text_.size() < std::numeric_limits<std::uint32_t>::max()) {
        TextIndex<std::uint32_t> index(text_);
        compile(index);
    } else {
        TextIndex<std::uint64_t> index(text_);
        compile(index);
    }
    number_capture_names();
}

template <class Index>
void CompiledSchema::compile(Index& index)
{
    // A piece still to read: text_[b, e), with "$" around it when wrapped. Its
    // node is appended when it is read; `parent` names a Function node whose
    // right child it is (the left child and a capture's child are always read
    // right after their parent, so they sit at parent + 1).
    struct Piece {
        std::size_t b, e, parent;
        bool wrapped;
    };
    const std::string_view s = text_;
    // A function type adds two nodes per arrow and a group one per colon, so
    // this bound lets a short schema compile with a single allocation.
    std::size_t bound = 1;
    for (std::size_t i = 0; i < s.size() && bound <= kReserveLimit; ++i)
        bound += s[i] == ':' ? 1 : arrow_at(s, i) ? 2 : 0;
    nodes_.reserve(std::min(bound, kReserveLimit));
    SmallStack<Piece, 16> pieces;
    pieces.push({0, s.size(), npos, false});
    bool first = true;
    auto add = [this](Kind kind, std::size_t a = 0, std::size_t b = 0, bool wrapped = false) {
        Node n;
        n.kind = kind;
        n.a = a;
        n.b = b;
        n.wrapped = wrapped;
        nodes_.push_back(n);
    };

    while (!pieces.empty()) {
        const Piece p = pieces.pop();
        if (!first) index.build(); // no-op after the first time
        first = false;
        const std::size_t self = nodes_.size();
        if (p.parent != npos) nodes_[p.parent].c = self;
        const std::size_t b = p.b, e = p.e, len = e - b;
        const bool w = p.wrapped;
        const std::string_view body = s.substr(b, len);

        // Wildcard: the whole text is "$*$".
        if (w ? body == "*" : body == "$*$") {
            add(Kind::Wildcard);
            continue;
        }

        // Simple name: "$I$" without "->", ":" or "(". I is not trimmed. (I == "*"
        // would mean the text is "$*$", taken above.)
        const bool dollars = w || (len >= 1 && s[b] == '$' && s[e - 1] == '$');
        if (dollars && index.find_open(b, e) == npos && index.find_colon(b, e) == npos &&
            index.find_arrow(b, e) == npos) {
            if (!w && len == 1) {
                add(Kind::Never); // a lone "$" has no inner text: it matches nothing
            } else if (w) {
                add(Kind::Name, b, e);
            } else {
                add(Kind::Name, b + 1, e - 1);
            }
            continue;
        }

        // Capture group: "$(I)$", split at the first colon of I.
        const bool group =
            w ? (len >= 2 && s[b] == '(' && s[e - 1] == ')')
              : (len >= 4 && s[b] == '$' && s[b + 1] == '(' && s[e - 2] == ')' && s[e - 1] == '$');
        if (group) {
            const std::size_t ib = w ? b + 1 : b + 2, ie = w ? e - 1 : e - 2;
            const std::size_t colon = index.find_colon(ib, ie);
            if (colon == npos) {
                add(Kind::Never);
                continue;
            }
            const Range name = trim_range(s, ib, colon);
            const Range sub = trim_range(s, colon + 1, ie);
            add(Kind::Capture, name.b, name.e);
            pieces.push({sub.b, sub.e, npos, true});
            continue;
        }

        // Function type: strip one pair of dollars, then one pair of parentheses
        // (they need not belong together), then split at the first arrow at depth 0.
        if (index.find_arrow(b, e) != npos) {
            std::size_t rb = b, re = e;
            if (!w && s[rb] == '$' && s[re - 1] == '$') { // len >= 2: it holds an arrow
                ++rb;
                --re;
            }
            if (re - rb >= 2 && s[rb] == '(' && s[re - 1] == ')') {
                ++rb;
                --re;
            }
            const std::size_t split = index.find_split(rb, re);
            if (split == npos) {
                add(Kind::Never);
                continue;
            }
            const Range left = trim_range(s, rb, split);
            const Range right = trim_range(s, split + 2, re);
            add(Kind::Function);
            pieces.push({right.b, right.e, self, true});
            pieces.push({left.b, left.e, npos, true});
            continue;
        }

        // Exact name: the whole text, dollar signs included.
        add(Kind::Name, b, e, w);
    }
}

void CompiledSchema::number_capture_names()
{
    // Equal names share an id so that capture() can replace an earlier entry
    // in O(1). A few groups are compared pairwise without allocating; many go
    // through a hash map.
    constexpr std::size_t kFew = 16;
    std::size_t group_count = 0;
    for (const Node& n : nodes_) group_count += n.kind == Kind::Capture;
    if (group_count <= kFew) {
        std::size_t seen[kFew];
        std::size_t k = 0;
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            Node& g = nodes_[i];
            if (g.kind != Kind::Capture) continue;
            g.c = name_count_;
            for (std::size_t j = 0; j < k; ++j) {
                const Node& h = nodes_[seen[j]];
                if (slice(h) == slice(g)) {
                    g.c = h.c;
                    break;
                }
            }
            if (g.c == name_count_) ++name_count_;
            seen[k++] = i;
        }
        return;
    }
    std::unordered_map<std::string_view, std::size_t> ids;
    ids.reserve(group_count);
    for (Node& g : nodes_) {
        if (g.kind != Kind::Capture) continue;
        auto [it, fresh] = ids.try_emplace(slice(g), name_count_);
        if (fresh) ++name_count_;
        g.c = it->second;
    }
}

bool CompiledSchema::name_matches(const Node& n, const TypeNode* t) const noexcept
{
    if (t->kind != TypeKind::Variable) return false;
    const std::string_view name = static_cast<const VariableNode*>(t)->name;
    const std::string_view want = slice(n);
    if (!n.wrapped) return name == want;
    return name.size() == want.size() + 2 && name.front() == '$' && name.back() == '$' &&
           name.substr(1, want.size()) == want;
}

bool CompiledSchema::matches(const Type& t) const
{
    if (!t) return false;
    // Pending right sides of function types; the left side is walked at once.
    struct Pending {
        std::size_t node;
        const TypeNode* type;
    };
    SmallStack<Pending> pending;
    std::size_t i = 0;
    const TypeNode* type = t.node();
    for (;;) {
        const Node& n = nodes_[i];
        switch (n.kind) {
        case Kind::Wildcard: break;
        case Kind::Never: return false;
        case Kind::Name:
            if (!name_matches(n, type)) return false;
            break;
        case Kind::Capture: ++i; continue;
        case Kind::Function: {
            if (type->kind != TypeKind::Application) return false;
            const auto* app = static_cast<const ApplicationNode*>(type);
            pending.push({n.c, app->right});
            ++i;
            type = app->left;
            continue;
        }
        }
        if (pending.empty()) return true;
        const Pending next = pending.pop();
        i = next.node;
        type = next.type;
    }
}

bool CompiledSchema::capture(const Type& t, CaptureList& out) const
{
    out.clear();
    if (name_count_ == 0) return matches(t);
    if (!t) return false;
    // As in matches(), plus one entry per capture group that records its match
    // once everything inside it has matched: captures are written in post-order,
    // inner groups and left sides first.
    struct Pending {
        std::size_t node;
        const TypeNode* type;
        bool record;
    };
    SmallStack<Pending> pending;
    std::vector<std::size_t> slot(name_count_, npos); // name id -> index in `out`
    std::size_t i = 0;
    const TypeNode* type = t.node();
    auto fail = [&out] {
        out.clear();
        return false;
    };
    for (;;) {
        const Node& n = nodes_[i];
        switch (n.kind) {
        case Kind::Wildcard: break;
        case Kind::Never: return fail();
        case Kind::Name:
            if (!name_matches(n, type)) return fail();
            break;
        case Kind::Capture:
            pending.push({i, type, true});
            ++i;
            continue;
        case Kind::Function: {
            if (type->kind != TypeKind::Application) return fail();
            const auto* app = static_cast<const ApplicationNode*>(type);
            pending.push({n.c, app->right, false});
            ++i;
            type = app->left;
            continue;
        }
        }
        for (;;) {
            if (pending.empty()) return true;
            const Pending next = pending.pop();
            if (!next.record) {
                i = next.node;
                type = next.type;
                break;
            }
            const Node& g = nodes_[next.node];
            std::size_t& at = slot[g.c];
            if (at == npos) {
                at = out.size();
                out.emplace_back(std::string(slice(g)), Type::share(next.type));
            } else {
                out[at].second = Type::share(next.type);
            }
        }
    }
}

} // namespace voralix
