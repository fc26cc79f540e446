// Scanners for the string and number literals shared by pattern property
// blocks and where() conditions. Pure C++ over valid UTF-8; offsets are bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace voralix {

struct LiteralError {
    std::string reason; // a lower-case phrase, e.g. "invalid escape '\q'"
    std::size_t offset; // byte offset where the problem starts
};

struct NumberLiteral {
    bool is_float = false;
    // As written, sign included: ready for PyLong_FromString (base 10) or
    // PyOS_string_to_double.
    std::string text;
};

// text[pos] is ' or ". Decodes up to the matching unescaped quote. Escapes:
// \\ \' \" \n \t \r and \uXXXX (exactly 4 hex digits; a surrogate pair written
// as two \u escapes combines; a lone surrogate is an error); any other escape
// is an error. Raw characters, line breaks included, stand for themselves.
// On success appends the decoded UTF-8 to `out` and sets pos past the closing
// quote. On failure `err` tells why and where: an unterminated string at its
// opening quote, a bad escape at its backslash.
bool scan_string(std::string_view text, std::size_t& pos, std::string& out, LiteralError& err);

// text[pos] starts a number: '-', a digit, or '.'. Grammar:
//   number   = ["-"] (digits ["." [digits]] | "." digits) [exponent]
//   exponent = ("e" | "E") ["+" | "-"] digits
// so 12, -7, 1.5, .5, 5., 1e3, 5.e3, -2.5E-3 (a leading '+' is not a number).
// Integers have any number of digits; "007" is 7.
//
// Where a number ends:
//  * A '.' directly followed by another '.' is never a fraction point: "1..3"
//    scans "1" and stops before "..", so ranges read as integers.
//  * Any other '.' after the digits belongs to the number ("5." is a float),
//    and an 'e'/'E' there always starts an exponent, which must have digits.
//  * The number must then end: a name character (letter, digit, "_", or any
//    identifier-continue character) or a single '.' right after it is an
//    error ("12abc", "1.5.2", "1e3x", "3.key"), so a number can never run
//    into a following word or property access.
// On success sets `out` and moves pos to the first byte after the number.
bool scan_number(std::string_view text, std::size_t& pos, NumberLiteral& out, LiteralError& err);

} // namespace voralix
