// String and number literal scanners (see literal.hpp for the grammar and for
// where a number ends).
#include "util/literal.hpp"

#include "util/unicode.hpp"

namespace voralix {

namespace {

constexpr bool is_digit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

// Reads exactly four hex digits at text[i..i+4).
bool read_hex4(std::string_view text, std::size_t i, char32_t& value) noexcept
{
    if (i + 4 > text.size()) return false;
    value = 0;
    for (std::size_t k = i; k < i + 4; ++k) {
        const char c = text[k];
        char32_t digit;
        if (is_digit(c)) {
            digit = static_cast<char32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<char32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<char32_t>(c - 'A' + 10);
        } else {
            return false;
        }
        value = (value << 4) | digit;
    }
    return true;
}

constexpr bool is_high_surrogate(char32_t c) noexcept
{
    return c >= 0xD800 && c <= 0xDBFF;
}

constexpr bool is_low_surrogate(char32_t c) noexcept
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

bool fail(LiteralError& err, std::string reason, std::size_t offset)
{
    err.reason = std::move(reason);
    err.offset = offset;
    return false;
}

// "'c'" for the code point starting at text[i].
std::string quoted_char(std::string_view text, std::size_t i)
{
    std::size_t len = 0;
    decode_utf8(text, i, len);
    std::string s = "'";
    s.append(text.substr(i, len));
    s.push_back('\'');
    return s;
}

} // namespace

bool scan_string(std::string_view text, std::size_t& pos, std::string& out, LiteralError& err)
{
    const char quote = text[pos];
    std::size_t i = pos + 1;
    for (;;) {
        // Plain characters are copied in runs.
        std::size_t run = i;
        while (run < text.size() && text[run] != quote && text[run] != '\\') ++run;
        out.append(text.substr(i, run - i));
        i = run;
        if (i >= text.size() || (text[i] == '\\' && i + 1 >= text.size())) {
            return fail(err, "unterminated string", pos);
        }
        if (text[i] == quote) {
            pos = i + 1;
            return true;
        }
        const char e = text[i + 1];
        switch (e) {
        case '\\':
        case '\'':
        case '"': out.push_back(e); break;
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case 'r': out.push_back('\r'); break;
        case 'u': {
            char32_t c;
            if (!read_hex4(text, i + 2, c)) {
                return fail(err, "invalid \\u escape: expected 4 hex digits", i);
            }
            std::size_t next = i + 6;
            if (is_high_surrogate(c)) {
                // Only a directly following low-surrogate escape completes the pair.
                char32_t low;
                if (next + 1 < text.size() && text[next] == '\\' && text[next + 1] == 'u' &&
                    read_hex4(text, next + 2, low) && is_low_surrogate(low)) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    next += 6;
                } else {
                    c = 0xD800; // marks the lone surrogate below
                }
            }
            if (is_high_surrogate(c) || is_low_surrogate(c)) {
                std::string reason = "lone surrogate '";
                reason.append(text.substr(i, 6)).push_back('\'');
                return fail(err, std::move(reason), i);
            }
            append_utf8(out, c);
            i = next;
            continue;
        }
        default: return fail(err, "invalid escape '\\" + quoted_char(text, i + 1).substr(1), i);
        }
        i += 2;
    }
}

bool scan_number(std::string_view text, std::size_t& pos, NumberLiteral& out, LiteralError& err)
{
    const std::size_t n = text.size();
    auto digit_at = [&](std::size_t k) { return k < n && is_digit(text[k]); };
    auto dot_dot_at = [&](std::size_t k) {
        return k + 1 < n && text[k] == '.' && text[k + 1] == '.';
    };

    std::size_t i = pos;
    if (text[i] == '-') ++i;
    if (!digit_at(i) && !(i < n && text[i] == '.' && digit_at(i + 1))) {
        if (i > pos) return fail(err, "expected a digit after '-'", i);
        return fail(err, "expected a digit after '.'", i + 1);
    }
    bool is_float = false;
    while (digit_at(i)) ++i;
    if (i < n && text[i] == '.' && !dot_dot_at(i)) {
        is_float = true;
        ++i;
        while (digit_at(i)) ++i;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        is_float = true;
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        if (!digit_at(i)) return fail(err, "expected a digit in the exponent", i);
        while (digit_at(i)) ++i;
    }
    if (i < n && !dot_dot_at(i)) {
        std::size_t len = 0;
        const char32_t c = decode_utf8(text, i, len);
        if (c == '.' || is_identifier_continue(c)) {
            return fail(err, "unexpected " + quoted_char(text, i) + " after a number", i);
        }
    }
    out.is_float = is_float;
    out.text.assign(text.substr(pos, i - pos));
    pos = i;
    return true;
}

} // namespace voralix
