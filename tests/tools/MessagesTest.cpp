//===- MessagesTest.cpp - One line per message, whatever a name holds -----===//

#include "ToolsTest.h"

#include <gmock/gmock.h>

#include <vector>

namespace zotest {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> result;
  size_t begin = 0;
  for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1)
    result.push_back(text.substr(begin, end - begin));
  if (begin < text.size())
    result.push_back(text.substr(begin));
  return result;
}

// A file name with a newline would otherwise start a second line that reads
// like the tool's own: each tool writes such bytes as \xNN, so its message
// stays one line that begins with its name.
TEST(ToolMessages, NamesWithControlCharactersStayOnTheLine) {
  const std::string module = applyModule();
  auto forged = [](const std::string &tool) { return "x\n" + tool + ": forged"; };
  const std::string plugin = std::string(ZO_STAGE_BIN) + "/ifacewriter.so";
  struct Case {
    ToolRun run;
    int status;
    // What the message begins with, when not the tool's name; clang adds
    // its count of errors after the plug-in's message.
    std::string begins = "";
    std::string after = "";
  } cases[] = {
      {{"ctrrun", {forged("ctrrun")}, {}, {}}, 2},
      {{"ctrrun", {forged("ctrrun")}, {{forged("ctrrun"), "not wasm"}}, {}}, 4},
      {{"ctrrun", {"--input-file=" + forged("ctrrun"), "m.wasm"}, {{"m.wasm", module}}, {}}, 2},
      {{"ctrrun",
        {"--storage=" + forged("ctrrun"), "m.wasm"},
        {{"m.wasm", module}, {forged("ctrrun"), "{"}},
        {}},
       3},
      // A key of the storage file is text from the user as well.
      {{"ctrrun",
        {"--storage=s.json", "m.wasm"},
        {{"m.wasm", module}, {"s.json", R"({"\nctrrun: forged": "00"})"}},
        {}},
       3},
      {{"ctrpack", {"--verify", forged("ctrpack")}, {}, {}}, 1},
      {{"ctrpack", {"--list", forged("ctrpack")}, {{forged("ctrpack"), "CTRX"}}, {}}, 1},
      {{"ctrpack",
        {"-o", forged("ctrpack") + "/c.ctrx", "m.wasm", "m.abi"},
        {{"m.wasm", module}, {"m.abi", EmptyInterface}},
        {}},
       1},
      // The warning about a names file that does not exist.
      {{"ctrpack",
        {"-o", "c.ctrx", "m.wasm", "m.abi", forged("ctrpack")},
        {{"m.wasm", module}, {"m.abi", EmptyInterface}},
        {}},
       0},
      {{"binpolish", {forged("binpolish")}, {}, {}}, 1},
      {{"binpolish", {forged("binpolish")}, {{forged("binpolish"), "not wasm"}}, {}}, 1},
      {{"symlister", {forged("symlister")}, {}, {}}, 1},
      {{"symlister", {"m.wasm", "-o", forged("symlister") + "/list"}, {{"m.wasm", module}}, {}}, 1},
      // The directory for the objects of C sources comes from TMPDIR.
      {{"clang-8", {"a.cpp", "b.c", "-o", "a.wasm"}, {}, {"TMPDIR=/" + forged("clang-8")}}, 1},
      {{"clang-8",
        {"-fplugin=" + plugin, "-Xclang", "-plugin-arg-ifacewriter", "-Xclang",
         forged("ifacewriter") + "/a.abi", "-fsyntax-only", "a.cpp"},
        {{"a.cpp", "int x;\n"}},
        {}},
       1,
       "error: ifacewriter: ",
       "1 error generated."},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.run.tool + " " + ::testing::PrintToString(c.run.args));
    TempDir dir("tools-test");
    RunResult r = runIn(dir.path(), c.run);
    EXPECT_EQ(r.status, c.status) << r.err;
    std::vector<std::string> expected = {c.begins.empty() ? c.run.tool + ": " : c.begins};
    if (!c.after.empty())
      expected.push_back(c.after);
    std::vector<std::string> got = lines(r.err);
    ASSERT_EQ(got.size(), expected.size()) << r.err;
    EXPECT_THAT(got[0], StartsWith(expected[0]));
    EXPECT_THAT(got[0], HasSubstr("\\x0a"));
    EXPECT_THAT(got[0], HasSubstr(": forged"));
    EXPECT_EQ(got.back(), c.after.empty() ? got[0] : c.after);
  }
}

} // namespace
} // namespace zotest
