//===- MultiSourceTest.cpp - Contracts of several sources -----------------===//
//
// The ledger under contracts/multi: three sources that include every SDK
// header, built in one zo++ command and compiled apart and then linked.
//
//===----------------------------------------------------------------------===//

#include "ContractTest.h"

#include "llvm/Support/JSON.h"

namespace zotest {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

class MultiSourceTest : public ContractTest {
protected:
  static std::string source(const std::string &name) {
    return contract("multi/" + name + ".cpp").string();
  }

  // zo++ -o CONTAINER with the sources, in one command.
  RunResult together(const Args &names, const std::string &container, Args options = {}) {
    options.insert(options.end(), {"-o", container});
    for (const std::string &name : names)
      options.push_back(source(name));
    return zo(options);
  }

  // zo++ -c for each source on its own, then zo++ -o CONTAINER with the
  // objects; the result of the link.
  RunResult apart(const Args &names, const std::string &container, Args options = {}) {
    Args link = options;
    link.insert(link.end(), {"-o", container});
    for (const std::string &name : names) {
      Args compile = options;
      compile.insert(compile.end(), {"-c", source(name)});
      RunResult r = zo(compile);
      EXPECT_EQ(r.status, 0) << r.err;
      link.push_back(name + ".o");
    }
    return zo(link);
  }

  RunResult call(const std::string &container, const std::string &action,
                 const std::string &arguments) {
    return ctrrun({"--storage=ledger.db", container, action, arguments});
  }

  // The container's code and interface description.
  std::pair<std::string, llvm::json::Value> unpack(const std::string &container) {
    RunResult r = runProcess(tool("ctrpack"), {"--extract", container, "parts"}, dir());
    EXPECT_EQ(r.status, 0) << r.err;
    llvm::Expected<llvm::json::Value> abi =
        llvm::json::parse(readFile(dir() / "parts/interface.abi"));
    EXPECT_TRUE(bool(abi)) << llvm::toString(abi.takeError());
    return {readFile(dir() / "parts/code.wasm"), abi ? std::move(*abi) : nullptr};
  }
};

std::vector<std::string> names(const llvm::json::Value &description, llvm::StringRef member) {
  std::vector<std::string> found;
  if (const llvm::json::Array *items = description.getAsObject()->getArray(member))
    for (const llvm::json::Value &item : *items)
      found.push_back(item.getAsObject()->getString("name").getValueOr("").str());
  return found;
}

// Every source includes every SDK header: the sources link, share one
// object of each kind the headers define, and make one contract whose
// description holds the actions of one source and the tables of all.
TEST_F(MultiSourceTest, ThreeSourcesMakeOneContract) {
  RunResult r = together({"ledger", "book", "sums"}, "ledger.ctrx");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");

  auto [code, abi] = unpack("ledger.ctrx");
  EXPECT_THAT(names(abi, "actions"), ElementsAre("record", "total", "one_of_each"));
  EXPECT_THAT(names(abi, "structs"), ElementsAre("Entry"));
  EXPECT_THAT(names(abi, "tables"), ElementsAre("counters", "entries"));
  // The records the description was made from stay out of the module.
  EXPECT_EQ(code.find("corvane.interface"), std::string::npos);

  struct Call {
    std::string action, arguments, result;
  } calls[] = {
      {"record", R"({"memo": "rent", "amount": "12.50"})", "1\n"},
      {"record", R"({"memo": "tea", "amount": "7.75"})", "2\n"},
      {"total", "{}", "\"20.25\"\n"},
      {"one_of_each", "{}", "true\n"},
  };
  for (const Call &c : calls) {
    SCOPED_TRACE(c.action + " " + c.arguments);
    r = call("ledger.ctrx", c.action, c.arguments);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.result);
  }
}

// Compiled apart and linked as objects, the sources give the container
// that one command gives, byte for byte, wherever the action list is.
TEST_F(MultiSourceTest, SeparateCompilationGivesTheSameContainer) {
  struct Case {
    Args options, order;
  } cases[] = {
      {{}, {"ledger", "book", "sums"}},
      {{"-O0", "-g", "-dump-names"}, {"book", "ledger", "sums"}},
      {{"-contract-message", "a ledger", "-compress"}, {"sums", "book", "ledger"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options) + " " + ::testing::PrintToString(c.order));
    RunResult r = together(c.order, "together.ctrx", c.options);
    ASSERT_EQ(r.status, 0) << r.err;
    r = apart(c.order, "apart.ctrx", c.options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(dir() / "together.ctrx"), readFile(dir() / "apart.ctrx"));
    EXPECT_EQ(call("apart.ctrx", "one_of_each", "{}").out, "true\n");
  }
}

// Sources that do not make one contract stop the link with one error that
// names both culprits: the sources in one command, the objects apart.
TEST_F(MultiSourceTest, ContractErrorsNameTheirSources) {
  const std::string noEntry =
      "the contract has no entry point: list its actions with CORVANE_ACTIONS(...) in one of its "
      "sources, or define extern \"C\" void apply()";
  struct Case {
    Args sources;
    std::string together, apart;
  } cases[] = {
      {{"ledger", "book", "sums", "second_list"},
       source("ledger") + " and " + source("second_list") +
           " both hold an action list (CORVANE_ACTIONS); a contract has one",
       "ledger.o and second_list.o both hold an action list (CORVANE_ACTIONS); a contract has "
       "one"},
      {{"ledger", "book", "sums", "conflict"},
       "table 'counters' has other types in " + source("book") + " (string -> uint64) than in " +
           source("conflict") + " (uint64 -> uint64)",
       "table 'counters' has other types in book.o (string -> uint64) than in conflict.o (uint64 "
       "-> uint64)"},
      {{"book", "sums"}, noEntry, noEntry},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.sources));
    for (bool inOneCommand : {true, false}) {
      RunResult r = inOneCommand ? together(c.sources, "bad.ctrx") : apart(c.sources, "bad.ctrx");
      EXPECT_EQ(r.status, 255);
      EXPECT_THAT(r.err, HasSubstr("clang-8: error: " + (inOneCommand ? c.together : c.apart)));
      EXPECT_THAT(r.err, Not(HasSubstr("--no-entry")));
      EXPECT_THAT(r.err, Not(HasSubstr("duplicate symbol")));
      EXPECT_FALSE(fs::exists(dir() / "bad.ctrx"));
    }
  }
  // Without other errors, the one about the entry is all there is.
  RunResult r = together({"book", "sums"}, "bad.ctrx");
  EXPECT_EQ(r.err, "clang-8: error: " + noEntry + "\n");
}

// Objects compiled without the interface plug-in carry no interface: the
// link succeeds, but no container can be made, and the module is kept.
TEST_F(MultiSourceTest, ObjectsWithoutInterfaceMakeNoContainer) {
  Args objects;
  for (const std::string name : {"ledger", "book", "sums"}) {
    RunResult r = runProcess(tool("clang-8"),
                             {"-c", "--std=c++17", "-fno-exceptions", "-fno-rtti",
                              "--sysroot=" + (tool("..") / "wasm-sysroot").string(), source(name),
                              "-o", name + ".o"},
                             dir());
    ASSERT_EQ(r.status, 0) << r.err;
    objects.push_back(name + ".o");
  }
  Args link = {"-o", "ledger.ctrx"};
  link.insert(link.end(), objects.begin(), objects.end());
  RunResult r = zo(link);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, EndsWith("zo++: error: no interface description was written for "
                              "ledger.ctrx; the module is kept at ledger.wasm\n"));
  EXPECT_FALSE(fs::exists(dir() / "ledger.ctrx"));
  EXPECT_TRUE(fs::exists(dir() / "ledger.wasm"));
}

} // namespace
} // namespace zotest
