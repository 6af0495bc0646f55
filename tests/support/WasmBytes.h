//===- WasmBytes.h - Hand-made WebAssembly binaries for tests -------------===//
//
// Tests that feed tools malformed or unusual modules write them byte by
// byte with these.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_TESTS_SUPPORT_WASMBYTES_H
#define ZO_TESTS_SUPPORT_WASMBYTES_H

#include <cstdint>
#include <string>

namespace zotest::wasm {

// The magic and version that begin every module.
inline const std::string Header("\0asm\1\0\0\0", 8);

// Unsigned LEB128.
inline std::string leb(uint32_t value) {
  std::string out;
  do {
    uint8_t byte = value & 0x7f;
    value >>= 7;
    out += char(value ? byte | 0x80 : byte);
  } while (value);
  return out;
}

// A name: its length, then its bytes.
inline std::string str(const std::string &s) { return leb(s.size()) + s; }

inline std::string section(uint8_t id, const std::string &payload) {
  return char(id) + leb(payload.size()) + payload;
}

} // namespace zotest::wasm

#endif
