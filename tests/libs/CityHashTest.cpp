//===- CityHashTest.cpp - CityHash64 against an independent implementation -===//
//
// Expected values were computed with Abseil's absl::hash_internal::CityHash64,
// CityHash64WithSeed and CityHash64WithSeeds (Debian libabsl-dev
// 20220623.1-1+deb12u2), Google's own copy of CityHash 1.1, on the same
// input bytes as below.  The npm package @anglinb/city-hash 1.1.0 was not
// usable as an oracle: it implements the older 1.0.2 variant.
//
//===----------------------------------------------------------------------===//

#include "cityhash/city.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// 300 pseudo-random bytes: the top byte of successive 64-bit LCG states
// (Knuth's MMIX constants) starting from 1.
std::vector<char> input_bytes() {
  std::vector<char> bytes(300);
  std::uint64_t x = 1;
  for (char &c : bytes) {
    x = x * 6364136223846793005ULL + 1442695040888963407ULL;
    c = static_cast<char>(x >> 56);
  }
  return bytes;
}

struct Vector {
  std::size_t length;
  std::uint64_t hash;       // CityHash64
  std::uint64_t with_seed;  // CityHash64WithSeed(..., 0x0123456789abcdef)
  std::uint64_t with_seeds; // CityHash64WithSeeds(..., 0xfedcba9876543210, 42)
};

// Every length class: 0, 1-3, 4-7, 8-16, 17-32, 33-64, and past 64 bytes
// both multiples of 64 and not.
const Vector vectors[] = {
    {0, 0x9ae16a3b2f90404fULL, 0x9f48347ecc763bbaULL, 0x139168e9c36e0d11ULL},
    {1, 0xadb05f6a88d9fcf1ULL, 0xe09362e0317da702ULL, 0xb3a151a39e8fd12cULL},
    {2, 0xe9c81aecddf8c8ceULL, 0x029b02aae05efc7cULL, 0xe6d2a1056386fd6aULL},
    {3, 0xef7afba8654851fdULL, 0x019dffb230ff60edULL, 0x3a2e225068b7aac9ULL},
    {4, 0x162b147775d0c582ULL, 0x100a126f6041b961ULL, 0x1cd704dc050cdda1ULL},
    {5, 0xe90752ee0ca2355dULL, 0x1c8fcc568cc5f7e8ULL, 0x7f7be6fffd892fa2ULL},
    {7, 0xe0d1e1e854873fd0ULL, 0xdcfc3dec3d2deee0ULL, 0x5512cb134a6fc8e8ULL},
    {8, 0x5e1993f470761d22ULL, 0x11839914ba8339f9ULL, 0xa26bd152dfc604fbULL},
    {9, 0x16577cd710288ec9ULL, 0x26ce8aeff826fdc8ULL, 0x45c2fe062b4746feULL},
    {15, 0x616c10d8b637d78bULL, 0x792db5814a2db66aULL, 0x02319d5404df7137ULL},
    {16, 0x52f136a55199c42fULL, 0x75c5a67cae258058ULL, 0x335006cab6d8e39aULL},
    {17, 0xd5a327520f9a22b9ULL, 0x8cd5155eb80d7c1eULL, 0x077ec37ea5485bdcULL},
    {24, 0x866d8109b7d8c84aULL, 0x3a88a536b2117949ULL, 0x58c4e61abf6f4219ULL},
    {31, 0x0f14c44b5a54fb5eULL, 0xe3686d19f3ceabbaULL, 0x0a5b37779f48b099ULL},
    {32, 0xf17dda6866aa25ddULL, 0x3920ed49c8505e1fULL, 0x88a87b0d9ad5a361ULL},
    {33, 0x8dc038541bd43d38ULL, 0xbcc27b8eca81b5a8ULL, 0x50ea5477c900b822ULL},
    {40, 0xcbb20780e09f6498ULL, 0xd26cb6676ab3832cULL, 0x461eebffae265da5ULL},
    {48, 0x6182f385423a417bULL, 0x5cf3e320f55a71bdULL, 0x5e2b589015e2c2c5ULL},
    {63, 0x397f457c72f7a7d7ULL, 0x65da9a42ce9b7446ULL, 0x9797a9c6e6bfa094ULL},
    {64, 0x54e067acd9d87e41ULL, 0x82f2ff49a57cc05aULL, 0x7e00857bb7bcff10ULL},
    {65, 0x916e6e49d3f1da9cULL, 0x7358329313b33a95ULL, 0x73a8545fbd67d79eULL},
    {100, 0x83ed10b04697e7ccULL, 0x5b182660b3c6fdcfULL, 0xbce87ab865eaa4c7ULL},
    {127, 0xf90f6309b1418333ULL, 0xbc671cf996ba363cULL, 0x4116ad53ff15b9daULL},
    {128, 0xcaae9b9cb24d88a5ULL, 0x6347cdba279b02b6ULL, 0xfe23fd23ff661351ULL},
    {129, 0x12ada7aa9ebb96dbULL, 0x9f396c71b831ab1aULL, 0x7f45aec81c074933ULL},
    {191, 0xa0eec57b41e5fd39ULL, 0x836b1f55a7b0ca58ULL, 0x57ff8344248a2e3aULL},
    {192, 0xfa6c4887fc53730fULL, 0x4e5fa130dec924beULL, 0xef2280beb0b11d38ULL},
    {200, 0x29f4bacb0a675b3eULL, 0x3254f6445560057cULL, 0x2f06866e8d3b56e6ULL},
    {256, 0xb81720f98641932aULL, 0xc05a40af662a9da8ULL, 0xda9365f8e83dc473ULL},
    {300, 0x90b2a6f150f26fa3ULL, 0x93300c460df44c1fULL, 0x055eb907fa62843aULL},
};

TEST(CityHash, MatchesReferenceForEveryLengthClass) {
  std::vector<char> bytes = input_bytes();
  for (const Vector &v : vectors) {
    SCOPED_TRACE("length " + std::to_string(v.length));
    // Exactly `length` bytes, so that a read past the end is an overflow a
    // memory checker reports.
    std::vector<char> buf(bytes.begin(), bytes.begin() + v.length);
    EXPECT_EQ(CityHash64(buf.data(), buf.size()), v.hash);
    EXPECT_EQ(CityHash64WithSeed(buf.data(), buf.size(), 0x0123456789abcdefULL), v.with_seed);
    EXPECT_EQ(CityHash64WithSeeds(buf.data(), buf.size(), 0xfedcba9876543210ULL, 42), v.with_seeds);
  }
}

TEST(CityHash, TextAndUnalignedInput) {
  const char *text = "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(CityHash64("hello world", 11), 0x588fb7478bd6b01bULL);
  EXPECT_EQ(CityHash64(text, std::strlen(text)), 0xc268724928feca7dULL);
  EXPECT_EQ(CityHash64(nullptr, 0), 0x9ae16a3b2f90404fULL);
  // Word loads must not depend on the buffer's alignment.
  std::vector<char> bytes = input_bytes();
  std::vector<char> shifted(bytes.size() + 3);
  for (std::size_t offset = 1; offset <= 3; ++offset) {
    std::memcpy(shifted.data() + offset, bytes.data(), bytes.size());
    EXPECT_EQ(CityHash64(shifted.data() + offset, 300), 0x90b2a6f150f26fa3ULL) << offset;
    EXPECT_EQ(CityHash64(shifted.data() + offset, 40), 0xcbb20780e09f6498ULL) << offset;
  }
}

} // namespace
