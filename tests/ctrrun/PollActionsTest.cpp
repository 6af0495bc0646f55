//===- PollActionsTest.cpp - A real contract's actions called by name -----===//
//
// The poll example, built by the staged zo++ into a container whose
// description the ifacewriter plug-in wrote, called through ctrrun with JSON
// arguments: the SDK's decoding and encoding against ctrrun's.
//
//===----------------------------------------------------------------------===//

#include "Process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace zotest {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class PollActionsTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Dir = std::make_unique<TempDir>("ctrrun-poll");
    Build =
        runProcess(fs::path(ZO_STAGE_BIN) / "zo++",
                   {"-o", "poll.ctrx", fs::path(ZO_EXAMPLES) / "actions/poll.cpp"}, Dir->path());
  }
  static void TearDownTestSuite() { Dir.reset(); }

  void SetUp() override {
    ASSERT_EQ(Build.status, 0) << Build.err;
    fs::remove(Dir->path() / "poll.json");
  }

  // One call; storage persists across the calls of a test.
  static RunResult call(const std::string &caller, Args words) {
    words.insert(words.begin(), {"--storage=poll.json", "--caller=" + caller, "poll.ctrx"});
    return runProcess(CTRRUN_PATH, words, Dir->path());
  }

  static std::string storage() {
    RunResult r = runProcess(CTRRUN_PATH, {"--dump-storage=poll.json"}, Dir->path());
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }

  static std::unique_ptr<TempDir> Dir;
  static RunResult Build;
};

std::unique_ptr<TempDir> PollActionsTest::Dir;
RunResult PollActionsTest::Build;

TEST_F(PollActionsTest, ActionsByNameWithJson) {
  RunResult r = call("alice", {"open", R"({"question": "Lunch?", "choices": ["pizza", "sushi"]})"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\n");
  EXPECT_THAT(r.err, HasSubstr("event open: 1 Lunch?"));
  EXPECT_EQ(call("carol", {"open", R"({"choices": ["yes", "no"], "question": "Tea?"})"}).out,
            "2\n");

  for (const char *voter : {"bob", "carol"}) {
    r = call(voter, {"vote", R"({"poll": 1, "choice": 1})"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
  }
  ASSERT_EQ(call("alice", {"vote", R"({"poll": "1", "choice": 0})"}).status, 0);

  struct Case {
    Args words;
    std::string out;
  } cases[] = {
      {{"voted", R"({"poll": 1, "voter": "bob"})"}, "true\n"},
      {{"voted", R"({"poll": 2, "voter": "bob"})"}, "false\n"},
      {{"tally", R"({"poll": 1})"}, "{\"pizza\":1,\"sushi\":2}\n"},
      {{"show", R"({"poll": 2})"},
       R"({"question":"Tea?","choices":["yes","no"],"votes":[0,0],"opener":"carol"})"
       "\n"},
      {{"--calls=2", "tally", R"({"poll": 2})"}, "{\"no\":0,\"yes\":0}\n{\"no\":0,\"yes\":0}\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.words.back());
    Args words = c.words;
    r = call("x", words);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
  }

  // The contract's own refusals keep their status; storage stays.
  std::string before = storage();
  r = call("alice", {"vote", R"({"poll": 1, "choice": 1})"});
  EXPECT_EQ(r.status, 7);
  EXPECT_THAT(r.err, HasSubstr("ctrrun: contract aborted: alice has voted in poll 1\n"));
  r = call("dave", {"vote", R"({"poll": 1, "choice": 256})"});
  EXPECT_EQ(r.status, 10);
  EXPECT_EQ(r.err, "ctrrun: vote: argument 'choice': 256 is out of range for uint8 (0 to 255)\n");
  EXPECT_EQ(storage(), before);
}

TEST_F(PollActionsTest, DescribeShowsWhatIfacewriterWrote) {
  RunResult r = runProcess(CTRRUN_PATH, {"--describe", "poll.ctrx"}, Dir->path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "action open(question: string, choices: vector<string>) -> uint32\n"
                   "action vote(poll: uint32, choice: uint8) -> void\n"
                   "action voted(poll: uint32, voter: string) -> bool\n"
                   "action tally(poll: uint32) -> map<string,uint64>\n"
                   "action show(poll: uint32) -> Poll\n"
                   "struct Ballot {poll: uint32, voter: string}\n"
                   "struct Poll {question: string, choices: vector<string>, votes: vector<uint64>, "
                   "opener: string}\n");
}

} // namespace
} // namespace zotest
