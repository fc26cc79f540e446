#include "util/unicode.hpp"

#include <algorithm>
#include <iterator>

namespace voralix {

namespace {

struct CodePointRange {
    char32_t lo;
    char32_t hi; // inclusive
};

#include "util/unicode_tables.inc"
#include "util/identifier_tables.inc"

template <std::size_t N>
bool in_ranges(const CodePointRange (&ranges)[N], char32_t c) noexcept
{
    if (c < ranges[0].lo) return false;
    // The first range whose lo exceeds c; c can only lie in the one before it.
    const auto* it = std::upper_bound(std::begin(ranges), std::end(ranges), c,
                                      [](char32_t v, const CodePointRange& r) { return v < r.lo; });
    return c <= std::prev(it)->hi;
}

constexpr bool is_ascii_letter(char32_t c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

bool is_grapheme_extend(char32_t c) noexcept
{
    // Nothing below U+0300 extends a grapheme; most names are ASCII.
    return in_ranges(kGraphemeExtendRanges, c);
}

bool is_identifier_start(char32_t c) noexcept
{
    if (c < 0x80) return is_ascii_letter(c) || c == '_';
    return in_ranges(kIdentifierStartRanges, c);
}

bool is_identifier_continue(char32_t c) noexcept
{
    if (c < 0x80) return is_ascii_letter(c) || c == '_' || (c >= '0' && c <= '9');
    return in_ranges(kIdentifierContinueRanges, c);
}

char32_t decode_utf8(std::string_view text, std::size_t i, std::size_t& len) noexcept
{
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        len = 1;
        return b0;
    }
    // A sequence cut off by the end of the text reads as one byte (texts from
    // Python are valid UTF-8; this only keeps malformed input in bounds).
    const std::size_t need = b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;
    if (i + need > text.size()) {
        len = 1;
        return b0;
    }
    auto cont = [&](std::size_t k) {
        return static_cast<char32_t>(static_cast<unsigned char>(text[i + k]) & 0x3F);
    };
    if (b0 < 0xE0) {
        len = 2;
        return (static_cast<char32_t>(b0 & 0x1F) << 6) | cont(1);
    }
    if (b0 < 0xF0) {
        len = 3;
        return (static_cast<char32_t>(b0 & 0x0F) << 12) | (cont(1) << 6) | cont(2);
    }
    len = 4;
    return (static_cast<char32_t>(b0 & 0x07) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3);
}

void append_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::size_t leading_white_space(std::string_view text) noexcept
{
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t len = 0;
        if (!is_white_space(decode_utf8(text, i, len))) break;
        i += len;
    }
    return i;
}

std::size_t trailing_white_space(std::string_view text) noexcept
{
    std::size_t end = text.size();
    while (end > 0) {
        // Step back to the first byte of the last scalar value.
        std::size_t start = end - 1;
        while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        std::size_t len = 0;
        if (!is_white_space(decode_utf8(text, start, len))) break;
        end = start;
    }
    return text.size() - end;
}

} // namespace voralix
