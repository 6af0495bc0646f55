/*===- cityhash/city.h - CityHash64 -----------------------------------------===
 *
 * Google's CityHash64, version 1.1: a fast non-cryptographic 64-bit hash.
 * Results are bit-exact with the published algorithm on every platform
 * (input words are read little-endian), so hashes may be stored and compared
 * across hosts.  Not suitable where an adversary picks the input to collide.
 *
 *===----------------------------------------------------------------------===*/

#ifndef CITYHASH_CITY_H
#define CITYHASH_CITY_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Hash of the len bytes at buf (buf may be null when len is 0). */
uint64_t CityHash64(const char *buf, size_t len);

/* Hash of the bytes mixed with one seed: CityHash64WithSeeds(buf, len,
 * 0x9ae16a3b2f90404f, seed). */
uint64_t CityHash64WithSeed(const char *buf, size_t len, uint64_t seed);

/* Hash of the bytes mixed with two seeds. */
uint64_t CityHash64WithSeeds(const char *buf, size_t len, uint64_t seed0, uint64_t seed1);

#ifdef __cplusplus
}
#endif

#endif
