// Rendering of variable names in the reprs of node and edge patterns.
#pragma once

#include <string>
#include <string_view>

namespace voralix {

// Appends `name` (valid UTF-8) between double quotes: `"` and `\` get a
// backslash, tab / CR / LF / NUL become \t \r \n \0, and every other
// character that Python does not consider printable, and every combining
// character (Grapheme_Extend), becomes \u{hex} in lower-case hex digits.
void append_quoted_name(std::string& out, std::string_view name);

} // namespace voralix
