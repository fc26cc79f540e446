#include "graph/records.hpp"

namespace voralix {

namespace {
Digest prefixed_digest(std::string_view prefix, const Digest& inner)
{
    char hex[kUidHexLength];
    digest_to_hex(inner, hex);
    return sha256(prefix, std::string_view(hex, kUidHexLength));
}
} // namespace

Digest node_uid(const NodeRecord& n)
{
    return prefixed_digest("node:", n.type.uid_digest());
}

Digest edge_uid(const EdgeRecord& e)
{
    return prefixed_digest("edge:", e.term.uid_digest());
}

std::string node_text(const NodeRecord& n)
{
    std::string s = "Node(";
    n.type.append_text(s);
    s += ')';
    return s;
}

std::string edge_text(const EdgeRecord& e)
{
    std::string s = "Edge(";
    s += e.term.name();
    s += ": ";
    e.start.type.append_text(s);
    s += " -> ";
    e.end.type.append_text(s);
    s += ')';
    return s;
}

} // namespace voralix
