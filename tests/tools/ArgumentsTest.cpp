//===- ArgumentsTest.cpp - "--" before file names that begin with '-' -----===//

#include "ToolsTest.h"

#include <gmock/gmock.h>

namespace zotest {
namespace {

// Every tool takes "--" before its file arguments, after which a name that
// begins with '-' is a file, not an option.
TEST(ToolArguments, DashDashEndsTheOptions) {
  const std::string module = applyModule();
  struct Case {
    ToolRun run;
    std::vector<std::string> made; // files the run leaves
    std::string out = "";
  } cases[] = {
      {{"ctrrun", {"--", "-m.wasm"}, {{"-m.wasm", module}}, {}}, {}},
      {{"ctrpack",
        {"-o", "./-c.ctrx", "--", "-m.wasm", "-m.abi"},
        {{"-m.wasm", module}, {"-m.abi", EmptyInterface}},
        {}},
       {"-c.ctrx"}},
      {{"binpolish", {"--", "-m.wasm"}, {{"-m.wasm", module}}, {}}, {"-m.wasm"}},
      {{"symlister", {"--", "-m.wasm"}, {{"-m.wasm", module}}, {}}, {}, "0 apply export\n"},
      {{"symlister", {"-o", "./-list", "--", "-m.wasm"}, {{"-m.wasm", module}}, {}}, {"-list"}},
      // A C source beside a C++ one is compiled to an object of its own
      // first: the launcher's own options go before the "--".
      {{"clang-8",
        {"-nostdlib", "-Wl,--no-entry", "-o", "x.wasm", "b.cpp", "--", "-a.c"},
        {{"-a.c", "int f(void) { return 1; }\n"}, {"b.cpp", "int g() { return 2; }\n"}},
        {}},
       {"x.wasm"}},
      {{"clang-8", {"-c", "--", "-a.c"}, {{"-a.c", "int f(void) { return 1; }\n"}}, {}}, {"-a.o"}},
      {{"zo++", {"-c", "--", "-a.cpp"}, {{"-a.cpp", "int f() { return 1; }\n"}}, {}}, {"-a.o"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.run.tool + " " + ::testing::PrintToString(c.run.args));
    TempDir dir("tools-test");
    RunResult r = runIn(dir.path(), c.run);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
    for (const std::string &file : c.made)
      EXPECT_TRUE(fs::is_regular_file(dir.path() / file)) << file;
  }
}

} // namespace
} // namespace zotest
