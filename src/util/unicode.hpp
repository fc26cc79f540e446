// Unicode helpers over UTF-8 text: decoding, the White_Space trim shared by the
// schema matcher and the pattern parser, and the escaping of variable names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace voralix {

// Decodes the scalar value starting at text[i] (text must be valid UTF-8) and
// returns it; `len` receives the number of bytes it occupies.
char32_t decode_utf8(std::string_view text, std::size_t i, std::size_t& len) noexcept;
void append_utf8(std::string& out, char32_t c);

// Characters with the Unicode White_Space property.
constexpr bool is_white_space(char32_t c) noexcept
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// Characters with the Unicode Grapheme_Extend property (combining marks and
// the like); the table is generated from the Unicode Character Database.
bool is_grapheme_extend(char32_t c) noexcept;

// Characters that may start / continue a Python identifier (str.isidentifier:
// XID_Start or "_" first, then XID_Continue).
bool is_identifier_start(char32_t c) noexcept;
bool is_identifier_continue(char32_t c) noexcept;

// Length in bytes of the white space run at the start / end of `text`.
std::size_t leading_white_space(std::string_view text) noexcept;
std::size_t trailing_white_space(std::string_view text) noexcept;

// Removes leading and trailing White_Space characters.
inline std::string_view trim(std::string_view text) noexcept
{
    std::size_t lead = leading_white_space(text);
    text.remove_prefix(lead);
    text.remove_suffix(trailing_white_space(text));
    return text;
}

} // namespace voralix
