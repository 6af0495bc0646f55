// The poll's own tests: poll.cpp built by zo++ into POLL_CONTAINER and run
// for real by <corvane/testing.hpp>.
#include <corvane/testing.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

using namespace corvane::testing;
using ::testing::ElementsAre;

// The contract's Poll, as the test reads it.
struct Poll {
  std::string question;
  std::vector<std::string> choices;
  std::vector<uint64_t> votes;
  std::string opener;
};

template <> struct corvane::testing::value_traits<Poll> {
  static Poll from_value(const Value &v) {
    return {v["question"].as<std::string>(), v["choices"].as<std::vector<std::string>>(),
            v["votes"].as<std::vector<uint64_t>>(), v["opener"].as<std::string>()};
  }
};

class PollTest : public ::testing::Test {
protected:
  PollTest() : poll(chain.deploy("poll", POLL_CONTAINER)) {
    chain.create_accounts({"alice", "bob", "carol"});
  }

  uint32_t open(const std::string &question, const std::vector<std::string> &choices) {
    return poll.from("alice").call("open", question, choices).as<uint32_t>();
  }

  Chain chain;
  Contract poll;
};

TEST_F(PollTest, OpenNumbersPollsAndStoresThem) {
  CallResult first = poll.from("alice").call("open", "Lunch?", std::vector<std::string>{"pizza", "sushi"});
  ASSERT_TRUE(first.ok()) << first;
  EXPECT_EQ(first.as<uint32_t>(), 1u);
  EXPECT_THAT(first.events(), ElementsAre(Event{"open", "1 Lunch?"}));
  EXPECT_EQ(open("Dinner?", {"soup", "salad", "stew"}), 2u);

  Poll stored = poll.call("show", 2).as<Poll>();
  EXPECT_EQ(stored.question, "Dinner?");
  EXPECT_EQ(stored.votes, (std::vector<uint64_t>{0, 0, 0}));
  EXPECT_EQ(stored.opener, "alice");
  EXPECT_EQ(poll.table("polls").get<Poll>(1)->choices,
            (std::vector<std::string>{"pizza", "sushi"}));
  EXPECT_EQ(poll.table("counters").get<uint32_t>("polls"), 2u);
}

TEST_F(PollTest, EachAccountVotesOnce) {
  uint32_t id = open("Lunch?", {"pizza", "sushi"});
  ASSERT_TRUE(poll.from("bob").call("vote", id, 1).ok());
  ASSERT_TRUE(poll.from("carol").call("vote", id, 1).ok());
  CallResult twice = poll.from("bob").call("vote", id, 0);
  EXPECT_EQ(twice.abort_message(), "bob has voted in poll 1");

  using Tally = std::map<std::string, uint64_t>;
  EXPECT_EQ(poll.call("tally", id).as<Tally>(), (Tally{{"pizza", 0}, {"sushi", 2}}));
  EXPECT_EQ(poll.call("tally", id).json(), R"({"pizza":0,"sushi":2})");
  EXPECT_TRUE(poll.call("voted", id, "bob").as<bool>());
  EXPECT_FALSE(poll.call("voted", id, "alice").as<bool>());
  // Ballots are keyed by a struct: {poll, voter}.
  Value ballot = Value::Object{{"poll", id}, {"voter", "carol"}};
  EXPECT_EQ(poll.table("ballots").get<uint8_t>(ballot), 1);
  EXPECT_EQ(poll.table("ballots").size(), 2u);
}

TEST_F(PollTest, RefusesWhatDoesNotMakeSense) {
  open("Lunch?", {"pizza", "sushi"});
  const struct {
    const char *action, *arguments, *message;
  } cases[] = {
      {"open", R"({"question": "", "choices": ["a", "b"]})", "a poll needs a question"},
      {"open", R"({"question": "Why?", "choices": ["because"]})", "a poll needs 2 to 255 choices"},
      {"vote", R"({"poll": 9, "choice": 0})", "no poll 9"},
      {"vote", R"({"poll": 1, "choice": 2})", "no choice 2 in poll 1"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.arguments);
    CallResult r = poll.from("bob").call_json(c.action, c.arguments);
    EXPECT_EQ(r.status(), Status::aborted);
    EXPECT_EQ(r.abort_message(), c.message);
  }
  EXPECT_EQ(poll.table("polls").size(), 1u);
  EXPECT_EQ(poll.table("ballots").size(), 0u);
}
