// Hashes and signature checks, computed by the host and metered by the
// bytes they read: SHA-256, BLAKE2b with a 32-byte digest, and Ed25519
// signature verification.
#ifndef CORVANE_CRYPTO_HPP
#define CORVANE_CRYPTO_HPP

#include <corvane/host.h>

#include <array>
#include <cstdint>
#include <string_view>

namespace corvane {

using hash256 = std::array<uint8_t, 32>;
using ed25519_signature = std::array<uint8_t, 64>;
using ed25519_public_key = std::array<uint8_t, 32>;

inline hash256 sha256(std::string_view data) {
  hash256 digest;
  corvane_sha256(data.data(), static_cast<uint32_t>(data.size()), digest.data());
  return digest;
}

inline hash256 blake2b_256(std::string_view data) {
  hash256 digest;
  corvane_blake2b_256(data.data(), static_cast<uint32_t>(data.size()), digest.data());
  return digest;
}

// Whether `signature` signs `message` under `key`.
inline bool verify_ed25519(const ed25519_signature &signature, std::string_view message,
                           const ed25519_public_key &key) {
  return corvane_verify_ed25519(signature.data(), message.data(),
                                static_cast<uint32_t>(message.size()), key.data()) != 0;
}

} // namespace corvane

#endif
