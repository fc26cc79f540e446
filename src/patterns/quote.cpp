// Quoted-name rendering. Printability is the running interpreter's own
// str.isprintable() predicate, so the only Python API used is that one.
#include <Python.h>

#include "patterns/quote.hpp"

#include "util/unicode.hpp"

namespace voralix {

namespace {

void append_code_point_escape(std::string& out, char32_t c)
{
    static constexpr char digits[] = "0123456789abcdef";
    char hex[8];
    int n = 0;
    do {
        hex[n++] = digits[c & 0xF];
        c >>= 4;
    } while (c != 0);
    out.append("\\u{");
    while (n > 0) out.push_back(hex[--n]);
    out.push_back('}');
}

} // namespace

void append_quoted_name(std::string& out, std::string_view name)
{
    out.reserve(out.size() + name.size() + 2);
    out.push_back('"');
    for (std::size_t i = 0; i < name.size();) {
        const auto b = static_cast<unsigned char>(name[i]);
        // Printable ASCII other than the two escaped characters copies as is.
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        std::size_t len = 1;
        const char32_t c = decode_utf8(name, i, len);
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\t': out.append("\\t"); break;
        case '\r': out.append("\\r"); break;
        case '\n': out.append("\\n"); break;
        case U'\0': out.append("\\0"); break;
        default:
            if (is_grapheme_extend(c) || !Py_UNICODE_ISPRINTABLE(static_cast<Py_UCS4>(c))) {
                append_code_point_escape(out, c);
            } else {
                out.append(name.substr(i, len));
            }
        }
        i += len;
    }
    out.push_back('"');
}

} // namespace voralix
