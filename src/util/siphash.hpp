// Streaming SipHash-1-3 with both keys zero: the content hash of types and terms.
#pragma once

#include <cstdint>
#include <string_view>

namespace voralix {

class SipHash13 {
public:
    void update(const void* data, std::size_t len) noexcept;
    void update(std::string_view s) noexcept { update(s.data(), s.size()); }
    void update_byte(std::uint8_t b) noexcept { update(&b, 1); }
    void update_u64le(std::uint64_t w) noexcept;
    std::uint64_t finish() const noexcept;

private:
    void compress(std::uint64_t m) noexcept;

    std::uint64_t v0_ = 0x736f6d6570736575ULL;
    std::uint64_t v1_ = 0x646f72616e646f6dULL;
    std::uint64_t v2_ = 0x6c7967656e657261ULL;
    std::uint64_t v3_ = 0x7465646279746573ULL;
    std::uint64_t tail_ = 0;  // pending bytes, little-endian
    std::uint32_t ntail_ = 0; // number of pending bytes (0..7)
    std::uint64_t total_ = 0; // bytes absorbed so far
};

// The 64-bit result read as a signed Python hash, with -1 replaced by -2.
inline std::int64_t to_python_hash(std::uint64_t h) noexcept
{
    auto s = static_cast<std::int64_t>(h);
    return s == -1 ? -2 : s;
}

} // namespace voralix
