// The tokens of the condition language of where() and the hand-written lexer
// that reads them from UTF-8 text, keeping code-point offsets for messages.
#pragma once

#include "errors/error.hpp"
#include "util/literal.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace voralix::condition {

enum class TokenKind : std::uint8_t {
    End,
    Name,   // an identifier as written (reserved words and function names included)
    Quoted, // a back-quoted name; `value` holds it with doubled back quotes undone
    Param,  // $name or $`name`; `value` holds the name
    String, // `value` holds the decoded text
    Number, // `number` holds the literal as written
    LParen,
    RParen,
    LBracket,
    RBracket,
    Comma,
    Dot,
    Colon,
    Eq,
    Ne, // <> and !=
    Lt,
    Le,
    Gt,
    Ge,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::size_t offset = 0; // code-point index of the token's first character
    std::string_view text;  // the token as written
    std::string value;
    NumberLiteral number;

    // A Name spelled `upper` in ASCII letters of any case.
    bool is_word(std::string_view upper) const noexcept;
};

// "<reason> at offset N" as the InvalidQuery error of where().
VoralixError syntax_error(std::string_view reason, std::size_t offset);

// Reads tokens on demand: the parser says whether an expression may start at
// the next token, since only there do "-" and ".5" begin a number.
class Lexer {
public:
    explicit Lexer(std::string_view text) noexcept : text_(text) {}

    Result<Token> next(bool operand);
    // The type text after ':' as a schema: `$ ... $` verbatim up to the next
    // '$', or a name (plain or back-quoted) wrapped in dollar signs.
    Result<std::string> type_text();

private:
    void skip_space() noexcept;
    void move_to(std::size_t pos) noexcept; // advances, counting code points
    // Back-quoted text starting at text_[pos] == '`'; errors name `token_offset`.
    Result<std::string> quoted(std::size_t pos, std::size_t token_offset);
    // Whether a name (Python's str.isidentifier() rules) starts at `pos`.
    bool name_starts(std::size_t pos) const noexcept;
    // The end of the name whose first character is at `pos`.
    std::size_t name_end(std::size_t pos) const noexcept;

    std::string_view text_;
    std::size_t pos_ = 0;    // bytes
    std::size_t offset_ = 0; // code points before pos_
};

} // namespace voralix::condition
