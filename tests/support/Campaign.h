//===- Campaign.h - The cases of one shard of a seeded campaign -----------===//

#ifndef ZO_TESTS_SUPPORT_CAMPAIGN_H
#define ZO_TESTS_SUPPORT_CAMPAIGN_H

#include <cstdint>
#include <cstdlib>

namespace zotest {

/// The seeds a shard runs, first to last; empty when ZO_CAMPAIGN_CASE names
/// a case of another shard.
struct CaseRange {
  uint64_t first, last;
  bool empty() const { return first > last; }
};

/// Shard N of a campaign runs seeds N * perShard + 1 to (N + 1) * perShard,
/// or only the seed ZO_CAMPAIGN_CASE names, so that a failure replays alone.
inline CaseRange shardCases(int shard, uint64_t perShard) {
  CaseRange range{1 + uint64_t(shard) * perShard, uint64_t(shard + 1) * perShard};
  if (const char *only = std::getenv("ZO_CAMPAIGN_CASE")) {
    uint64_t seed = std::strtoull(only, nullptr, 10);
    range = seed < range.first || seed > range.last ? CaseRange{1, 0} : CaseRange{seed, seed};
  }
  return range;
}

} // namespace zotest

#endif
