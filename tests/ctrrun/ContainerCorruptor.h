//===- ContainerCorruptor.h - Damaged .ctrx containers that still check out ===//
//
// Takes a sound container apart and damages it where a reader looks: the
// WebAssembly module's sections, counts, LEB128s and names, the interface
// description's JSON, the names list, the header and section table, the
// compressed bytes and the file's length.  After damaging content it seals
// the container again as ctrpack would (lengths, SHA-256s, compression,
// the table digest), and after damaging the table it still recomputes the
// table digest, so that the damage reaches the checks and readers behind
// the digests instead of stopping at them.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_TESTS_CTRRUN_CONTAINERCORRUPTOR_H
#define ZO_TESTS_CTRRUN_CONTAINERCORRUPTOR_H

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace zotest {

struct DamagedContainer {
  std::string bytes;
  std::vector<std::string> steps; // what was done, in order, for the report
  // Who must refuse it, whatever else was damaged: every reader when its
  // interface description is not JSON, or not strict JSON; ctrrun when the
  // description is of another version.
  enum class Refusal { None, Ctrrun, EveryReader } refusal = Refusal::None;
};

/// Derives one damaged container from \p sound (a container ctrpack wrote)
/// and \p seed alone: the same arguments give the same bytes.
DamagedContainer damageContainer(const std::string &sound, uint64_t seed);

} // namespace zotest

#endif
