// The immutable Type value: a type variable or a function type (left -> right).
// Values are shared trees with atomic reference counts; every walk over them
// (text form, uid, equality, hash encoding, release) uses an explicit stack so
// that arbitrarily deep types never overflow the C stack.
#pragma once

#include "util/digest.hpp"
#include "util/refcount.hpp"
#include "util/siphash.hpp"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace voralix {

enum class TypeKind : std::uint8_t { Variable, Application };

struct TypeNode {
    mutable std::atomic<std::size_t> refs{1};
    TypeKind kind;
    // Lazily filled caches of values that depend only on the immutable content.
    mutable std::atomic<std::uint8_t> cache_flags{0};
    mutable std::uint64_t hash_cache = 0;
    mutable Digest uid_cache{};
    TypeNode* free_link = nullptr; // used only while a dead subtree is released
    // The node number an adjacency index gave the graph node of this type,
    // valid while index_stamp is that index's stamp (see AdjacencyIndex).
    mutable std::uint64_t index_stamp = 0;
    mutable std::uint32_t index_id = 0;

    explicit TypeNode(TypeKind k) noexcept : kind(k) {}
};

struct VariableNode : TypeNode {
    std::string name;
    explicit VariableNode(std::string n) : TypeNode(TypeKind::Variable), name(std::move(n)) {}
};

struct ApplicationNode : TypeNode {
    const TypeNode* left;
    const TypeNode* right;
    ApplicationNode(const TypeNode* l, const TypeNode* r) noexcept
        : TypeNode(TypeKind::Application), left(l), right(r)
    {
    }
};

// A shared reference to an immutable type tree. A default-constructed Type is
// empty (null); every Type handed out by the factories is non-empty.
class Type {
public:
    Type() noexcept = default;
    static Type variable(std::string name);
    static Type application(const Type& left, const Type& right);

    Type(const Type& o) noexcept : node_(o.node_) { retain(node_); }
    Type(Type&& o) noexcept : node_(std::exchange(o.node_, nullptr)) {}
    Type& operator=(const Type& o) noexcept
    {
        if (node_ != o.node_) {
            retain(o.node_);
            release(std::exchange(node_, o.node_));
        }
        return *this;
    }
    Type& operator=(Type&& o) noexcept
    {
        if (this != &o) release(std::exchange(node_, std::exchange(o.node_, nullptr)));
        return *this;
    }
    ~Type() { release(node_); }

    explicit operator bool() const noexcept { return node_ != nullptr; }
    const TypeNode* node() const noexcept { return node_; }
    bool is_variable() const noexcept { return node_->kind == TypeKind::Variable; }
    bool is_application() const noexcept { return node_->kind == TypeKind::Application; }

    // Variable only.
    std::string_view name() const noexcept { return static_cast<const VariableNode*>(node_)->name; }
    // Application only: new shared references to the children.
    Type left() const noexcept { return Type::share(app()->left); }
    Type right() const noexcept { return Type::share(app()->right); }
    const TypeNode* left_node() const noexcept { return app()->left; }
    const TypeNode* right_node() const noexcept { return app()->right; }

    // Builds a new shared reference to an existing node.
    static Type share(const TypeNode* n) noexcept
    {
        retain(n);
        return Type(n);
    }

    // Text form: a variable's name; "(" left " -> " right ")" for a function type.
    std::string text() const;
    void append_text(std::string& out) const;

    // SHA-256 of "var:" + name, or of "app:" + uid(left) + ":" + uid(right).
    const Digest& uid_digest() const;
    std::string uid() const { return digest_hex(uid_digest()); }

    // Feeds the content encoding E(t) used by the hashes of types and terms.
    void feed_encoding(SipHash13& h) const;
    // hash() of the Python Variable / Application object holding this type.
    std::int64_t python_hash() const;

    // Structural equality; shared subtrees compare equal without descent.
    friend bool operator==(const Type& a, const Type& b) { return equal(a.node_, b.node_); }
    static bool equal(const TypeNode* a, const TypeNode* b);

private:
    explicit Type(const TypeNode* n) noexcept : node_(n) {}
    const ApplicationNode* app() const noexcept
    {
        return static_cast<const ApplicationNode*>(node_);
    }
    static void retain(const TypeNode* n) noexcept
    {
        if (n != nullptr) count_up(n->refs);
    }
    static void release(const TypeNode* n) noexcept
    {
        if (n != nullptr && count_down(n->refs)) destroy(n);
    }
    // Frees a node whose count reached zero, and every child that dies with it.
    static void destroy(const TypeNode* n) noexcept;

    const TypeNode* node_ = nullptr;
};

} // namespace voralix
