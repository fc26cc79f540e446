// An open-addressing hash map (linear probing, no erase) for small keys with
// a reserved "empty" key. Indexing millions of entries in one pass (the JSON
// writer's type table) spends its time in std::unordered_map's per-node
// allocations and pointer chasing; one flat array of slots avoids both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace voralix {

// Hash mixing for keys that are already well spread or are pointers.
inline std::size_t mix_hash(std::uint64_t x) noexcept
{
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    return static_cast<std::size_t>(x);
}

template <class K, class V, class Hash, class Eq = std::equal_to<K>>
class FlatMap {
public:
    // `empty` is a key that is never inserted.
    explicit FlatMap(K empty) : empty_(std::move(empty)) {}

    std::size_t size() const noexcept { return size_; }

    // The value of `key`, inserting `value` first when the key is new.
    // Returns the value and whether it was inserted.
    std::pair<V&, bool> try_emplace(const K& key, V value)
    {
        if ((size_ + 1) * 2 > slots_.size()) grow();
        std::size_t i = Hash()(key) & mask_;
        while (true) {
            Slot& s = slots_[i];
            if (Eq()(s.key, empty_)) {
                s.key = key;
                s.value = std::move(value);
                ++size_;
                return {s.value, true};
            }
            if (Eq()(s.key, key)) return {s.value, false};
            i = (i + 1) & mask_;
        }
    }

    // The value of `key`, or null.
    V* find(const K& key) noexcept
    {
        if (slots_.empty()) return nullptr;
        std::size_t i = Hash()(key) & mask_;
        while (true) {
            Slot& s = slots_[i];
            if (Eq()(s.key, key)) return &s.value;
            if (Eq()(s.key, empty_)) return nullptr;
            i = (i + 1) & mask_;
        }
    }

private:
    struct Slot {
        K key;
        V value;
    };

    void grow()
    {
        std::vector<Slot> old = std::move(slots_);
        const std::size_t capacity = old.empty() ? 64 : old.size() * 2;
        slots_.assign(capacity, Slot{empty_, V()});
        mask_ = capacity - 1;
        size_ = 0;
        for (Slot& s : old) {
            if (!Eq()(s.key, empty_)) try_emplace(s.key, std::move(s.value));
        }
    }

    K empty_;
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
};

} // namespace voralix
