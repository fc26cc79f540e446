#include "term/term.hpp"

namespace voralix {

namespace {
constexpr std::uint8_t kUidReady = 1;
constexpr std::uint8_t kHashReady = 2;
} // namespace

const Digest& Term::uid_digest() const
{
    if ((node_->cache_flags.load(std::memory_order_acquire) & kUidReady) == 0) {
        char hex[kUidHexLength];
        digest_to_hex(node_->type.uid_digest(), hex);
        node_->uid_cache = sha256("term:", node_->name, ":", std::string_view(hex, kUidHexLength));
        node_->cache_flags.fetch_or(kUidReady, std::memory_order_release);
    }
    return node_->uid_cache;
}

std::int64_t Term::python_hash() const
{
    if ((node_->cache_flags.load(std::memory_order_acquire) & kHashReady) == 0) {
        SipHash13 h;
        h.update(node_->name);
        h.update_byte(0xFF);
        node_->type.feed_encoding(h);
        node_->hash_cache = h.finish();
        node_->cache_flags.fetch_or(kHashReady, std::memory_order_release);
    }
    return to_python_hash(node_->hash_cache);
}

std::string Term::text() const
{
    std::string s(node_->name);
    s += ':';
    node_->type.append_text(s);
    return s;
}

} // namespace voralix
