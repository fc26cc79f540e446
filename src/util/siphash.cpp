#include "util/siphash.hpp"

#include <cstring>

namespace voralix {

namespace {
inline std::uint64_t rotl(std::uint64_t x, int b) noexcept
{
    return (x << b) | (x >> (64 - b));
}

inline void round(std::uint64_t& v0, std::uint64_t& v1, std::uint64_t& v2,
                  std::uint64_t& v3) noexcept
{
    v0 += v1;
    v1 = rotl(v1, 13);
    v1 ^= v0;
    v0 = rotl(v0, 32);
    v2 += v3;
    v3 = rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = rotl(v1, 17);
    v1 ^= v2;
    v2 = rotl(v2, 32);
}
} // namespace

void SipHash13::compress(std::uint64_t m) noexcept
{
    v3_ ^= m;
    round(v0_, v1_, v2_, v3_);
    v0_ ^= m;
}

void SipHash13::update(const void* data, std::size_t len) noexcept
{
    const auto* p = static_cast<const unsigned char*>(data);
    total_ += len;
    while (len > 0 && ntail_ != 0) {
        tail_ |= static_cast<std::uint64_t>(*p++) << (8 * ntail_);
        --len;
        if (++ntail_ == 8) {
            compress(tail_);
            tail_ = 0;
            ntail_ = 0;
        }
    }
    while (len >= 8) {
        std::uint64_t m;
        std::memcpy(&m, p, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        m = __builtin_bswap64(m);
#endif
        compress(m);
        p += 8;
        len -= 8;
    }
    while (len > 0) {
        tail_ |= static_cast<std::uint64_t>(*p++) << (8 * ntail_);
        ++ntail_;
        --len;
    }
}

void SipHash13::update_u64le(std::uint64_t w) noexcept
{
    unsigned char b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(w >> (8 * i));
    update(b, 8);
}

std::uint64_t SipHash13::finish() const noexcept
{
    std::uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
    const std::uint64_t b = (total_ << 56) | tail_;
    v3 ^= b;
    round(v0, v1, v2, v3);
    v0 ^= b;
    v2 ^= 0xff;
    round(v0, v1, v2, v3);
    round(v0, v1, v2, v3);
    round(v0, v1, v2, v3);
    return v0 ^ v1 ^ v2 ^ v3;
}

} // namespace voralix
