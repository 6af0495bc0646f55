/* A digest and a codec in C: FNV-1a over bytes, and lowercase hex. */
#include <stddef.h>
#include <stdint.h>

uint32_t codec_digest(const unsigned char *data, size_t size) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i) {
    hash ^= data[i];
    hash *= 16777619u;
  }
  return hash;
}

void codec_hex(const unsigned char *data, size_t size, char *out) {
  static const char digits[] = "0123456789abcdef";
  for (size_t i = 0; i < size; ++i) {
    out[2 * i] = digits[data[i] >> 4];
    out[2 * i + 1] = digits[data[i] & 15];
  }
}
