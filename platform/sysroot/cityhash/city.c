/*===- city.c - CityHash64 version 1.1 ---------------------------------------===
 *
 * Inputs are split by length into classes 0-16, 17-32, 33-64 and longer;
 * longer inputs hash their last 64 bytes first and then every 64-byte chunk
 * from the start, keeping 56 bytes of state.
 *
 *===----------------------------------------------------------------------===*/

#include "cityhash/city.h"

#include <string.h>

static const uint64_t k0 = 0xc3a5c85c97cb3127ULL;
static const uint64_t k1 = 0xb492b66fbe98f273ULL;
static const uint64_t k2 = 0x9ae16a3b2f90404fULL;
static const uint64_t kMul = 0x9ddfea08eb382d69ULL;

/* The algorithm is defined on little-endian words; memcpy keeps unaligned
 * reads legal and compiles to a plain load on wasm32 and x86-64. */
static uint64_t fetch64(const char *p) {
  uint64_t v;
  memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}

static uint32_t fetch32(const char *p) {
  uint32_t v;
  memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  return v;
}

static uint64_t rotate(uint64_t v, int shift) {
  return shift == 0 ? v : (v >> shift) | (v << (64 - shift));
}

static uint64_t shift_mix(uint64_t v) { return v ^ (v >> 47); }

static uint64_t hash_len16_mul(uint64_t u, uint64_t v, uint64_t mul) {
  uint64_t a = (u ^ v) * mul;
  a ^= a >> 47;
  uint64_t b = (v ^ a) * mul;
  b ^= b >> 47;
  return b * mul;
}

/* Hash128to64 of the pair (low u, high v). */
static uint64_t hash_len16(uint64_t u, uint64_t v) { return hash_len16_mul(u, v, kMul); }

static uint64_t hash_len0to16(const char *s, size_t len) {
  if (len >= 8) {
    uint64_t mul = k2 + len * 2;
    uint64_t a = fetch64(s) + k2;
    uint64_t b = fetch64(s + len - 8);
    uint64_t c = rotate(b, 37) * mul + a;
    uint64_t d = (rotate(a, 25) + b) * mul;
    return hash_len16_mul(c, d, mul);
  }
  if (len >= 4) {
    uint64_t mul = k2 + len * 2;
    uint64_t a = fetch32(s);
    return hash_len16_mul(len + (a << 3), fetch32(s + len - 4), mul);
  }
  if (len > 0) {
    uint8_t a = (uint8_t)s[0];
    uint8_t b = (uint8_t)s[len >> 1];
    uint8_t c = (uint8_t)s[len - 1];
    uint32_t y = (uint32_t)a + ((uint32_t)b << 8);
    uint32_t z = (uint32_t)len + ((uint32_t)c << 2);
    return shift_mix(y * k2 ^ z * k0) * k2;
  }
  return k2;
}

static uint64_t hash_len17to32(const char *s, size_t len) {
  uint64_t mul = k2 + len * 2;
  uint64_t a = fetch64(s) * k1;
  uint64_t b = fetch64(s + 8);
  uint64_t c = fetch64(s + len - 8) * mul;
  uint64_t d = fetch64(s + len - 16) * k2;
  return hash_len16_mul(rotate(a + b, 43) + rotate(c, 30) + d, a + rotate(b + k2, 18) + c, mul);
}

static uint64_t hash_len33to64(const char *s, size_t len) {
  uint64_t mul = k2 + len * 2;
  uint64_t a = fetch64(s) * k2;
  uint64_t b = fetch64(s + 8);
  uint64_t c = fetch64(s + len - 24);
  uint64_t d = fetch64(s + len - 32);
  uint64_t e = fetch64(s + 16) * k2;
  uint64_t f = fetch64(s + 24) * 9;
  uint64_t g = fetch64(s + len - 8);
  uint64_t h = fetch64(s + len - 16) * mul;
  uint64_t u = rotate(a + g, 43) + (rotate(b, 30) + c) * 9;
  uint64_t v = ((a + g) ^ d) + f + 1;
  uint64_t w = __builtin_bswap64((u + v) * mul) + h;
  uint64_t x = rotate(e + f, 42) + c;
  uint64_t y = (__builtin_bswap64((v + w) * mul) + g) * mul;
  uint64_t z = e + f + c;
  a = __builtin_bswap64((x + z) * mul + y) + b;
  b = shift_mix((z + a) * mul + d + h) * mul;
  return b + x;
}

struct pair64 {
  uint64_t first, second;
};

/* Mixes the 32 bytes at s into the seeds a and b. */
static struct pair64 weak_hash_len32_with_seeds(const char *s, uint64_t a, uint64_t b) {
  uint64_t w = fetch64(s), x = fetch64(s + 8), y = fetch64(s + 16), z = fetch64(s + 24);
  a += w;
  b = rotate(b + a + z, 21);
  uint64_t c = a;
  a += x;
  a += y;
  b += rotate(a, 44);
  struct pair64 r = {a + z, b + c};
  return r;
}

uint64_t CityHash64(const char *s, size_t len) {
  if (len <= 16)
    return hash_len0to16(s, len);
  if (len <= 32)
    return hash_len17to32(s, len);
  if (len <= 64)
    return hash_len33to64(s, len);

  uint64_t x = fetch64(s + len - 40);
  uint64_t y = fetch64(s + len - 16) + fetch64(s + len - 56);
  uint64_t z = hash_len16(fetch64(s + len - 48) + len, fetch64(s + len - 24));
  struct pair64 v = weak_hash_len32_with_seeds(s + len - 64, len, z);
  struct pair64 w = weak_hash_len32_with_seeds(s + len - 32, y + k1, x);
  x = x * k1 + fetch64(s);

  /* The chunks from the start; a partial last chunk was covered above. */
  len = (len - 1) & ~(size_t)63;
  do {
    x = rotate(x + y + v.first + fetch64(s + 8), 37) * k1;
    y = rotate(y + v.second + fetch64(s + 48), 42) * k1;
    x ^= w.second;
    y += v.first + fetch64(s + 40);
    z = rotate(z + w.first, 33) * k1;
    v = weak_hash_len32_with_seeds(s, v.second * k1, x + w.first);
    w = weak_hash_len32_with_seeds(s + 32, z + w.second, y + fetch64(s + 16));
    uint64_t t = z;
    z = x;
    x = t;
    s += 64;
    len -= 64;
  } while (len != 0);
  return hash_len16(hash_len16(v.first, w.first) + shift_mix(y) * k1 + z,
                    hash_len16(v.second, w.second) + x);
}

uint64_t CityHash64WithSeed(const char *s, size_t len, uint64_t seed) {
  return CityHash64WithSeeds(s, len, k2, seed);
}

uint64_t CityHash64WithSeeds(const char *s, size_t len, uint64_t seed0, uint64_t seed1) {
  return hash_len16(CityHash64(s, len) - seed0, seed1);
}
