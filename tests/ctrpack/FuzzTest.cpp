//===- FuzzTest.cpp - A bounded fuzzing run of the .ctrx reader -----------===//
//
// The fuzz target starts from real containers in every shape ctrpack makes
// and stops after a fixed number of inputs (with a time cap as a guard); any
// crash, sanitizer report or leak fails the run.

#include "CtrpackTest.h"

using namespace ctrpacktest;

namespace {

TEST(Fuzz, ReaderSurvivesMutatedContainers) {
  Workspace ws;
  fs::path corpus = ws.path() / "corpus";
  fs::path artifacts = ws.path() / "artifacts";
  fs::create_directory(corpus);
  fs::create_directory(artifacts);
  const zotest::Args shapes[] = {
      {"WASM", "ABI"},
      {"WASM", "ABI", "NAMES", "-compress"},
      {"AOT", "ABI", "NAMES", "-compress", "WASM", "-aot"},
      {"WASM", "ABI", "-jit"},
  };
  int seed = 0;
  for (const zotest::Args &shape : shapes) {
    zotest::Args args = {"-o", (corpus / ("seed" + std::to_string(seed++))).string()};
    args.insert(args.end(), shape.begin(), shape.end());
    ASSERT_EQ(ws.run(args).status, 0);
  }

  zotest::RunResult r = zotest::runProcess(
      CTRPACK_FUZZER,
      {"-seed=1", "-runs=100000", "-max_total_time=30", "-max_len=8192", "-rss_limit_mb=1024",
       "-print_final_stats=1", "-artifact_prefix=" + artifacts.string() + "/", corpus.string()},
      ws.path());

  EXPECT_EQ(r.status, 0) << r.err.substr(r.err.size() > 6000 ? r.err.size() - 6000 : 0);
  EXPECT_TRUE(fs::is_empty(artifacts));
}

} // namespace
