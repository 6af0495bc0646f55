//===- DispatchTest.cpp - Contracts of many actions, end to end -----------===//
//
// The dispatcher finds the called action by binary search over the sorted
// names, so a call costs the same for every action and little more for
// 1000 actions than for 10.  Instruction counts are exact, so the tests
// compare them.
//
//===----------------------------------------------------------------------===//

#include "ContractTest.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace zotest {
namespace {

using ::testing::HasSubstr;

// Action I is named "aI" and returns x + I.  "a10" sorts before "a2", so
// list order and name order differ.
std::string actionName(int index) { return "a" + std::to_string(index); }

std::string manyActions(int count) {
  std::string source = "#include <corvane/actions.hpp>\n";
  std::string list;
  for (int i = 0; i < count; ++i) {
    source +=
        "uint32_t " + actionName(i) + "(uint32_t x) { return x + " + std::to_string(i) + "; }\n";
    list += (i ? ", " : "") + actionName(i);
  }
  return source + "CORVANE_ACTIONS(" + list + ")\n";
}

// The instruction count that ctrrun prints last on success.
long instructions(const RunResult &r) {
  size_t at = r.err.rfind("instructions: ");
  return at == std::string::npos ? -1 : std::atol(r.err.c_str() + at + 14);
}

class DispatchTest : public ContractTest {
protected:
  // Builds a contract of `count` actions into NAME.ctrx.
  std::string buildMany(int count) {
    std::string name = "many" + std::to_string(count);
    writeFile(dir() / (name + ".cpp"), manyActions(count));
    build(dir() / (name + ".cpp"), name + ".ctrx");
    return name + ".ctrx";
  }

  // Calls action `index` with x = 1000; returns its instruction count.
  long call(const std::string &container, int index) {
    SCOPED_TRACE(actionName(index));
    RunResult r = ctrrun({container, actionName(index), R"({"x": 1000})"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::to_string(1000 + index) + "\n");
    return instructions(r);
  }
};

// Past the old dispatcher's limits: 257 actions did not compile, 200
// overflowed the stack.  The first, a middle and the last action run, each
// at the same cost; the description keeps the list's order.
TEST_F(DispatchTest, EveryActionCostsTheSame) {
  std::map<int, long> cost; // the dearer of the first and the last
  for (int count : {10, 257, 1000}) {
    SCOPED_TRACE(count);
    std::string container = buildMany(count);
    long first = call(container, 0);
    call(container, count / 2);
    long last = call(container, count - 1);
    ASSERT_GT(first, 0);
    ASSERT_GT(last, 0);
    // "a999" is a longer name to read and compare than "a0".
    EXPECT_LE(std::labs(last - first), 40) << first << " " << last;
    cost[count] = std::max(first, last);

    ASSERT_EQ(runProcess(tool("ctrpack"), {"--extract", container, "parts"}, dir()).status, 0);
    std::string abi = readFile(dir() / "parts" / "interface.abi");
    size_t at = 0;
    for (int i = 0; i < count && at != std::string::npos; ++i)
      at = abi.find("\"" + actionName(i) + "\"", at);
    EXPECT_NE(at, std::string::npos) << "the description lists the actions out of order";
    fs::remove_all(dir() / "parts");
  }
  // Seven more halvings of the search from 10 to 1000 actions.
  EXPECT_LE(cost[1000] - cost[10], 200) << cost[10] << " " << cost[1000];
}

// Names before the first, between two and after the last are unknown to
// the dispatcher (the raw input passes ctrrun's own check of the name).
TEST_F(DispatchTest, UnknownNames) {
  std::string container = buildMany(10);
  for (std::string name : {"a", "a00", "a10", "a5x", "b", "A1"}) {
    SCOPED_TRACE(name);
    writeFile(dir() / "input", std::string(1, static_cast<char>(name.size())) + name);
    RunResult r = ctrrun({"--input-file=input", container});
    EXPECT_NE(r.status, 0);
    EXPECT_THAT(r.err, HasSubstr("unknown action: " + name));
  }
}

} // namespace
} // namespace zotest
