#include "util/digest.hpp"

#include <openssl/evp.h>

#include <new>

namespace voralix {

namespace {

const EVP_MD* sha256_md()
{
    // Explicit fetch once: OpenSSL 3's implicit fetch costs hundreds of ns per digest.
    static const EVP_MD* md = [] {
        const EVP_MD* m = EVP_MD_fetch(nullptr, "SHA256", nullptr);
        return m != nullptr ? m : EVP_sha256();
    }();
    return md;
}

EVP_MD_CTX* thread_ctx()
{
    struct Holder {
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        ~Holder() { EVP_MD_CTX_free(ctx); }
    };
    thread_local Holder h;
    if (h.ctx == nullptr) throw std::bad_alloc();
    return h.ctx;
}

} // namespace

Digest sha256(std::string_view a, std::string_view b, std::string_view c, std::string_view d)
{
    EVP_MD_CTX* ctx = thread_ctx();
    if (EVP_DigestInit_ex2(ctx, sha256_md(), nullptr) != 1) throw std::bad_alloc();
    for (std::string_view piece : {a, b, c, d}) {
        if (!piece.empty()) EVP_DigestUpdate(ctx, piece.data(), piece.size());
    }
    Digest out{};
    unsigned int len = 0;
    EVP_DigestFinal_ex(ctx, out.data(), &len);
    return out;
}

void digest_to_hex(const Digest& d, char* out) noexcept
{
    static constexpr char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < d.size(); ++i) {
        out[2 * i] = kHex[d[i] >> 4];
        out[2 * i + 1] = kHex[d[i] & 0xF];
    }
}

std::string digest_hex(const Digest& d)
{
    std::string s(kUidHexLength, '\0');
    digest_to_hex(d, s.data());
    return s;
}

bool hex_to_digest(std::string_view hex, Digest& out) noexcept
{
    if (hex.size() != kUidHexLength) return false;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < out.size(); ++i) {
        int hi = nibble(hex[2 * i]);
        int lo = nibble(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return true;
}

} // namespace voralix
