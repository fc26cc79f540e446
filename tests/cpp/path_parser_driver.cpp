// Test driver for the pattern-string parser and the quoted-name rendering.
//
// Reads one input per line from stdin; in a line, "\n", "\r", "\t" and "\\"
// stand for a line feed, carriage return, tab and backslash. Writes one JSON
// object per input line:
//   default:  {"ok":true,"nodes":[[var,schema],...],"edges":[[var,schema,dir],...]}
//             {"ok":false,"error":"Invalid pattern '...': ..."}
//   --quote:  {"quoted":"..."}   (append_quoted_name of the line)
// Absent values are null.
#include "patterns/path_parser.hpp"
#include "patterns/quote.hpp"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

std::string unescape_line(const std::string& line)
{
    std::string out;
    out.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 == line.size()) {
            out.push_back(line[i]);
            continue;
        }
        switch (line[++i]) {
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case '\\': out.push_back('\\'); break;
        default:
            out.push_back('\\');
            out.push_back(line[i]);
        }
    }
    return out;
}

void append_json_string(std::string& out, std::string_view s)
{
    out.push_back('"');
    for (const char ch : s) {
        const auto b = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (b < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", b);
            out.append(buf);
        } else {
            out.push_back(ch); // UTF-8 passes through
        }
    }
    out.push_back('"');
}

void append_optional(std::string& out, const std::optional<std::string>& s)
{
    if (s) {
        append_json_string(out, *s);
    } else {
        out.append("null");
    }
}

void render_parse(std::string& out, std::string_view text)
{
    auto result = voralix::parse_path(text);
    if (!result) {
        const auto& err = std::get<voralix::VoralixError>(result.error());
        out.append("{\"ok\":false,\"error\":");
        append_json_string(out, err.message());
        out.push_back('}');
        return;
    }
    const auto& path = result.value();
    out.append("{\"ok\":true,\"nodes\":[");
    for (std::size_t i = 0; i < path.nodes.size(); ++i) {
        if (i) out.push_back(',');
        out.push_back('[');
        append_optional(out, path.nodes[i].variable);
        out.push_back(',');
        append_optional(out, path.nodes[i].schema);
        out.push_back(']');
    }
    out.append("],\"edges\":[");
    for (std::size_t i = 0; i < path.edges.size(); ++i) {
        if (i) out.push_back(',');
        out.push_back('[');
        append_optional(out, path.edges[i].variable);
        out.push_back(',');
        append_optional(out, path.edges[i].schema);
        out.push_back(',');
        append_json_string(out, path.edges[i].direction);
        out.push_back(']');
    }
    out.append("]}");
}

} // namespace

int main(int argc, char** argv)
{
    const bool quote_mode = argc > 1 && std::string_view(argv[1]) == "--quote";
    std::ios::sync_with_stdio(false);
    std::string line;
    std::string out;
    while (std::getline(std::cin, line)) {
        const std::string input = unescape_line(line);
        out.clear();
        if (quote_mode) {
            std::string quoted;
            voralix::append_quoted_name(quoted, input);
            out.append("{\"quoted\":");
            append_json_string(out, quoted);
            out.push_back('}');
        } else {
            render_parse(out, input);
        }
        out.push_back('\n');
        std::cout << out;
    }
    return 0;
}
