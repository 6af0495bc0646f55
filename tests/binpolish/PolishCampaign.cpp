//===- PolishCampaign.cpp - Polished modules do what their inputs did -----===//
//
// binaryen's translate-to-fuzz mode turns seeded random bytes into valid
// modules, with NaNs turned into zeros so that every value is comparable.
// The real binpolish polishes each one; wabt's interpreter then runs every
// export of the module before and after, and the two must return the same
// values, trap alike and make the same calls to their imports, in the same
// order.  A module binpolish refuses with its one-line error is counted
// and skipped; a crash, a polished module the interpreter refuses under the
// features the input was generated with, or any difference fails.
//
// The seeds are fixed.  A failure names its case and leaves the input bytes
// and both modules under campaign-failures/case-N; ZO_CAMPAIGN_CASE=N runs
// that case alone.
//
//===----------------------------------------------------------------------===//

#include "Campaign.h"
#include "ExportTrace.h"
#include "Process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>

namespace binpolishtest {
namespace {

namespace fs = std::filesystem;

constexpr int Shards = 4;
constexpr uint64_t CasesPerShard = 75;

using FeatureSwitch = void (wabt::Features::*)();

/// What the generator may use, told to wasm-opt and to wabt alike.
struct FeatureSet {
  const char *name;
  zotest::Args wasmOptFlags;
  std::vector<FeatureSwitch> wabtFeatures;
};

// Reference types are left out: binaryen 108 makes funcref a subtype of
// externref, which the standard does not, and binpolish rightly refuses
// what it generates with them.
const FeatureSet FeatureSets[] = {
    {"mvp", {}, {}},
    {"sign-ext, saturating, bulk memory, multi-value",
     {"--enable-sign-ext", "--enable-nontrapping-float-to-int", "--enable-bulk-memory",
      "--enable-multivalue"},
     {&wabt::Features::enable_sign_extension, &wabt::Features::enable_sat_float_to_int,
      &wabt::Features::enable_bulk_memory, &wabt::Features::enable_multi_value}},
    {"simd", {"--enable-simd"}, {&wabt::Features::enable_simd}},
    {"tail calls", {"--enable-tail-call"}, {&wabt::Features::enable_tail_call}},
};

wabt::Features wabtFeatures(const FeatureSet &set) {
  wabt::Features features;
#define WABT_FEATURE(variable, flag, default_, help) features.disable_##variable();
#include "wabt/feature.def"
#undef WABT_FEATURE
  features.enable_mutable_globals();
  for (FeatureSwitch enable : set.wabtFeatures)
    (features.*enable)();
  return features;
}

std::string describe(const ExportCall &call) {
  std::ostringstream text;
  text << call.name << "(" << call.args << ")";
  for (const std::string &import : call.importCalls)
    text << "\n    calls " << import;
  switch (call.outcome) {
  case ExportCall::Returned:
    text << "\n    returns (" << call.detail << ")";
    break;
  case ExportCall::Trapped:
    text << "\n    traps: " << call.detail;
    break;
  case ExportCall::Exhausted:
    text << "\n    stops: " << call.detail;
    break;
  }
  return text.str();
}

bool sameBehaviour(const ExportCall &a, const ExportCall &b) {
  // Which trap it is may change: binaryen folds a division by zero into
  // `unreachable`, say.  That it traps, and where, may not.
  return a.name == b.name && a.args == b.args && a.importCalls == b.importCalls &&
         a.outcome == b.outcome && (a.outcome != ExportCall::Returned || a.detail == b.detail);
}

struct Tally {
  int polished = 0;
  int callsCompared = 0;
  int trapsCompared = 0;
  int cutShort = 0; // modules whose calls stopped comparing at an exhausted call
  std::map<std::string, int> refusals;
};

class Case {
public:
  Case(uint64_t seed, Tally &tally)
      : seed(seed), tally(tally), set(FeatureSets[seed % std::size(FeatureSets)]) {}

  void run();

private:
  void fail(const std::string &what);
  void compare(const ExportTrace &before, const ExportTrace &after);

  uint64_t seed;
  Tally &tally;
  const FeatureSet &set;
  zotest::TempDir dir{"binpolish-campaign"};
  bool kept = false;
};

void Case::fail(const std::string &what) {
  fs::path keep = fs::path(BINPOLISH_CAMPAIGN_FAILURES) / ("case-" + std::to_string(seed));
  if (!kept) {
    fs::create_directories(keep);
    for (const char *file : {"input.bin", "original.wasm", "polished.wasm"})
      if (fs::exists(dir.path() / file))
        fs::copy_file(dir.path() / file, keep / file, fs::copy_options::overwrite_existing);
    kept = true;
  }
  ADD_FAILURE() << "case " << seed << " (" << set.name << "): " << what
                << "\n  files: " << keep.string() << "\n  replay: ZO_CAMPAIGN_CASE=" << seed;
}

void Case::run() {
  std::mt19937_64 rng(seed);
  std::string bytes(256 + rng() % 3840, '\0');
  for (char &byte : bytes)
    byte = char(rng());
  zotest::writeFile(dir.path() / "input.bin", bytes);

  zotest::Args generate = {"input.bin", "-ttf", "--denan", "-o", "original.wasm"};
  generate.insert(generate.end(), set.wasmOptFlags.begin(), set.wasmOptFlags.end());
  zotest::RunResult generated = zotest::runProcess(BINPOLISH_WASM_OPT, generate, dir.path());
  if (generated.status != 0)
    return fail("wasm-opt could not generate a module: " + generated.err);
  const std::string original = zotest::readFile(dir.path() / "original.wasm");
  fs::copy_file(dir.path() / "original.wasm", dir.path() / "polished.wasm");

  zotest::RunResult r = zotest::runProcess(BINPOLISH_PATH, {"polished.wasm"}, dir.path());
  const std::string prefix = "binpolish: polished.wasm: ";
  if (r.status == 1 && r.err.rfind(prefix, 0) == 0 && r.err.find('\n') == r.err.size() - 1) {
    if (zotest::readFile(dir.path() / "polished.wasm") != original)
      return fail("binpolish refused the module but changed it: " + r.err);
    std::string reason = r.err.substr(prefix.size());
    ++tally.refusals[reason.substr(0, reason.find(':'))];
    return;
  }
  if (r.status != 0)
    return fail(r.status < 0 ? "binpolish crashed: " + r.err
                             : "binpolish ended with status " + std::to_string(r.status) +
                                   ", not 0 or its one-line error: " + r.err);
  ++tally.polished;

  TraceOptions options;
  options.features = wabtFeatures(set);
  options.argumentSeed = seed;
  ExportTrace before = traceExports(original, options);
  ExportTrace after = traceExports(zotest::readFile(dir.path() / "polished.wasm"), options);
  if (!before.loadError.empty())
    return fail("the interpreter refuses the generated module: " + before.loadError);
  if (!after.loadError.empty())
    return fail("the interpreter refuses the polished module under the input's features: " +
                after.loadError);
  compare(before, after);
}

void Case::compare(const ExportTrace &before, const ExportTrace &after) {
  for (size_t i = 0; i < before.calls.size() && i < after.calls.size(); ++i) {
    const ExportCall &b = before.calls[i], &a = after.calls[i];
    if (b.name == a.name &&
        (b.outcome == ExportCall::Exhausted || a.outcome == ExportCall::Exhausted)) {
      ++tally.cutShort;
      return;
    }
    if (!sameBehaviour(b, a))
      return fail("call " + std::to_string(i) + " differs\n  before: " + describe(b) +
                  "\n  after:  " + describe(a));
    ++tally.callsCompared;
    tally.trapsCompared += b.outcome == ExportCall::Trapped;
  }
  if (before.calls.size() != after.calls.size())
    return fail(std::to_string(before.calls.size()) + " calls before polishing, " +
                std::to_string(after.calls.size()) + " after");
  if (before.finalState != after.finalState)
    return fail("the exports end in different states\n  before:\n" + before.finalState +
                "  after:\n" + after.finalState);
}

class PolishCampaign : public ::testing::TestWithParam<int> {};

TEST_P(PolishCampaign, ExportsBehaveAlikeAfterPolishing) {
  zotest::CaseRange cases = zotest::shardCases(GetParam(), CasesPerShard);
  if (cases.empty())
    GTEST_SKIP() << "the case ZO_CAMPAIGN_CASE names belongs to another shard";
  Tally tally;
  for (uint64_t seed = cases.first; seed <= cases.last; ++seed)
    Case(seed, tally).run();

  std::cout << "cases " << cases.first << " to " << cases.last << ": " << tally.polished
            << " polished, " << tally.callsCompared << " calls compared (" << tally.trapsCompared
            << " trapped), " << tally.cutShort << " cut short by an exhausted call\n";
  for (const auto &[reason, count] : tally.refusals)
    std::cout << "  refused (" << reason << "): " << count << "\n";
}

INSTANTIATE_TEST_SUITE_P(Shard, PolishCampaign, ::testing::Range(0, Shards));

} // namespace
} // namespace binpolishtest
