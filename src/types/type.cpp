#include "types/type.hpp"

#include "util/small_stack.hpp"

#include <cstring>

namespace voralix {

namespace {
constexpr std::uint8_t kUidReady = 1;
constexpr std::uint8_t kHashReady = 2;

bool has_flag(const TypeNode* n, std::uint8_t f) noexcept
{
    return (n->cache_flags.load(std::memory_order_acquire) & f) != 0;
}
void set_flag(const TypeNode* n, std::uint8_t f) noexcept
{
    n->cache_flags.fetch_or(f, std::memory_order_release);
}
const VariableNode* as_var(const TypeNode* n) noexcept
{
    return static_cast<const VariableNode*>(n);
}
const ApplicationNode* as_app(const TypeNode* n) noexcept
{
    return static_cast<const ApplicationNode*>(n);
}
} // namespace

Type Type::variable(std::string name)
{
    return Type(new VariableNode(std::move(name)));
}

Type Type::application(const Type& left, const Type& right)
{
    retain(left.node_);
    retain(right.node_);
    return Type(new ApplicationNode(left.node_, right.node_));
}

void Type::destroy(const TypeNode* n) noexcept
{
    // Dead nodes are chained through free_link so that releasing a deep tree
    // needs neither recursion nor allocation.
    auto* pending = const_cast<TypeNode*>(n);
    pending->free_link = nullptr;
    while (pending != nullptr) {
        TypeNode* cur = pending;
        pending = cur->free_link;
        if (cur->kind == TypeKind::Application) {
            auto* a = static_cast<ApplicationNode*>(cur);
            for (const TypeNode* child : {a->left, a->right}) {
                if (count_down(child->refs)) {
                    auto* c = const_cast<TypeNode*>(child);
                    c->free_link = pending;
                    pending = c;
                }
            }
            delete a;
        } else {
            delete static_cast<VariableNode*>(cur);
        }
    }
}

void Type::append_text(std::string& out) const
{
    // Stack entries are nodes still to print or the two literal separators.
    enum Tok : std::uint8_t { Node, Arrow, Close };
    struct Item {
        const TypeNode* node;
        Tok tok;
    };
    SmallStack<Item> stack;
    stack.push({node_, Node});
    while (!stack.empty()) {
        Item it = stack.pop();
        switch (it.tok) {
        case Arrow: out += " -> "; break;
        case Close: out += ')'; break;
        case Node:
            if (it.node->kind == TypeKind::Variable) {
                out += as_var(it.node)->name;
            } else {
                out += '(';
                stack.push({nullptr, Close});
                stack.push({as_app(it.node)->right, Node});
                stack.push({nullptr, Arrow});
                stack.push({as_app(it.node)->left, Node});
            }
            break;
        }
    }
}

std::string Type::text() const
{
    if (is_variable()) return std::string(name());
    std::string out;
    append_text(out);
    return out;
}

const Digest& Type::uid_digest() const
{
    if (has_flag(node_, kUidReady)) return node_->uid_cache;
    // Post-order walk: a node is digested once both children are.
    SmallStack<const TypeNode*> stack;
    stack.push(node_);
    while (!stack.empty()) {
        const TypeNode* n = stack.top();
        if (has_flag(n, kUidReady)) {
            stack.pop();
            continue;
        }
        if (n->kind == TypeKind::Variable) {
            n->uid_cache = sha256("var:", as_var(n)->name);
        } else {
            const ApplicationNode* a = as_app(n);
            bool l = has_flag(a->left, kUidReady), r = has_flag(a->right, kUidReady);
            if (!l || !r) {
                if (!r) stack.push(a->right);
                if (!l) stack.push(a->left);
                continue;
            }
            char lhex[kUidHexLength], rhex[kUidHexLength];
            digest_to_hex(a->left->uid_cache, lhex);
            digest_to_hex(a->right->uid_cache, rhex);
            n->uid_cache = sha256("app:", std::string_view(lhex, kUidHexLength), ":",
                                  std::string_view(rhex, kUidHexLength));
        }
        set_flag(n, kUidReady);
        stack.pop();
    }
    return node_->uid_cache;
}

void Type::feed_encoding(SipHash13& h) const
{
    // E(var) = tag 0, name, 0xFF, zero word; E(app) = tag 1, E(left), E(right), zero word.
    struct Item {
        const TypeNode* node; // null: emit the closing zero word of an application
    };
    SmallStack<Item> stack;
    stack.push({node_});
    while (!stack.empty()) {
        Item it = stack.pop();
        if (it.node == nullptr) {
            h.update_u64le(0);
        } else if (it.node->kind == TypeKind::Variable) {
            h.update_u64le(0);
            h.update(as_var(it.node)->name);
            h.update_byte(0xFF);
            h.update_u64le(0);
        } else {
            h.update_u64le(1);
            stack.push({nullptr});
            stack.push({as_app(it.node)->right});
            stack.push({as_app(it.node)->left});
        }
    }
}

std::int64_t Type::python_hash() const
{
    if (!has_flag(node_, kHashReady)) {
        SipHash13 h;
        if (is_variable()) {
            h.update(name());
            h.update_byte(0xFF);
        } else {
            Type::share(app()->left).feed_encoding(h);
            Type::share(app()->right).feed_encoding(h);
        }
        node_->hash_cache = h.finish();
        set_flag(node_, kHashReady);
    }
    return to_python_hash(node_->hash_cache);
}

bool Type::equal(const TypeNode* a, const TypeNode* b)
{
    struct Pair {
        const TypeNode* a;
        const TypeNode* b;
    };
    SmallStack<Pair> stack;
    for (;;) {
        if (a != b) {
            if (a->kind != b->kind) return false;
            if (a->kind == TypeKind::Variable) {
                if (as_var(a)->name != as_var(b)->name) return false;
            } else if (has_flag(a, kUidReady) && has_flag(b, kUidReady)) {
                // Both digests are known: equal content has equal digests.
                if (a->uid_cache != b->uid_cache) return false;
            } else {
                stack.push({as_app(a)->right, as_app(b)->right});
                a = as_app(a)->left;
                b = as_app(b)->left;
                continue;
            }
        }
        if (stack.empty()) return true;
        Pair p = stack.pop();
        a = p.a;
        b = p.b;
    }
}

} // namespace voralix
