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

// Unsigned LEB128; padded to \p width bytes when that is more than it
// needs (overlong: modules may pad up to 5 bytes, not beyond).
inline std::string leb(uint32_t value, size_t width = 0) {
  std::string out;
  do {
    uint8_t byte = value & 0x7f;
    value >>= 7;
    bool more = value || out.size() + 1 < width;
    out += char(more ? byte | 0x80 : byte);
  } while (value || out.size() < width);
  return out;
}

// Signed LEB128, as i32.const takes its operand.
inline std::string sleb(int32_t value) {
  std::string out;
  for (;;) {
    uint8_t byte = value & 0x7f;
    value >>= 7;
    bool done = (value == 0 && !(byte & 0x40)) || (value == -1 && (byte & 0x40));
    out += char(done ? byte : byte | 0x80);
    if (done)
      return out;
  }
}

// A name: its length, then its bytes.
inline std::string str(const std::string &s) { return leb(s.size()) + s; }

inline std::string section(uint8_t id, const std::string &payload) {
  return char(id) + leb(payload.size()) + payload;
}

} // namespace zotest::wasm

#endif
