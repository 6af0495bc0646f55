// The registry's own test: the real contract, run in process by the test
// library.  corvane_add_contract_test gives the container's path in
// CORVANE_CONTRACT_REGISTRY.
#include <corvane/testing.hpp>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace corvane::testing;

class RegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char *container = std::getenv("CORVANE_CONTRACT_REGISTRY");
    ASSERT_NE(container, nullptr) << "run me with ctest";
    chain.create_accounts({"alice", "bob"});
    registry = chain.deploy("registry", container);
  }

  Chain chain;
  Contract registry;
};

TEST_F(RegistryTest, ClaimGiveAndRelease) {
  CallResult claimed = registry.from("alice").call("claim", "alpha");
  ASSERT_TRUE(claimed.ok()) << claimed;
  EXPECT_EQ(claimed.events()[0], (Event{"claimed", "alpha alice"}));
  EXPECT_EQ(registry.call("owner", "alpha").as<std::string>(), "alice");

  ASSERT_TRUE(registry.from("alice").call("give", "alpha", "bob").ok());
  EXPECT_EQ(registry.table("owners").get<std::string>("alpha"), "bob");
  EXPECT_EQ(registry.call("count", "bob").as<uint32_t>(), 1u);
  EXPECT_EQ(registry.call("count", "alice").as<uint32_t>(), 0u);

  ASSERT_TRUE(registry.from("bob").call("release", "alpha").ok());
  EXPECT_EQ(registry.call("owner", "alpha").as<std::string>(), "");
}

TEST_F(RegistryTest, RefusalsChangeNothing) {
  ASSERT_TRUE(registry.from("alice").call("claim", "alpha").ok());
  auto before = registry.storage();

  struct Case {
    const char *caller, *action, *name, *message;
  } refused[] = {
      {"bob", "claim", "alpha", "alpha is taken"},
      {"bob", "claim", "A!", "invalid name: A!"},
      {"bob", "release", "alpha", "missing authority of alice"},
      {"bob", "release", "omega", "no one holds omega"},
  };
  for (const Case &c : refused) {
    SCOPED_TRACE(c.name);
    CallResult r = registry.from(c.caller).call(c.action, c.name);
    EXPECT_EQ(r.status(), Status::aborted) << r;
    EXPECT_EQ(r.abort_message(), c.message);
  }
  EXPECT_EQ(registry.storage(), before);
  // A fourth name is one too many.
  for (const char *name : {"beta", "gamma"})
    ASSERT_TRUE(registry.from("alice").call("claim", name).ok());
  EXPECT_EQ(registry.from("alice").call("claim", "delta").abort_message(),
            "alice holds too many names");
  EXPECT_EQ(registry.call("count", "alice").as<uint32_t>(), 3u);
  EXPECT_EQ(registry.table("owners").get<std::string>("delta"), std::nullopt);
}
