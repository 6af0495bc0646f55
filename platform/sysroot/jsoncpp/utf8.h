//===- utf8.h - UTF-8 well-formedness ----------------------------*- C++ -*-===//

#ifndef JSONCPP_UTF8_H
#define JSONCPP_UTF8_H

#include <cstddef>
#include <string>

namespace json::detail {

// Length of the well-formed UTF-8 sequence at s (n bytes available), or 0.
// Overlong forms, UTF-16 surrogates and code points past U+10FFFF are
// ill-formed.
inline std::size_t utf8_sequence(const unsigned char *s, std::size_t n) {
  auto in = [](unsigned char c, unsigned char lo, unsigned char hi) { return c >= lo && c <= hi; };
  unsigned char c = s[0];
  if (c < 0x80)
    return 1;
  if (in(c, 0xC2, 0xDF))
    return n >= 2 && in(s[1], 0x80, 0xBF) ? 2 : 0;
  if (in(c, 0xE0, 0xEF)) {
    unsigned char lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
    return n >= 3 && in(s[1], lo, hi) && in(s[2], 0x80, 0xBF) ? 3 : 0;
  }
  if (in(c, 0xF0, 0xF4)) {
    unsigned char lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
    return n >= 4 && in(s[1], lo, hi) && in(s[2], 0x80, 0xBF) && in(s[3], 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

inline void append_utf8(std::string &out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

} // namespace json::detail

#endif
