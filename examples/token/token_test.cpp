// The token's own tests: token.cpp built by zo++ into TOKEN_CONTAINER and
// run for real by <corvane/testing.hpp>.
#include <corvane/testing.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

using namespace corvane::testing;
using ::testing::ElementsAre;

class TokenTest : public ::testing::Test {
protected:
  TokenTest() : token(chain.deploy("token", TOKEN_CONTAINER)) {
    chain.create_accounts({"alice", "bob"});
  }

  uint64_t balance(const std::string &account) {
    return token.call("balance", account).as<uint64_t>();
  }

  Chain chain;
  Contract token;
};

TEST_F(TokenTest, CreateGivesTheIssuerTheSupplyOnce) {
  ASSERT_TRUE(token.from("alice").call("create", "alice", 1000).ok());
  EXPECT_EQ(balance("alice"), 1000u);
  EXPECT_EQ(token.table("balances").get<uint64_t>("alice"), 1000u);
  EXPECT_EQ(token.table("settings").get<std::string>("issuer"), "alice");

  CallResult again = token.from("alice").call("create", "alice", 5);
  EXPECT_EQ(again.status(), Status::aborted);
  EXPECT_EQ(again.abort_message(), "the token exists already");
  EXPECT_EQ(balance("alice"), 1000u);
}

TEST_F(TokenTest, TransferMovesTokensAndCountsThem) {
  ASSERT_TRUE(token.from("alice").call("create", "alice", 1000).ok());
  CallResult sent = token.from("alice").call("transfer", "bob", 5);
  ASSERT_TRUE(sent.ok()) << sent;
  EXPECT_THAT(sent.events(), ElementsAre(Event{"transfer", "alice bob 5"}));
  // The transfer counter's destructor stores the count and says so.
  EXPECT_THAT(sent.logs(), ElementsAre("token: 1 transfer(s) stored"));

  EXPECT_EQ(balance("alice"), 995u);
  EXPECT_EQ(balance("bob"), 5u);
  EXPECT_EQ(token.call("transfers").as<uint64_t>(), 1u);
  std::map<std::string, uint64_t> balances;
  for (const auto &[account, amount] : token.table("balances").rows())
    balances[account.as<std::string>()] = amount.as<uint64_t>();
  EXPECT_EQ(balances, (std::map<std::string, uint64_t>{{"alice", 995}, {"bob", 5}}));
}

TEST_F(TokenTest, RefusedCallsChangeNothing) {
  ASSERT_TRUE(token.from("alice").call("create", "alice", 1000).ok());
  const std::map<std::string, std::string> before = token.storage();
  const struct {
    const char *caller;
    std::vector<std::string> auth;
    const char *action, *arguments, *message;
  } cases[] = {
      {"bob", {"bob"}, "create", R"({"issuer": "alice", "supply": 1})",
       "missing authority of alice"},
      {"bob", {"bob"}, "transfer", R"({"to": "alice", "amount": 1})", "overdrawn balance of bob"},
      {"alice", {}, "transfer", R"({"to": "bob", "amount": 1})", "missing authority of alice"},
      {"alice", {"alice"}, "transfer", R"({"to": "alice", "amount": 1})",
       "cannot transfer to self"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + c.arguments);
    CallResult r = token.from(c.caller).with_auth(c.auth).call_json(c.action, c.arguments);
    EXPECT_EQ(r.status(), Status::aborted);
    EXPECT_EQ(r.abort_message(), c.message);
    EXPECT_EQ(token.storage(), before);
  }
}
