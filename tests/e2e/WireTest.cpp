//===- WireTest.cpp - The SDK's codec inside a contract, against one table -===//
//
// tests/wire/echo.cpp echoes one value of each type of vectors.txt: every
// vector's bytes go in as an action's argument and must come back as its
// result unchanged, and every malformed one must be refused by the SDK.
//
//===----------------------------------------------------------------------===//

#include "ContractTest.h"
#include "Vectors.h"
#include "WasmBytes.h"
#include "WireTypes.hpp"

#include <map>

namespace zotest {
namespace {

TEST_F(ContractTest, WireVectorsInsideAContract) {
  std::map<std::string, std::string> Actions;
#define ZO_ACTION(id, text) Actions[text] = "echo_" #id;
  ZO_WIRE_TYPES(ZO_ACTION)
#undef ZO_ACTION

  RunResult Built = zo({"-I", ZO_WIRE_DIR, "-o", "echo.ctrx", ZO_WIRE_DIR "/echo.cpp"});
  ASSERT_EQ(Built.status, 0) << Built.err;
  for (const WireVector &V : readWireVectors(ZO_WIRE_DIR "/vectors.txt")) {
    SCOPED_TRACE("vectors.txt:" + std::to_string(V.Line) + ": " + V.Type + " " + hexOf(V.Bytes));
    ASSERT_TRUE(Actions.count(V.Type)) << "add the type to WireTypes.hpp";
    const std::string &Action = Actions[V.Type];
    // The call input: the action's name as an encoded string, then the value.
    writeFile(dir() / "input", wasm::str(Action) + V.Bytes);
    RunResult R = ctrrun({"--input-file=input", "echo.ctrx"});
    if (V.malformed()) {
      EXPECT_EQ(R.status, 7);
      EXPECT_THAT(R.err,
                  ::testing::HasSubstr("contract aborted: malformed arguments for " + Action));
    } else {
      EXPECT_EQ(R.status, 0) << R.err;
      EXPECT_EQ(hexOf(R.out), hexOf(V.Bytes));
    }
  }
}

} // namespace
} // namespace zotest
