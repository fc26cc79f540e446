// SHA-256 digests (OpenSSL libcrypto) and their lowercase hexadecimal form.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace voralix {

using Digest = std::array<std::uint8_t, 32>;
constexpr std::size_t kUidHexLength = 64;

// SHA-256 of the concatenation of up to four pieces. The algorithm is fetched
// once per process and one digest context is reused per thread.
Digest sha256(std::string_view a, std::string_view b = {}, std::string_view c = {},
              std::string_view d = {});

// Writes the 64 lowercase hex digits of `d` into `out` (which must hold 64 chars).
void digest_to_hex(const Digest& d, char* out) noexcept;
std::string digest_hex(const Digest& d);
// Parses 64 hex digits (either case is not accepted: uids are lowercase).
bool hex_to_digest(std::string_view hex, Digest& out) noexcept;

} // namespace voralix
