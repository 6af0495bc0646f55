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

// A module whose one function, of type () -> (), is exported as "apply";
// `body` is its code without locals and without the closing end.
inline std::string applyModule(const std::string &body = "") {
  std::string code = std::string(1, '\0') + body + "\x0b";
  return Header + section(1, std::string("\x01\x60\x00\x00", 4)) +
         section(3, std::string("\x01\x00", 2)) +
         section(7, leb(1) + str("apply") + '\0' + leb(0)) +
         section(10, leb(1) + leb(code.size()) + code);
}

// Instructions that open a block of empty type; an if takes its condition.
inline const std::string OpenBlock("\x02\x40", 2), OpenLoop("\x03\x40", 2),
    OpenIf("\x41\x01\x04\x40", 4);

// `depth` blocks opened with `open`, one inside the other, and their ends.
inline std::string nested(const std::string &open, size_t depth) {
  std::string code;
  code.reserve(depth * (open.size() + 1));
  for (size_t i = 0; i < depth; ++i)
    code += open;
  return code + std::string(depth, '\x0b');
}

} // namespace zotest::wasm

#endif
