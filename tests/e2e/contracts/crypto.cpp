// The host's hashes and signature check, called with hex text.
#include <corvane/actions.hpp>
#include <corvane/crypto.hpp>

#include <string>

namespace {

std::string from_hex(const std::string &hex) {
  auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  corvane::check(hex.size() % 2 == 0, "odd hex");
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2)
    bytes += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
  return bytes;
}

template <size_t N> std::string to_hex(const std::array<uint8_t, N> &bytes) {
  const char *digits = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : bytes) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

template <size_t N> std::array<uint8_t, N> array_of(const std::string &hex) {
  std::string bytes = from_hex(hex);
  corvane::check(bytes.size() == N, "wrong length");
  std::array<uint8_t, N> out;
  for (size_t i = 0; i < N; ++i)
    out[i] = static_cast<uint8_t>(bytes[i]);
  return out;
}

} // namespace

std::string sha256(const std::string &hex) { return to_hex(corvane::sha256(from_hex(hex))); }

std::string blake2b(const std::string &hex) { return to_hex(corvane::blake2b_256(from_hex(hex))); }

bool verify(const std::string &signature, const std::string &message, const std::string &key) {
  return corvane::verify_ed25519(array_of<64>(signature), from_hex(message), array_of<32>(key));
}

CORVANE_ACTIONS(sha256, blake2b, verify)
