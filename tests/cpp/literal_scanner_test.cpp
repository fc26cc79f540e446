// Table tests of the string and number literal scanners: decoded results,
// where each scan stops, and the byte offset of each error.
//
// Build and run from the repository root (tests/test_parser.py does this):
//   g++ -std=c++20 -Wall -Wextra -Werror -Isrc tests/cpp/literal_scanner_test.cpp
//       src/util/literal.cpp src/util/unicode.cpp -o /tmp/literal_scanner_test
//   /tmp/literal_scanner_test
#include "util/literal.hpp"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

int g_failures = 0;

void check(bool ok, std::string_view input, const std::string& what)
{
    if (ok) return;
    ++g_failures;
    std::printf("FAIL [%.*s]: %s\n", static_cast<int>(input.size()), input.data(), what.c_str());
}

// An ok case gives the decoded text / number text and the end position; an
// error case gives the reason and its offset (end is then unchecked).
struct Case {
    std::string_view input;
    bool ok;
    std::string_view result; // decoded string, number text, or error reason
    std::size_t position;    // end position, or error offset
    bool is_float = false;
};

const Case kStrings[] = {
    {"'abc' rest", true, "abc", 5},
    {"\"a'b\"", true, "a'b", 5},
    {"'a\\'b'", true, "a'b", 6},
    {"'\\\\'x", true, "\\", 4},
    {"'\\n\\t\\r\\\"'", true, "\n\t\r\"", 10},
    {"'\\u00e9\\u00E9'", true, "\xC3\xA9\xC3\xA9", 14},
    {"'\\ud83d\\ude00'", true, "\xF0\x9F\x98\x80", 14},
    {"'\xC3\xA9\n'", true, "\xC3\xA9\n", 5},
    {"''", true, "", 2},
    {"'abc", false, "unterminated string", 0},
    {"x'abc\\", false, "unterminated string", 1},
    {"'ab\\q'", false, "invalid escape '\\q'", 3},
    {"'ab\\\xC3\xA9'", false, "invalid escape '\\\xC3\xA9'", 3},
    {"'a\\u12'", false, "invalid \\u escape: expected 4 hex digits", 2},
    {"'a\\u12g4'", false, "invalid \\u escape: expected 4 hex digits", 2},
    {"'a\\ud83d'", false, "lone surrogate '\\ud83d'", 2},
    {"'a\\ud83d\\u0041'", false, "lone surrogate '\\ud83d'", 2},
    {"'a\\ude00'", false, "lone surrogate '\\ude00'", 2},
    {"'\\q", false, "invalid escape '\\q'", 1}, // the first problem from the left wins
};

const Case kNumbers[] = {
    {"12", true, "12", 2},
    {"-7,", true, "-7", 2},
    {"007", true, "007", 3},
    {"1.5]", true, "1.5", 3, true},
    {".5", true, ".5", 2, true},
    {"-.5", true, "-.5", 3, true},
    {"5.", true, "5.", 2, true},
    {"5.)", true, "5.", 2, true},
    {"1e3", true, "1e3", 3, true},
    {"5.e3", true, "5.e3", 4, true},
    {"-2.5E-3 ", true, "-2.5E-3", 7, true},
    {"1..3", true, "1", 1},
    {"1.5..3", true, "1.5", 3, true},
    {"1e3..4", true, "1e3", 3, true},
    {"123456789012345678901234567890", true, "123456789012345678901234567890", 30},
    {"1 x", true, "1", 1},
    {"1'a'", true, "1", 1},
    {"1\xE3\x80\x80", true, "1", 1}, // U+3000 is white space, not a name character
    {"x12abc", false, "unexpected 'a' after a number", 3},
    {"1.x", false, "unexpected 'x' after a number", 2},
    {"3.key", false, "unexpected 'k' after a number", 2},
    {"1.5.2", false, "unexpected '.' after a number", 3},
    {"1_000", false, "unexpected '_' after a number", 1},
    {"1\xC3\xA9", false, "unexpected '\xC3\xA9' after a number", 1},
    {"1e", false, "expected a digit in the exponent", 2},
    {"1e+x", false, "expected a digit in the exponent", 3},
    {"-", false, "expected a digit after '-'", 1},
    {"-x", false, "expected a digit after '-'", 1},
    {"-..", false, "expected a digit after '-'", 1},
    {".", false, "expected a digit after '.'", 1},
    {"..5", false, "expected a digit after '.'", 1},
};

// Cases whose input starts with a non-literal character begin at offset 1.
std::size_t start_of(std::string_view input)
{
    const char c = input[0];
    const bool literal = c == '\'' || c == '"' || c == '-' || c == '.' || (c >= '0' && c <= '9');
    return literal ? 0 : 1;
}

template <class Scan>
void run(const Case& c, Scan scan)
{
    std::size_t pos = start_of(c.input);
    std::string result;
    bool is_float = false;
    voralix::LiteralError err{"", 999};
    const bool ok = scan(c.input, pos, result, is_float, err);
    check(ok == c.ok, c.input, ok ? "scanned, expected an error" : "error: " + err.reason);
    if (ok != c.ok) return;
    if (ok) {
        check(result == c.result, c.input, "result " + result);
        check(pos == c.position, c.input, "ended at " + std::to_string(pos));
        check(is_float == c.is_float, c.input, "is_float differs");
    } else {
        check(err.reason == c.result, c.input, "reason " + err.reason);
        check(err.offset == c.position, c.input, "offset " + std::to_string(err.offset));
    }
}

} // namespace

int main()
{
    for (const Case& c : kStrings) {
        run(c, [](std::string_view t, std::size_t& pos, std::string& out, bool&,
                  voralix::LiteralError& err) { return voralix::scan_string(t, pos, out, err); });
    }
    for (const Case& c : kNumbers) {
        run(c, [](std::string_view t, std::size_t& pos, std::string& out, bool& is_float,
                  voralix::LiteralError& err) {
            voralix::NumberLiteral n;
            const bool ok = voralix::scan_number(t, pos, n, err);
            out = n.text;
            is_float = n.is_float;
            return ok;
        });
    }
    // Appends: the decoded text goes after what `out` already holds.
    std::string out = "ab";
    std::size_t pos = 0;
    voralix::LiteralError err;
    check(voralix::scan_string("'c'", pos, out, err) && out == "abc", "'c'", "append");
    std::printf("%d failures\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
