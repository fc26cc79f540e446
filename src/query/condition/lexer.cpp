#include "query/condition/lexer.hpp"

#include "util/unicode.hpp"

namespace voralix::condition {

namespace {

bool is_ascii_digit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

// The literal scanner's reasons are phrases; here they start a sentence.
VoralixError literal_error(const LiteralError& err, std::size_t offset)
{
    std::string reason = err.reason;
    if (!reason.empty() && reason[0] >= 'a' && reason[0] <= 'z')
        reason[0] = static_cast<char>(reason[0] - 'a' + 'A');
    return syntax_error(reason, offset);
}

// A type name as the schema matching exactly that name.
std::string as_schema(std::string_view name)
{
    std::string s;
    s.reserve(name.size() + 2);
    s.push_back('$');
    s.append(name);
    s.push_back('$');
    return s;
}

std::size_t count_code_points(std::string_view s) noexcept
{
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

} // namespace

bool Token::is_word(std::string_view upper) const noexcept
{
    if (kind != TokenKind::Name || text.size() != upper.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upper[i]) return false;
    }
    return true;
}

VoralixError syntax_error(std::string_view reason, std::size_t offset)
{
    return VoralixError::invalid_query(std::string(reason) + " at offset " + std::to_string(offset),
                                       "where");
}

void Lexer::skip_space() noexcept
{
    std::size_t p = pos_;
    while (p < text_.size()) {
        std::size_t len = 0;
        if (!is_white_space(decode_utf8(text_, p, len))) break;
        p += len;
    }
    move_to(p);
}

void Lexer::move_to(std::size_t pos) noexcept
{
    offset_ += count_code_points(text_.substr(pos_, pos - pos_));
    pos_ = pos;
}

bool Lexer::name_starts(std::size_t pos) const noexcept
{
    if (pos >= text_.size()) return false;
    std::size_t len = 0;
    return is_identifier_start(decode_utf8(text_, pos, len));
}

std::size_t Lexer::name_end(std::size_t pos) const noexcept
{
    std::size_t len = 0;
    decode_utf8(text_, pos, len);
    for (pos += len; pos < text_.size(); pos += len) {
        if (!is_identifier_continue(decode_utf8(text_, pos, len))) break;
    }
    return pos;
}

Result<std::string> Lexer::quoted(std::size_t pos, std::size_t token_offset)
{
    std::string out;
    std::size_t i = pos + 1;
    while (true) {
        const std::size_t j = text_.find('`', i);
        if (j == std::string_view::npos)
            return syntax_error("Unterminated quoted name", token_offset);
        out.append(text_.substr(i, j - i));
        if (j + 1 < text_.size() && text_[j + 1] == '`') {
            out.push_back('`');
            i = j + 2;
            continue;
        }
        move_to(j + 1);
        return out;
    }
}

Result<Token> Lexer::next(bool operand)
{
    skip_space();
    Token tok;
    tok.offset = offset_;
    const std::size_t start = pos_;
    auto finish = [&](TokenKind kind, std::size_t end) -> Result<Token> {
        tok.kind = kind;
        tok.text = text_.substr(start, end - start);
        move_to(end);
        return std::move(tok);
    };
    if (start >= text_.size()) return finish(TokenKind::End, start);
    const char c = text_[start];
    const char after = start + 1 < text_.size() ? text_[start + 1] : '\0';

    if (c == '\'' || c == '"') {
        std::size_t end = start;
        LiteralError err;
        if (!scan_string(text_, end, tok.value, err)) return literal_error(err, tok.offset);
        return finish(TokenKind::String, end);
    }
    if (is_ascii_digit(c) || (operand && (c == '-' || (c == '.' && is_ascii_digit(after))))) {
        std::size_t end = start;
        LiteralError err;
        if (!scan_number(text_, end, tok.number, err)) return literal_error(err, tok.offset);
        return finish(TokenKind::Number, end);
    }
    if (c == '`') {
        Result<std::string> name = quoted(start, tok.offset);
        if (!name) return std::move(name).error();
        tok.kind = TokenKind::Quoted;
        tok.value = std::move(*name);
        tok.text = text_.substr(start, pos_ - start);
        return tok;
    }
    if (c == '$') {
        if (after == '`') {
            move_to(start + 1);
            Result<std::string> name = quoted(start + 1, tok.offset);
            if (!name) return std::move(name).error();
            tok.kind = TokenKind::Param;
            tok.value = std::move(*name);
            tok.text = text_.substr(start, pos_ - start);
            return tok;
        }
        if (!name_starts(start + 1)) return syntax_error("Expected a parameter name", tok.offset);
        const std::size_t end = name_end(start + 1);
        tok.value.assign(text_.substr(start + 1, end - start - 1));
        return finish(TokenKind::Param, end);
    }
    if (name_starts(start)) return finish(TokenKind::Name, name_end(start));
    switch (c) {
    case '(': return finish(TokenKind::LParen, start + 1);
    case ')': return finish(TokenKind::RParen, start + 1);
    case '[': return finish(TokenKind::LBracket, start + 1);
    case ']': return finish(TokenKind::RBracket, start + 1);
    case ',': return finish(TokenKind::Comma, start + 1);
    case '.': return finish(TokenKind::Dot, start + 1);
    case ':': return finish(TokenKind::Colon, start + 1);
    case '=': return finish(TokenKind::Eq, start + 1);
    case '<':
        if (after == '>') return finish(TokenKind::Ne, start + 2);
        if (after == '=') return finish(TokenKind::Le, start + 2);
        return finish(TokenKind::Lt, start + 1);
    case '>':
        if (after == '=') return finish(TokenKind::Ge, start + 2);
        return finish(TokenKind::Gt, start + 1);
    case '!':
        if (after == '=') return finish(TokenKind::Ne, start + 2);
        break;
    default: break;
    }
    std::size_t len = 0;
    decode_utf8(text_, start, len);
    return syntax_error("Unexpected character '" + std::string(text_.substr(start, len)) + "'",
                        tok.offset);
}

Result<std::string> Lexer::type_text()
{
    skip_space();
    const std::size_t start = pos_;
    if (start < text_.size() && text_[start] == '$') {
        const std::size_t end = text_.find('$', start + 1);
        if (end == std::string_view::npos) return syntax_error("Unterminated type schema", offset_);
        move_to(end + 1);
        return std::string(text_.substr(start, end + 1 - start));
    }
    if (start < text_.size() && text_[start] == '`') {
        Result<std::string> name = quoted(start, offset_);
        if (!name) return std::move(name).error();
        return as_schema(*name);
    }
    if (!name_starts(start)) return syntax_error("Expected a type name or schema", offset_);
    const std::size_t end = name_end(start);
    move_to(end);
    return as_schema(text_.substr(start, end - start));
}

} // namespace voralix::condition
