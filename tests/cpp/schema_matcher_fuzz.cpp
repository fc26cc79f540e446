// Differential fuzz test of CompiledSchema against a literal, string-building,
// recursive reading of the schema rules, plus fixed cases, deep inputs and
// allocation checks.
//
// Built with the sanitizer variant (CMake option VORALIX_SANITIZE, as
// `make test-asan` does, which also runs it); by hand:
//   build/asan/schema_matcher_fuzz [iterations] [seed] [depth]
#include "type_schema/schema_matcher.hpp"
#include "util/unicode.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

// Counts heap allocations so that the tests can check which paths allocate.
static std::size_t g_allocations = 0;
void* operator new(std::size_t n)
{
    ++g_allocations;
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace voralix;

int g_failures = 0;

#define CHECK(cond, ...)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            ++g_failures;                                                                     \
            std::fprintf(stderr, "%s:%d: CHECK(%s) failed: ", __FILE__, __LINE__, #cond);    \
            std::fprintf(stderr, __VA_ARGS__);                                                \
            std::fputc('\n', stderr);                                                         \
        }                                                                                     \
    } while (0)

Type V(std::string name) { return Type::variable(std::move(name)); }
Type F(const Type& l, const Type& r) { return Type::application(l, r); }

// ---------------------------------------------------------------------------
// The oracle: the rules read literally, building every sub-text as a string.

void put(CaptureList& m, const std::string& name, const Type& t)
{
    for (auto& entry : m) {
        if (entry.first == name) {
            entry.second = t;
            return;
        }
    }
    m.emplace_back(name, t);
}

bool oracle_rec(std::string_view text, const Type& t, CaptureList& m)
{
    // 1. Trim.
    const std::string p(trim(text));
    // 2. Wildcard.
    if (p == "$*$") return true;
    const bool has_arrow = p.find("->") != std::string::npos;
    // 3. Simple variable.
    if (p.starts_with('$') && p.ends_with('$') && !has_arrow &&
        p.find(':') == std::string::npos && p.find('(') == std::string::npos) {
        if (p.size() == 1) return false; // the lone "$": no inner text
        const std::string inner = p.substr(1, p.size() - 2);
        if (inner == "*") return true;
        return t.is_variable() && t.name() == inner;
    }
    // 4. Capture group.
    if (p.starts_with("$(") && p.ends_with(")$")) {
        const std::string inner = p.substr(2, p.size() - 4);
        const std::size_t colon = inner.find(':');
        if (colon == std::string::npos) return false;
        const std::string name(trim(std::string_view(inner).substr(0, colon)));
        const std::string sub(trim(std::string_view(inner).substr(colon + 1)));
        if (!oracle_rec("$" + sub + "$", t, m)) return false;
        put(m, name, t);
        return true;
    }
    // 5. Function type.
    if (has_arrow) {
        std::string r = p;
        if (r.starts_with('$') && r.ends_with('$')) r = r.substr(1, r.size() - 2);
        if (r.starts_with('(') && r.ends_with(')')) r = r.substr(1, r.size() - 2);
        long depth = 0;
        std::size_t split = std::string::npos;
        for (std::size_t i = 0; i < r.size(); ++i) {
            if (r[i] == '(') {
                ++depth;
            } else if (r[i] == ')') {
                --depth;
            } else if (r[i] == '-' && i + 1 < r.size() && r[i + 1] == '>' && depth == 0) {
                split = i;
                break;
            }
        }
        if (split == std::string::npos) return false;
        const std::string left(trim(std::string_view(r).substr(0, split)));
        const std::string right(trim(std::string_view(r).substr(split + 2)));
        if (!t.is_application()) return false;
        if (!oracle_rec("$" + left + "$", t.left(), m)) return false;
        return oracle_rec("$" + right + "$", t.right(), m);
    }
    // 6. Exact name.
    return t.is_variable() && t.name() == p;
}

bool oracle(std::string_view text, const Type& t, CaptureList& out)
{
    out.clear();
    const bool ok = oracle_rec(text, t, out);
    if (!ok) out.clear();
    return ok;
}

// ---------------------------------------------------------------------------

std::string show(const CaptureList& m)
{
    std::string s = "{";
    for (const auto& [name, type] : m) s += "\"" + name + "\": " + type.text() + ", ";
    return s + "}";
}

bool same(const CaptureList& a, const CaptureList& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].first != b[i].first || !(a[i].second == b[i].second)) return false;
    return true;
}

// Compares the compiled matcher with the oracle on one text and one type.
void compare(const CompiledSchema& schema, std::string_view text, const Type& t)
{
    CaptureList want, got;
    const bool expect = oracle(text, t, want);
    const bool matched = schema.matches(t);
    const bool captured = schema.capture(t, got);
    CHECK(matched == expect, "text [%.*s] type %s: matches %d, oracle %d", int(text.size()),
          text.data(), t.text().c_str(), matched, expect);
    CHECK(captured == expect, "text [%.*s] type %s: capture %d, oracle %d",
          int(text.size()), text.data(), t.text().c_str(), captured, expect);
    CHECK(same(got, want), "text [%.*s] type %s: captures %s, oracle %s", int(text.size()),
          text.data(), t.text().c_str(), show(got).c_str(), show(want).c_str());
}

// Expected results stated by hand, checked against both implementations so
// that the oracle itself is held to the rules.
void expect(std::string_view text, const Type& t, bool result, const CaptureList& captures = {})
{
    CompiledSchema schema(text);
    CaptureList got;
    CHECK(schema.matches(t) == result, "text [%.*s] type %s: expected %d", int(text.size()),
          text.data(), t.text().c_str(), result);
    CHECK(schema.capture(t, got) == result && same(got, captures),
          "text [%.*s] type %s: captures %s", int(text.size()), text.data(),
          t.text().c_str(), show(got).c_str());
    CaptureList o;
    CHECK(oracle(text, t, o) == result && same(o, captures), "oracle disagrees on [%.*s] %s",
          int(text.size()), text.data(), t.text().c_str());
}

void test_documented_cases()
{
    const Type A = V("A"), B = V("B"), C = V("C"), AB = F(A, B);
    const Type A_BC = F(A, F(B, C)), AB_C = F(AB, C);

    // Wildcard, and "*" without dollars as a plain name.
    expect("$*$", A, true);
    expect("$*$", AB, true);
    expect("*", A, false);
    expect("*", V("*"), true);
    expect("*", AB, false);
    expect(" \u3000$*$\u00A0", AB, true);

    // Names: inner spaces kept, outer spaces trimmed, dollars optional.
    expect("$Person$", V("Person"), true);
    expect("$Person$", V("person"), false);
    expect("$Person$", F(V("Person"), V("Person")), false);
    expect("$ Person $", V("Person"), false);
    expect("$ Person $", V(" Person "), true);
    expect("  $Person$\t\n", V("Person"), true);
    expect("Person", V("Person"), true);
    expect("\u2003Person\u205F", V("Person"), true);

    // Function types, right associative; parentheses only group via captures.
    for (const char* text : {"$A -> B$", "$A->B$", "$ A -> B $", "A -> B", "(A -> B)"})
        expect(text, AB, true);
    expect("$A -> B$", A, false);
    expect("$A -> B -> C$", A_BC, true);
    expect("$A -> B -> C$", AB_C, false);
    expect("$(A -> B) -> C$", AB_C, false);
    expect("$(A -> B) -> C$", A_BC, false);
    expect("$(f:A -> B) -> C$", AB_C, true, {{"f", AB}});
    expect("$* -> *$", AB, true);
    expect("$* -> *$", A_BC, true);
    expect("$* -> *$", A, false);
    expect("$é -> B$", F(V("é"), B), true);
    expect("$A\u3000->\u00A0B$", AB, true);

    // Groups: trimmed name and sub-pattern, empty name, no colon, failure.
    expect("$(x:*)$", A, true, {{"x", A}});
    expect("$( x : * )$", A, true, {{"x", A}});
    expect("$(:*)$", AB, true, {{"", AB}});
    expect("$(A)$", A, false);
    expect("$(x:A)$", B, false);
    // The first colon splits; later colons belong to the sub-pattern.
    expect("$(x:y:A)$", V("$y:A$"), true, {{"x", V("$y:A$")}});

    // "$(x:*) -> $(y:*)$" is one group named x with sub-pattern "*) -> $(y:*".
    for (const Type& t : {A, AB, F(F(A, B), F(B, C)), V("*) -> $(y:*")})
        expect("$(x:*) -> $(y:*)$", t, false);
    expect("$ (x:*) -> (y:*) $", AB, true, {{"x", A}, {"y", B}});

    // Capture order: inner groups before outer, input side before output side,
    // a repeated name replaces its value where it was first written.
    expect("$(outer:(inner:*) -> *)$", AB, true, {{"inner", A}, {"outer", AB}});
    const Type A_B_C_D = F(A, F(B, F(C, V("D"))));
    expect("$ (a:*) -> (b:*) -> (c:*) -> *$", A_B_C_D, true, {{"a", A}, {"b", B}, {"c", C}});
    expect("$ (x:*) -> (y:*) -> (x:*) -> *$", A_B_C_D, true, {{"x", C}, {"y", B}});
    // A right side that begins with "(" and ends with ")" is read as one group:
    // "(b:*) -> (c:*)" is the group b with sub-pattern "*) -> (c:*", which fails.
    expect("$ (a:*) -> (b:*) -> (c:*) $", A_BC, false);
    expect("$ (a:*) -> (b:* -> (c:*)) $", A_BC, true, {{"a", A}, {"c", C}, {"b", F(B, C)}});
    // A failure after a successful group reports nothing.
    expect("$ (x:*) -> B $", F(A, C), false);

    // Empty, white-space-only and "$$" texts match only the empty name.
    for (const char* text : {"", " \t\u3000", "$$", " $$ "}) {
        expect(text, V(""), true);
        expect(text, V("A"), false);
        expect(text, AB, false);
    }
    // The lone dollar matches nothing (not even a variable named "$" or "").
    for (const Type& t : {V("$"), V(""), AB}) expect(" $ ", t, false);

    // Step 3 does not trim its inner text, step 6 keeps stray dollars.
    expect("$A", V("$A"), true);
    expect("A$", V("A$"), true);
    expect("$$A$$", V("$A$"), true);
    expect("$ab:c$", V("$ab:c$"), true);
    expect("$ab:c$", V("ab:c"), false);
    expect("$a(b$", V("$a(b$"), true);
    // Sides are re-wrapped in dollars: a side "$x" becomes "$$x$".
    expect("$$x -> B$", F(V("$x"), B), true);
    expect("$a:b -> c$", F(V("$a:b$"), V("c")), true);

    // Function-type edge cases: empty sides, no split point, negative depth,
    // "-->" (the arrow starts at the second dash), unbalanced outer parentheses.
    expect("$ -> $", F(V(""), V("")), true);
    expect("$->$", F(V(""), V("")), true);
    expect("$(A -> B$", AB, false);           // depth 1 at the arrow
    expect("$A) -> (B$", F(V("$A)$"), V("$(B$")), false); // ")" then depth -1
    expect("$A) -> B$", F(V("$A)$"), B), false);
    expect("A --> B", F(V("$A -$"), B), false);
    expect("A --> B", F(V("A -"), B), true);
    expect("(A) -> (B)", F(V("A) -> (B"), B), false);
    // The outer pair is stripped even though it does not belong together,
    // leaving a right side "B) -> (C" that has no split point.
    expect("(A -> B) -> (C)", F(A, V("$B) -> (C$")), false);
    expect("(A -> B) -> (C)", F(A, F(B, C)), false);
    expect("(x:A) -> B", AB, true, {{"x", A}});
    expect("$:) -> x$", F(V("$:)$"), V("x")), false); // ")" makes depth -1
}

void test_many_groups_and_names()
{
    // More than the small-count limit of distinct names: the compiled schema
    // switches to hashed name ids, order and replacement must not change.
    std::string text = "$";
    Type t = V("leaf");
    for (int i = 0; i < 40; ++i) {
        text += "(n" + std::to_string(i % 25) + ":* ) -> ";
        t = F(V(std::to_string(i)), t);
    }
    text += "*$";
    // Right-nested: the outermost arrow is written first.
    Type full = V("leaf");
    std::vector<Type> inputs;
    for (int i = 39; i >= 0; --i) inputs.push_back(V(std::to_string(i)));
    CaptureList want;
    for (int i = 0; i < 40; ++i) put(want, "n" + std::to_string(i % 25), inputs[i]);
    CompiledSchema schema(text);
    CaptureList got;
    CHECK(schema.capture(t, got) && same(got, want), "40 groups: %s", show(got).c_str());
    compare(schema, text, t);
}

// ---------------------------------------------------------------------------
// Random inputs.

// Text pieces: the schema syntax, names, white space in every UTF-8 length,
// and non-space neighbours of the white-space code points.
const std::vector<std::string> kPieces = {
    "$", "*", "(", ")", ":", "-", ">", " ", "A", "B", "x", "é", "->", "$(", ")$", "\t",
    "\u0085", "\u00A0", "\u1680", "\u2009", "\u200A", "\u202F", "\u205F", "\u3000",
    "\u00A1", "\u200B", "\u202B", "\u2060", "\u3001", "\u180E", "\u1681"};
const std::vector<std::string> kNames = {"A", "B", "x", "", "*", "$", "é", " A", "$A$", "(", ":"};
const std::vector<std::string> kSpaces = {"",       "",       "",   " ",     "  ",
                                          "\u00A0", "\u3000", "\t", "\u2028"};

struct Fuzzer {
    std::mt19937_64 rng;
    explicit Fuzzer(std::uint64_t seed) : rng(seed) {}

    std::size_t below(std::size_t n)
    {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng); }
    const std::string& pick(const std::vector<std::string>& v) { return v[below(v.size())]; }

    std::string name()
    {
        if (chance(0.7)) return pick({"A", "B", "x"});
        std::string s;
        for (std::size_t i = below(4); i > 0; --i) s += pick(chance(0.5) ? kNames : kPieces);
        return s;
    }
    Type type(int depth)
    {
        if (depth <= 0 || chance(0.4)) return V(name());
        return F(type(depth - 1), type(depth - 1));
    }
    std::string random_text()
    {
        std::string s;
        for (std::size_t i = below(24); i > 0; --i) s += pick(kPieces);
        return s;
    }
    // A schema text written to match `t` in one of several ways.
    std::string side(const Type& t, int budget)
    {
        const std::string& sp = pick(kSpaces);
        if (chance(0.12)) return "*";
        if (chance(0.05)) return "$" + side(t, budget - 1) + "$";
        if (chance(0.2) && budget > 0)
            return "(" + sp + name() + sp + ":" + pick(kSpaces) + side(t, budget - 1) + ")";
        if (t.is_variable()) return std::string(t.name());
        std::string left = side(t.left(), budget - 1);
        if (t.left().is_application() && left != "*" && !left.starts_with('('))
            left = "(" + name() + ":" + left + ")";
        const std::string arrow = chance(0.8) ? "->" : "-->";
        return left + sp + arrow + pick(kSpaces) + side(t.right(), budget - 1);
    }
    std::string schema_for(const Type& t)
    {
        std::string body = side(t, 6);
        if (chance(0.85)) body = "$" + pick(kSpaces) + body + pick(kSpaces) + "$";
        return pick(kSpaces) + body + pick(kSpaces);
    }
    // Inserts or removes a piece at a character boundary.
    std::string mutate(std::string s)
    {
        std::vector<std::size_t> cuts;
        for (std::size_t i = 0; i <= s.size(); ++i)
            if (i == s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
                cuts.push_back(i);
        const std::size_t at = cuts[below(cuts.size())];
        if (chance(0.5) || at == s.size()) return s.insert(at, pick(kPieces));
        std::size_t end = at + 1;
        while (end < s.size() && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) ++end;
        return s.erase(at, end - at);
    }
};

void collect_subtypes(const Type& t, std::vector<Type>& out)
{
    out.push_back(t);
    if (t.is_application()) {
        collect_subtypes(t.left(), out);
        collect_subtypes(t.right(), out);
    }
}

void test_random(std::size_t iterations, std::uint64_t seed)
{
    Fuzzer fz(seed);
    std::size_t matched = 0, compared = 0;
    for (std::size_t it = 0; it < iterations; ++it) {
        const Type t = fz.type(4);
        std::string text;
        switch (fz.below(3)) {
        case 0: text = fz.random_text(); break;
        case 1: text = fz.schema_for(t); break;
        default: {
            text = fz.schema_for(t);
            for (std::size_t k = 1 + fz.below(3); k > 0; --k) text = fz.mutate(text);
        }
        }
        // Long texts take the table-driven path of the compiler.
        if (fz.chance(0.05)) {
            const Type big = F(fz.type(3), F(fz.type(3), F(fz.type(3), t)));
            const std::string long_text = "$" + fz.side(big, 12) + std::string(200, ' ') + "$";
            CompiledSchema schema(long_text);
            compare(schema, long_text, big);
            compare(schema, long_text, t);
        }
        CompiledSchema schema(text);
        std::vector<Type> types;
        collect_subtypes(t, types);
        types.push_back(fz.type(3));
        for (const Type& u : types) {
            compare(schema, text, u);
            matched += schema.matches(u);
            ++compared;
        }
        if (g_failures > 20) break;
    }
    std::printf("random: %zu texts, %zu comparisons, %zu matches\n", iterations, compared, matched);
}

// ---------------------------------------------------------------------------
// Deep and long inputs: near-linear time, no recursion.

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Sanitizers slow everything down several times over; the limits are there to
// catch quadratic work, which a constant factor leaves plain to see.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kSlowdown = 10;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr double kSlowdown = 10;
#else
constexpr double kSlowdown = 1;
#endif
#else
constexpr double kSlowdown = 1;
#endif

void timed(const char* what, double limit, const auto& body)
{
    const auto start = std::chrono::steady_clock::now();
    body();
    const double took = seconds_since(start);
    std::printf("%-44s %.3f s\n", what, took);
    CHECK(took < limit * kSlowdown, "%s took %.3f s", what, took);
}

std::string repeat(std::string_view s, std::size_t n)
{
    std::string out;
    out.reserve(s.size() * n);
    for (std::size_t i = 0; i < n; ++i) out += s;
    return out;
}

void test_deep(std::size_t n)
{
    const Type A = V("A");

    // "$(x:" * n + "*" + ")$" * n: one group whose sub-pattern keeps its
    // dollars, so it is read as an exact (odd) variable name.
    timed("dollar-nested groups", 1.0, [&] {
        const std::string inner = repeat("$(x:", n - 1) + "*" + repeat(")$", n - 1);
        CompiledSchema schema(repeat("$(x:", n) + "*" + repeat(")$", n));
        CaptureList got;
        CHECK(!schema.matches(A), "dollar-nested groups matched A");
        const Type odd = V("$" + inner + "$");
        CHECK(schema.capture(odd, got) && got.size() == 1 && got[0].second == odd,
              "dollar-nested groups: %zu captures", got.size());
    });

    // "$" + "(x:" * n + "*" + ")" * n + "$": n truly nested groups, one name.
    timed("nested groups", 1.0, [&] {
        CompiledSchema schema("$" + repeat("(x:", n) + "*" + repeat(")", n) + "$");
        CaptureList got;
        CHECK(schema.matches(A), "nested groups did not match");
        CHECK(schema.capture(F(A, A), got) && got.size() == 1 && got[0].second == F(A, A),
              "nested groups: %zu captures", got.size());
    });

    // Right-nested arrows against a matching right-nested type.
    Type right = A;
    for (std::size_t i = 0; i < n; ++i) right = F(A, right);
    timed("right-nested arrows", 1.0, [&] {
        CompiledSchema schema("$" + repeat("A -> ", n) + "A$");
        CHECK(schema.matches(right), "right-nested arrows did not match");
        CHECK(!schema.matches(F(A, A)), "right-nested arrows matched a short type");
    });
    timed("right-nested arrows, 1,000,000 chars", 1.0, [&] {
        CompiledSchema schema(" $" + repeat("A->", 333333) + "A$ ");
        Type t = A;
        for (int i = 0; i < 333333; ++i) t = F(A, t);
        CHECK(schema.matches(t), "1M-char arrows did not match");
    });

    // Left-nested function types need a group per level: every split has to
    // skip the whole input side, which the depth tables answer directly.
    Type left = F(A, A);
    for (std::size_t i = 1; i < n; ++i) left = F(left, A);
    timed("left-nested arrows through groups", 1.0, [&] {
        // S1 = "A -> A", S(k+1) = "(f<k>:" + S(k) + ") -> A".
        std::string text;
        for (std::size_t k = n - 1; k >= 1; --k) text += "(f" + std::to_string(k) + ":";
        text += "A -> A";
        for (std::size_t k = 1; k < n; ++k) text += ") -> A";
        CompiledSchema schema("$" + text + "$");
        CaptureList got;
        CHECK(schema.capture(left, got), "left-nested arrows did not match");
        // Innermost group first; each captured (a share of) the input side of
        // its level. Compared by identity: structural equality of each pair
        // would make the check itself quadratic.
        std::vector<const TypeNode*> levels; // levels[k - 1]: the k-th innermost
        for (Type t = left; t.is_application(); t = t.left()) levels.push_back(t.node());
        bool order = got.size() == n - 1 && levels.size() == n;
        for (std::size_t k = 1; order && k < n; ++k)
            order = got[k - 1].first == "f" + std::to_string(k) &&
                    got[k - 1].second.node() == levels[n - k];
        CHECK(order, "left-nested captures out of order (%zu entries)", got.size());
    });

    // Parentheses that do not balance: the depth runs far negative and back
    // to 0. These stay shallow, so the oracle can check them too.
    timed("unbalanced parentheses", 1.0, [&] {
        const std::string closed = repeat(")", n) + repeat("(", n);
        const std::string text = "$" + closed + "x -> " + repeat("(", n) + repeat(")", n) + "y$";
        const Type t = F(V("$" + closed + "x$"), V("$" + repeat("(", n) + repeat(")", n) + "y$"));
        CompiledSchema schema(text);
        CHECK(schema.matches(t), "unbalanced text did not split at depth 0");
        compare(schema, text, t);
        // Arrows at depths -1 .. -n on the left; the split is the last arrow.
        const std::string falling = "$" + repeat(") -> ", n) + repeat("(", n) + "x -> y$";
        compare(CompiledSchema(falling), falling, F(V("x"), V("y")));
        const std::string never = "$A" + repeat("(", n) + " -> B" + repeat(")", n - 1) + "$";
        CHECK(!CompiledSchema(never).matches(F(A, V("B"))), "split inside parentheses");
        compare(CompiledSchema(never), never, F(A, V("B")));
    });
}

// Arbitrary bytes, including truncated UTF-8 sequences of white space at the
// very end, must never be read out of bounds (checked under AddressSanitizer:
// each text sits in a heap block of exactly its size).
void test_raw_bytes(std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    using namespace std::string_literals;
    const std::string bytes = "$*():->  A\xC2\xE1\xE2\xE3\x80\x81\x85\x9A\xA0"s;
    const Type types[] = {V("A"), F(V("A"), V("A")), V("")};
    for (int it = 0; it < 20000; ++it) {
        const std::size_t n = rng() % 12;
        std::unique_ptr<char[]> buf(new char[n == 0 ? 1 : n]);
        for (std::size_t i = 0; i < n; ++i) buf[i] = bytes[rng() % bytes.size()];
        CompiledSchema schema(std::string_view(buf.get(), n));
        for (const Type& t : types) {
            CaptureList got;
            CHECK(schema.capture(t, got) == schema.matches(t), "capture and matches disagree");
        }
    }
}

// ---------------------------------------------------------------------------

void test_allocations()
{
    const Type person = V("Person"), AB = F(V("A"), V("B"));
    for (const char* text : {"$Person$", "$*$", "$A -> B$", "$(x:*)$", "Person"}) {
        std::size_t before = g_allocations;
        CompiledSchema schema(text);
        const std::size_t compile = g_allocations - before;
        CHECK(compile <= 1, "compiling %s took %zu allocations", text, compile);
        before = g_allocations;
        for (int i = 0; i < 100; ++i) {
            (void)schema.matches(person);
            (void)schema.matches(AB);
        }
        CHECK(g_allocations == before, "matching %s allocated", text);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t iterations = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200000;
    const std::uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 12345;
    const std::size_t depth = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 100000;
    std::printf("schema matcher driver: %zu iterations, seed %llu, depth %zu\n", iterations,
                static_cast<unsigned long long>(seed), depth);
    test_documented_cases();
    test_many_groups_and_names();
    test_allocations();
    test_raw_bytes(seed);
    test_deep(depth);
    test_random(iterations, seed);
    if (g_failures != 0) {
        std::printf("FAILED: %d checks\n", g_failures);
        return 1;
    }
    std::puts("all schema matcher checks passed");
    return 0;
}
