//===- ChainTest.cpp - Real contracts on chains in process ----------------===//
//
// The contracts under contracts/ are built by the staged zo++ before these
// tests run (the fixture in CMakeLists.txt), and run here through the
// staged libcorvane-testing.a, as a contract's own tests run them.
//
//===----------------------------------------------------------------------===//

#include "Process.h"
#include "Thrown.h"
#include "Vectors.h"
#include "WireTypes.hpp"

#include <corvane/testing.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

using corvane::testing::Value;

// The vectors' struct, as a test converts its own types.
template <> struct corvane::testing::value_traits<Point> {
  static Value to_value(const Point &P) { return Value::Object{{"x", P.x}, {"label", P.label}}; }
  static Point from_value(const Value &V) {
    return {V["x"].as<int32_t>(), V["label"].as<std::string>()};
  }
};

bool operator==(const Point &A, const Point &B) { return A.x == B.x && A.label == B.label; }

namespace zotest {
namespace {

using namespace corvane::testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string container(const std::string &Name) {
  return std::string(ZO_TESTING_CONTRACTS) + "/" + Name + ".ctrx";
}

class ChainTest : public ::testing::Test {
protected:
  ChainTest() { chain.create_accounts({"alice", "bob"}); }
  Chain chain;
};

TEST_F(ChainTest, ChainsAndContractsKeepStorageApart) {
  Contract Ledger = chain.deploy("ledger", container("ledger"));
  Contract Other = chain.deploy("other", container("ledger"));
  Chain Second;
  Contract Elsewhere = Second.deploy("ledger", container("ledger"));

  ASSERT_TRUE(Ledger.call("put", "k", "first").ok());
  EXPECT_EQ(Ledger.table("notes").get("k"), Value("first"));
  EXPECT_EQ(Other.table("notes").get("k"), std::nullopt);
  EXPECT_TRUE(Elsewhere.storage().empty());

  ASSERT_TRUE(Elsewhere.call("put", "k", "second").ok());
  EXPECT_EQ(Ledger.table("notes").get<std::string>("k"), "first");
  EXPECT_EQ(Elsewhere.table("notes").get<std::string>("k"), "second");

  // New code under the same account keeps its storage.
  Ledger = chain.deploy("ledger", container("ledger"));
  EXPECT_EQ(Ledger.table("notes").get<std::string>("k"), "first");
  ASSERT_TRUE(Ledger.call("erase", "k").ok());
  EXPECT_TRUE(Ledger.storage().empty());
}

// Each failing action first stores, logs and emits: the storage change goes,
// the log and the event stay with the result.
TEST_F(ChainTest, AFailedCallChangesNothing) {
  chain.set_options({2000000, 1 << 20});
  Contract Ledger = chain.deploy("ledger", container("ledger"));
  ASSERT_TRUE(Ledger.call("put", "kept", "1").ok());
  const std::map<std::string, std::string> Before = Ledger.storage();

  const struct {
    const char *Action;
    Status Ended;
    const char *Error, *Abort;
  } Cases[] = {
      {"put_then_abort", Status::aborted, "contract aborted: refused kept", "refused kept"},
      {"put_then_trap", Status::trapped, "trap in apply: unreachable", ""},
      {"put_then_spin", Status::exhausted, "apply exceeded the limit of 2000000 instructions", ""},
      {"put_then_misreport", Status::bad_result,
       "the result of put_then_misreport does not decode as uint64", ""},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Action);
    CallResult R = Ledger.from("alice").call(Case.Action, "kept", "changed");
    EXPECT_EQ(R.status(), Case.Ended);
    EXPECT_FALSE(R.ok());
    EXPECT_THAT(R.error(), StartsWith(Case.Error));
    EXPECT_EQ(R.abort_message(), Case.Abort);
    EXPECT_THAT(R.logs(), ElementsAre("put kept"));
    EXPECT_THAT(R.events(), ElementsAre(Event{"put", "kept"}));
    EXPECT_GT(R.instructions(), 0u);
    EXPECT_EQ(thrown([&] { R.value(); }), "the call failed: " + R.error());
    EXPECT_EQ(Ledger.storage(), Before);
  }
}

TEST_F(ChainTest, CallsCarryTheirCallerAndAuthorizations) {
  Contract Ledger = chain.deploy("ledger", container("ledger"));
  EXPECT_EQ(Ledger.from("alice").call("whoami").as<std::string>(), "alice");
  EXPECT_EQ(Ledger.call("whoami").as<std::string>(), "ledger");
  EXPECT_TRUE(Ledger.from("alice").call("authorized", "alice").as<bool>());
  EXPECT_FALSE(Ledger.from("alice").call("authorized", "bob").as<bool>());
  EXPECT_TRUE(Ledger.from("alice").with_auth({"bob"}).call("authorized", "bob").as<bool>());
  EXPECT_FALSE(Ledger.from("alice").with_auth({}).call("authorized", "alice").as<bool>());
  EXPECT_EQ(Ledger.from("bob").call_json("authorized", R"({"account": "bob"})").json(), "true");
  // The raw call input: the action name as an encoded string.
  EXPECT_EQ(Ledger.from("bob").call_raw(std::string("\6whoami", 7)).output(), "\3bob");
}

// A bare module has no description: it takes raw input only.
TEST_F(ChainTest, ABareModuleTakesRawCalls) {
  Contract Module = chain.deploy("module", std::string(ZO_TESTING_CONTRACTS) + "/module.wasm");
  EXPECT_TRUE(Module.actions().empty());
  EXPECT_EQ(Module.from("alice").call_raw(std::string("\6whoami", 7)).output(), "\5alice");
  CallResult Unknown = Module.call_raw("\3bad");
  EXPECT_EQ(Unknown.abort_message(), "unknown action: bad");
  EXPECT_EQ(thrown([&] { Module.call("whoami"); }),
            "module is a bare module: it has no description, only call_raw");
  EXPECT_EQ(thrown([&] { Module.table("notes"); }),
            "module is a bare module: it has no description, only call_raw");
}

// Logs and events belong to their call, and the count of instructions is
// ctrrun's for the same call.
TEST_F(ChainTest, EachCallReportsItsOwnLogsEventsAndInstructions) {
  Contract Ledger = chain.deploy("ledger", container("ledger"));
  CallResult First = Ledger.from("alice").call("put", "k", "v");
  CallResult Second = Ledger.from("alice").call("put", "k", "v");
  for (const CallResult &R : {First, Second}) {
    EXPECT_THAT(R.logs(), ElementsAre("put k"));
    EXPECT_THAT(R.events(), ElementsAre(Event{"put", "k"}));
    EXPECT_EQ(R.json(), "");
  }
  EXPECT_EQ(First.instructions(), Second.instructions());

  TempDir Dir("zo-testing");
  RunResult Run = runProcess(
      std::string(ZO_STAGE_BIN) + "/ctrrun",
      {"--caller=alice", container("ledger"), "put", R"({"key": "k", "text": "v"})"}, Dir.path());
  ASSERT_EQ(Run.status, 0) << Run.err;
  EXPECT_THAT(Run.err, HasSubstr("instructions: " + std::to_string(First.instructions()) + "\n"));
}

// Every type of the wire-format vectors goes in as a typed argument and as
// a Value, comes back as the result, and is read from a table by key, each
// encoded exactly as the vector says.
template <class T> void checkType(const Contract &C, const std::string &Id, const WireVector &V) {
  Value Expected = Value::parse(V.Json);
  CallResult R = C.call("store_" + Id, Expected);
  ASSERT_TRUE(R.ok()) << R;
  EXPECT_EQ(hexOf(R.output()), hexOf(V.Bytes));
  EXPECT_EQ(R.json(), V.Json);
  T Typed = R.as<T>();
  EXPECT_EQ(Value(Typed), Expected);
  EXPECT_EQ(hexOf(C.call("store_" + Id, Typed).output()), hexOf(V.Bytes));

  Table Stored = C.table("t_" + Id);
  EXPECT_EQ(Stored.key_type(), V.Type);
  EXPECT_EQ(Stored.value_type(), V.Type);
  EXPECT_EQ(Stored.get(Expected), Expected);
  EXPECT_EQ(Stored.get<T>(Typed), Typed);
}

TEST_F(ChainTest, EveryTypeReadsBackTyped) {
  std::map<std::string, std::function<void(const Contract &, const WireVector &)>> Checks;
  std::map<std::string, std::string> Ids;
#define ZO_CHECK(id, text)                                                                         \
  Checks[text] = [](const Contract &C, const WireVector &V) {                                      \
    checkType<wire_types::id>(C, #id, V);                                                          \
  };                                                                                               \
  Ids[text] = #id;
  ZO_WIRE_TYPES(ZO_CHECK)
#undef ZO_CHECK

  Contract Tables = chain.deploy("tables", container("tables"));
  std::map<std::string, std::set<std::string>> Stored;
  for (const WireVector &V : readWireVectors(ZO_WIRE_VECTORS)) {
    if (V.malformed())
      continue;
    SCOPED_TRACE("vectors.txt:" + std::to_string(V.Line) + ": " + V.Type + " " + V.Json);
    ASSERT_TRUE(Checks.count(V.Type)) << "add the type to WireTypes.hpp";
    Checks[V.Type](Tables, V);
    Stored[V.Type].insert(Value::parse(V.Json).json());
  }
  // Each table holds its type's vectors, each under itself.
  for (const auto &[Type, Values] : Stored) {
    SCOPED_TRACE(Type);
    std::set<std::string> Rows;
    for (const auto &[Key, Item] : Tables.table("t_" + Ids[Type]).rows()) {
      EXPECT_EQ(Key, Item);
      Rows.insert(Item.json());
    }
    EXPECT_EQ(Rows, Values);
  }
}

// Asking for what is not there throws one line that names it.
TEST_F(ChainTest, MisuseThrowsOneLineNamingTheProblem) {
  Contract Ledger = chain.deploy("ledger", container("ledger"));
  TempDir Dir("zo-testing");
  writeFile(Dir.path() / "junk.ctrx", "CTRX but not a container");
  const std::string Junk = (Dir.path() / "junk.ctrx").string();

  const struct {
    std::function<void()> Call;
    std::string Message;
  } Cases[] = {
      {[&] { Ledger.call("nothing"); },
       "ledger has no action 'nothing'; its actions: put(key: string, text: string), "},
      {[&] { Ledger.call("put", "k"); }, "ledger: put(key: string, text: string) takes 2 "
                                         "arguments, not 1"},
      {[&] { Ledger.call("put", "k", 5); }, "ledger: put: argument 'text': expected string, got 5"},
      {[&] { Ledger.call("put", "k", std::string("\xff")); },
       "ledger: put: argument 'text': the string \"\xef\xbf\xbd\" is not UTF-8"},
      {[&] { Ledger.call_json("put", R"({"key": "k"})"); },
       "ledger: put: missing argument 'text' (string)"},
      {[&] { Ledger.call_json("put", "{"); }, "ledger: put: the arguments are not valid JSON"},
      {[&] { Ledger.from("carol"); }, "the caller 'carol' is not an account of this chain"},
      {[&] {
         Ledger.from("alice").with_auth({"alice", "dave"});
       },
       "the authorizing account 'dave' is not an account of this chain"},
      {[&] { Ledger.table("balances"); }, "ledger has no table 'balances'; its tables: notes"},
      {[&] { Ledger.table("notes").get(7); },
       "ledger: table notes: the key 7 is not a string: argument 'value': expected string"},
      {[&] { chain.contract("token"); }, "no contract is deployed under 'token'"},
      {[&] { Contract().call("put"); }, "this Contract names no contract"},
      {[&] { chain.create_account("alice"); }, "the account 'alice' exists already"},
      {[&] { chain.deploy("x", Junk); }, Junk + ": not a valid container"},
      {[&] { chain.deploy("x", Junk + ".missing"); }, Junk + ".missing: No such file"},
  };
  for (const auto &Case : Cases)
    EXPECT_THAT(thrown(Case.Call), StartsWith(Case.Message));
  EXPECT_FALSE(chain.has_account("x"));
}

// The block is the chain's unless a call names one; a contract's own
// account is the one it is deployed under.
TEST_F(ChainTest, CallsSeeTheirContext) {
  Contract Here = chain.deploy("here", container("context"));
  Contract There = chain.deploy("there", container("context"));
  EXPECT_EQ(Here.call("context").as<std::string>(), "here 1 0");
  chain.set_block(42, 1765432100);
  EXPECT_EQ(There.call("context").as<std::string>(), "there 42 1765432100");
  EXPECT_EQ(Here.from("alice").at_block(7, 8).call("context").as<std::string>(), "here 7 8");
  EXPECT_EQ(Here.from("alice").call("context").as<std::string>(), "here 42 1765432100");
}

} // namespace
} // namespace zotest
