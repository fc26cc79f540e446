// The property block reader: a single left-to-right pass with an explicit
// stack of open lists, so nesting depth costs heap, never C stack.
#include "patterns/property_block.hpp"

#include "util/literal.hpp"
#include "util/small_stack.hpp"
#include "util/unicode.hpp"

namespace voralix {

namespace {

class BlockReader {
public:
    BlockReader(std::string_view text, PropertyBlock& out) : text_(text), out_(out) {}

    // Reads the whole block; on failure error() holds the reason.
    bool read()
    {
        i_ = 1; // past "{"
        skip_space();
        if (at('}')) {
            ++i_;
        } else {
            for (;;) {
                if (!read_key()) return false;
                skip_space();
                if (!at(':')) return fail("expected ':' after key '" + key() + "'");
                ++i_;
                skip_space();
                if (!read_value()) return false;
                skip_space();
                if (at('}')) {
                    ++i_;
                    break;
                }
                if (!at(',')) {
                    return fail("expected ',' or '}' after the value of key '" + key() +
                                "', found " + found());
                }
                ++i_;
                skip_space();
                if (at('}')) return fail("trailing comma before '}'");
            }
        }
        skip_space();
        if (i_ < text_.size()) return fail("unexpected " + found() + " after the closing '}'");
        return true;
    }

    std::string& error() noexcept { return error_; }

private:
    bool at(char c) const noexcept { return i_ < text_.size() && text_[i_] == c; }

    char32_t peek(std::size_t& len) const noexcept { return decode_utf8(text_, i_, len); }

    void skip_space() noexcept
    {
        while (i_ < text_.size()) {
            std::size_t len = 0;
            if (!is_white_space(peek(len))) return;
            i_ += len;
        }
    }

    // "'c'" for the character at the read position, or "end of text".
    std::string found() const
    {
        if (i_ >= text_.size()) return "end of text";
        std::size_t len = 0;
        peek(len);
        std::string s = "'";
        s.append(text_.substr(i_, len));
        s.push_back('\'');
        return s;
    }

    const std::string& key() const noexcept { return out_.keys.back(); }

    bool fail(const std::string& reason)
    {
        error_ = "Invalid property block: " + reason;
        return false;
    }

    // Reads an identifier (its first character at the read position).
    std::string_view read_word() noexcept
    {
        const std::size_t start = i_;
        std::size_t len = 0;
        do {
            i_ += len;
        } while (i_ < text_.size() && is_identifier_continue(peek(len)));
        return text_.substr(start, i_ - start);
    }

    bool read_key()
    {
        std::string& key = out_.keys.emplace_back();
        if (at('\'') || at('"')) return read_string(key);
        std::size_t len = 0;
        if (i_ < text_.size() && is_identifier_start(peek(len))) {
            key.assign(read_word());
            return true;
        }
        return fail("expected a property name, found " + found());
    }

    bool read_string(std::string& out)
    {
        LiteralError err;
        return scan_string(text_, i_, out, err) || fail(err.reason);
    }

    // Reads one scalar value into `lit`.
    bool read_scalar(Literal& lit)
    {
        if (at('\'') || at('"')) {
            lit.kind = Literal::Kind::String;
            return read_string(lit.text);
        }
        const char c = i_ < text_.size() ? text_[i_] : '\0';
        if (c == '-' || c == '.' || (c >= '0' && c <= '9')) {
            NumberLiteral number;
            LiteralError err;
            if (!scan_number(text_, i_, number, err)) return fail(err.reason);
            lit.kind = number.is_float ? Literal::Kind::Float : Literal::Kind::Integer;
            lit.text = std::move(number.text);
            return true;
        }
        std::size_t len = 0;
        if (i_ < text_.size() && is_identifier_start(peek(len))) {
            const std::string_view word = read_word();
            if (equals_ascii_lower(word, "true") || equals_ascii_lower(word, "false")) {
                lit.kind = Literal::Kind::Boolean;
                lit.boolean = word.size() == 4;
                return true;
            }
            if (equals_ascii_lower(word, "null")) {
                lit.kind = Literal::Kind::Null;
                return true;
            }
            return fail("unknown value '" + std::string(word) + "' for key '" + key() + "'");
        }
        return fail("expected a value for key '" + key() + "', found " + found());
    }

    static bool equals_ascii_lower(std::string_view word, std::string_view lower) noexcept
    {
        if (word.size() != lower.size()) return false;
        for (std::size_t k = 0; k < word.size(); ++k) {
            char c = word[k];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != lower[k]) return false;
        }
        return true;
    }

    // Reads one value, lists included, appending it to out_.values in preorder.
    bool read_value()
    {
        SmallStack<std::size_t> open; // indices of the lists still open
        for (;;) {
            // A value starts here.
            if (!open.empty()) ++out_.values[open.top()].size;
            Literal& lit = out_.values.emplace_back();
            if (at('[')) {
                lit.kind = Literal::Kind::List;
                open.push(out_.values.size() - 1);
                ++i_;
                skip_space();
                if (!at(']')) continue; // its first element starts here
                ++i_;                   // an empty list is complete at once
                open.pop();
            } else if (!read_scalar(lit)) {
                return false;
            }
            // The value is complete: close lists until one expects more elements.
            for (;;) {
                if (open.empty()) return true;
                skip_space();
                if (at(',')) {
                    ++i_;
                    skip_space();
                    if (at(']')) return fail("trailing comma before ']'");
                    break;
                }
                if (at(']')) {
                    ++i_;
                    open.pop();
                    continue;
                }
                return fail("expected ',' or ']' in the list for key '" + key() + "', found " +
                            found());
            }
        }
    }

    std::string_view text_;
    PropertyBlock& out_;
    std::size_t i_ = 0;
    std::string error_;
};

} // namespace

std::optional<std::string> read_property_block(std::string_view text, PropertyBlock& out)
{
    BlockReader reader(text, out);
    if (reader.read()) return std::nullopt;
    return std::move(reader.error());
}

} // namespace voralix
