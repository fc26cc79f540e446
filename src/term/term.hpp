// Term: an immutable, shared (name, type) pair with its uid, content hash and
// structural equality.
#pragma once

#include "types/type.hpp"
#include "util/refcount.hpp"

#include <atomic>
#include <string>
#include <string_view>
#include <utility>

namespace voralix {

struct TermNode {
    mutable std::atomic<std::size_t> refs{1};
    std::string name;
    Type type;
    mutable std::atomic<std::uint8_t> cache_flags{0};
    mutable std::uint64_t hash_cache = 0;
    mutable Digest uid_cache{};

    TermNode(std::string n, Type t) : name(std::move(n)), type(std::move(t)) {}
};

class Term {
public:
    Term() noexcept = default;
    Term(std::string name, Type type) : node_(new TermNode(std::move(name), std::move(type))) {}
    Term(const Term& o) noexcept : node_(o.node_) { retain(); }
    Term(Term&& o) noexcept : node_(std::exchange(o.node_, nullptr)) {}
    Term& operator=(Term o) noexcept
    {
        std::swap(node_, o.node_);
        return *this;
    }
    ~Term() { release(); }

    explicit operator bool() const noexcept { return node_ != nullptr; }
    std::string_view name() const noexcept { return node_->name; }
    const Type& type() const noexcept { return node_->type; }

    // SHA-256 of "term:" + name + ":" + uid of the type.
    const Digest& uid_digest() const;
    // SipHash-1-3 of the name, 0xFF and the type's encoding, as a Python hash.
    std::int64_t python_hash() const;
    // str(): name + ":" + text form of the type.
    std::string text() const;

    friend bool operator==(const Term& a, const Term& b)
    {
        return a.node_ == b.node_ || (a.name() == b.name() && a.type() == b.type());
    }

private:
    void retain() const noexcept
    {
        if (node_ != nullptr) count_up(node_->refs);
    }
    void release() noexcept
    {
        if (node_ != nullptr && count_down(node_->refs)) {
            delete node_;
        }
        node_ = nullptr;
    }
    TermNode* node_ = nullptr;
};

} // namespace voralix
