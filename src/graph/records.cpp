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

} // namespace voralix
