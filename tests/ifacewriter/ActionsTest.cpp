//===- ActionsTest.cpp - Typed actions built by zo++ and run by ctrrun ----===//
//
// The poll example, built once by the staged zo++ into a module and its
// description.  Its calls are encoded here by hand, byte for byte as the SDK
// documents the encoding, sent through ctrrun --input-file, and the results
// compared byte for byte.
//
//===----------------------------------------------------------------------===//

#include "Process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

namespace zotest {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// The encoding, written out independently of the SDK's code.
std::string fixed(uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<char>(value >> (8 * i)));
  return out;
}
std::string u8(uint8_t v) { return fixed(v, 1); }
std::string u32(uint32_t v) { return fixed(v, 4); }
std::string u64(uint64_t v) { return fixed(v, 8); }
// Strings and counts shorter than 128 take one length byte.
std::string count(size_t n) { return std::string(1, static_cast<char>(n)); }
std::string str(const std::string &s) { return count(s.size()) + s; }

class PollTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Dir = std::make_unique<TempDir>("zo-actions");
    Build = runProcess(fs::path(ZO_STAGE_BIN) / "zo++",
                       {"-o", "poll.wasm", "-contract-message=Poll \"demo\"  – ünï",
                        fs::path(ZO_EXAMPLES) / "actions/poll.cpp"},
                       Dir->path());
  }
  static void TearDownTestSuite() { Dir.reset(); }

  void SetUp() override {
    ASSERT_EQ(Build.status, 0) << Build.err;
    fs::remove(Dir->path() / "poll.json");
  }

  // One call; storage persists across the calls of a test.
  static RunResult call(const std::string &caller, const std::string &input) {
    writeFile(Dir->path() / "input.bin", input);
    return runProcess(fs::path(ZO_STAGE_BIN) / "ctrrun",
                      {"--storage=poll.json", "--caller=" + caller, "--input-file=input.bin",
                       "poll.wasm"},
                      Dir->path());
  }

  static std::string openLunch() {
    return str("open") + str("Lunch?") + count(2) + str("pizza") + str("sushi");
  }

  static std::unique_ptr<TempDir> Dir;
  static RunResult Build;
};

std::unique_ptr<TempDir> PollTest::Dir;
RunResult PollTest::Build;

// zo++ passes the description path and the message to the plug-in; the
// description lists the actions in CORVANE_ACTIONS's order.
TEST_F(PollTest, DescriptionIsWrittenBesideTheModule) {
  std::string abi = readFile(Dir->path() / "poll.abi");
  EXPECT_THAT(abi, HasSubstr(R"("message": "Poll \"demo\"  – ünï",)"));
  size_t at = 0;
  for (const char *name : {"open", "vote", "voted", "tally", "show"}) {
    size_t found = abi.find("\"name\": \"" + std::string(name) + "\"", at);
    ASSERT_NE(found, std::string::npos) << name;
    at = found;
  }
  EXPECT_THAT(abi, HasSubstr(R"("name": "choices",)" "\n"
                             R"(          "type": "vector<string>")"));
  EXPECT_THAT(abi, HasSubstr(R"("result": "map<string,uint64>")"));
}

TEST_F(PollTest, ActionsDecodeArgumentsAndEncodeResults) {
  RunResult r = call("alice", openLunch());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, u32(1));
  EXPECT_THAT(r.err, HasSubstr("event open: 1 Lunch?"));
  EXPECT_EQ(call("carol", str("open") + str("Tea?") + count(2) + str("yes") + str("no")).out,
            u32(2));

  // void: nothing written.
  r = call("bob", str("vote") + u32(1) + u8(1));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  ASSERT_EQ(call("carol", str("vote") + u32(1) + u8(1)).status, 0);
  ASSERT_EQ(call("alice", str("vote") + u32(1) + u8(0)).status, 0);

  // bool from a string_view parameter; map in key order; a struct with its
  // fields in declaration order.
  EXPECT_EQ(call("x", str("voted") + u32(1) + str("bob")).out, u8(1));
  EXPECT_EQ(call("x", str("voted") + u32(2) + str("bob")).out, u8(0));
  EXPECT_EQ(call("x", str("tally") + u32(1)).out,
            count(2) + str("pizza") + u64(1) + str("sushi") + u64(2));
  EXPECT_EQ(call("x", str("show") + u32(2)).out,
            str("Tea?") + count(2) + str("yes") + str("no") + count(2) + u64(0) + u64(0) +
                str("carol"));
}

// Every failed call aborts with its reason, writes nothing and changes no
// storage.
TEST_F(PollTest, BadCallsAbort) {
  ASSERT_EQ(call("alice", openLunch()).status, 0);
  ASSERT_EQ(call("alice", str("vote") + u32(1) + u8(0)).status, 0);
  std::string before = readFile(Dir->path() / "poll.json");

  struct Case {
    std::string caller, input, message;
  } cases[] = {
      {"bob", "", "malformed call input: no action name"},
      {"bob", "\x05vo", "malformed call input: no action name"},
      {"bob", str("close") + u32(1), "unknown action: close"},
      {"bob", str("Vote") + u32(1) + u8(0), "unknown action: Vote"},
      {"bob", str("vote") + u32(1), "malformed arguments for vote"},
      {"bob", str("vote") + u32(1) + u8(0) + u8(0), "malformed arguments for vote"},
      // A string length in a longer form than it needs.
      {"bob", str("voted") + u32(1) + "\x83\x00" + "bob", "malformed arguments for voted"},
      // A count larger than the bytes that follow.
      {"bob", str("open") + str("Q") + count(100) + str("a"), "malformed arguments for open"},
      {"bob", str("open") + str("Q") + "\xff\xff\xff\xff\x7f", "malformed arguments for open"},
      {"alice", str("vote") + u32(1) + u8(1), "alice has voted in poll 1"},
      {"bob", str("vote") + u32(1) + u8(2), "no choice 2 in poll 1"},
      {"bob", str("vote") + u32(7) + u8(0), "no poll 7"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.input));
    RunResult r = call(c.caller, c.input);
    EXPECT_NE(r.status, 0);
    EXPECT_THAT(r.err, HasSubstr("contract aborted: " + c.message));
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(readFile(Dir->path() / "poll.json"), before);
}

} // namespace
} // namespace zotest
