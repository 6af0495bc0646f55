//===- AnalysisModeTest.cpp - zo++ -vetter ---------------------------------===//

#include "DriverTest.h"

namespace zotest {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

TEST_F(DriverTest, AnalysisOfOneInput) {
  inst.addPlugin("entryhooks");
  fs::create_directories(inst.work / "src");
  RunResult r = inst.zo(
      {"-vetter", "-v", "-o", "x.ctrx", "-ifacewriter_output=i.abi", "-DX", "src/token.cpp"});
  ASSERT_EQ(r.status, 0) << r.err;
  // The runner echoes nothing in this mode, even with -v.
  EXPECT_EQ(r.err, "[clang-8 stderr]\n[vetter stderr]\n");
  EXPECT_EQ(r.out, "Generate .ll and .abi for src/token.cpp\n[clang-8 stdout]\nCompile done!\n"
                   "[vetter stdout]\n");

  Args noRtti = FixedFlags;
  noRtti.erase(noRtti.begin() + 3);
  Args expected = concat({noRtti,
                          {"--sysroot=" + D() + "/../wasm-sysroot"},
                          loadPlugin("entryhooks"),
                          {"-Wall", "-Wextra"},
                          strictWarnings("-Werror="),
                          {"-O3", "src/token.cpp", "-DX", "-emit-llvm", "-c", "-g", "-S", "-o",
                           "src/token.ll", "-fplugin=" + D() + "/ifacewriter.so", "-Xclang",
                           "-plugin-arg-ifacewriter", "-Xclang", "src/token.abi"}});
  EXPECT_THAT(inst.argsOf("clang-8"), ElementsAreArray(expected));
  EXPECT_THAT(inst.argsOf("vetter"),
              ElementsAre("--abi", "src/token.abi", "-m", "src/token.ll", "-f",
                          D() + "/../etc/corvane_export_flow_config.json"));
  // Nothing is removed, and -o names nothing in this mode.
  EXPECT_TRUE(inst.inWork("src/token.ll"));
  EXPECT_TRUE(inst.inWork("src/token.abi"));
  EXPECT_FALSE(inst.inWork("x.ctrx"));
  EXPECT_FALSE(inst.inWork("i.abi"));
}

TEST_F(DriverTest, AnalysisFileNamesAndAnalyzerOptions) {
  struct Case {
    Args args;
    Args vetter;
  } cases[] = {
      {{"-vetter", "token.cc"}, {"--abi", "token.cc.abi", "-m", "token.cc.ll"}},
      {{"-vetter", "a.cpp.bak"}, {"--abi", "a.abi", "-m", "a.ll"}},
      {{"-vetter", "-vetterOtherOption", "--level 2 --quiet", "a.cpp"},
       {"--level", "2", "--quiet", "--abi", "a.abi", "-m", "a.ll"}},
      {{"-vetter", "my file.cpp"}, {"--abi", "my file.abi", "-m", "my file.ll"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Installation local;
    ASSERT_EQ(local.zo(c.args).status, 0);
    Args expected =
        concat({c.vetter, {"-f", local.dir() + "/../etc/corvane_export_flow_config.json"}});
    EXPECT_THAT(local.argsOf("vetter"), ElementsAreArray(expected));
  }
}

// The suffix rule cuts the file name only: a ".cpp" in a directory name
// never moves the outputs out of the input's directory.
TEST_F(DriverTest, AnalysisOutputsStayInTheInputsDirectory) {
  struct Case {
    std::string input, ll, abi;
  } cases[] = {
      {"x.cpp.d/a.cc", "x.cpp.d/a.cc.ll", "x.cpp.d/a.cc.abi"},
      {"x.cpp.d/a.cpp", "x.cpp.d/a.ll", "x.cpp.d/a.abi"},
      {"x.cpp.d/a.cpp.bak", "x.cpp.d/a.ll", "x.cpp.d/a.abi"},
      {"lib.cpp/sub.cpp/token", "lib.cpp/sub.cpp/token.ll", "lib.cpp/sub.cpp/token.abi"},
      {"my dir.cpp/a.cc", "my dir.cpp/a.cc.ll", "my dir.cpp/a.cc.abi"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.input);
    Installation local;
    fs::path dir = fs::path(c.input).parent_path();
    fs::create_directories(local.work / dir);
    ASSERT_EQ(local.zo({"-vetter", c.input}).status, 0);
    Args clang = local.argsOf("clang-8");
    EXPECT_EQ(after(clang, "-o").front(), c.ll);
    EXPECT_EQ(clang.back(), c.abi);
    EXPECT_THAT(local.argsOf("vetter"),
                ElementsAre("--abi", c.abi, "-m", c.ll, "-f",
                            local.dir() + "/../etc/corvane_export_flow_config.json"));
    // Both outputs, and nothing else, beside the input.
    EXPECT_EQ(filesUnder(local.work), (std::set<std::string>{c.ll, c.abi}));
  }
}

TEST_F(DriverTest, AnalysisOfSeveralInputs) {
  RunResult r = inst.zo({"-vetter", "a.cpp", "b.cpp"});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Generate .ll and .abi for a.cpp\n[clang-8 stdout]\nCompile done!\n"
                   "[vetter stdout]\n"
                   "Generate .ll and .abi for b.cpp\n[clang-8 stdout]\nCompile done!\n"
                   "[vetter stdout]\n");
  std::vector<ToolCall> calls = inst.calls();
  ASSERT_EQ(calls.size(), 4u);
  for (int i : {0, 2}) {
    const Args &args = calls[i].args;
    std::string input = i == 0 ? "a" : "b";
    EXPECT_EQ(std::count(args.begin(), args.end(), "-o"), 1);
    EXPECT_EQ(std::count(args.begin(), args.end(), "-fno-rtti"), 0);
    EXPECT_TRUE(contains(args, input + ".cpp"));
    EXPECT_FALSE(contains(args, (i == 0 ? "b" : "a") + std::string(".cpp")));
    EXPECT_EQ(after(args, "-o").front(), input + ".ll");
    EXPECT_EQ(args.back(), input + ".abi");
  }
  EXPECT_EQ(calls[1].tool, "vetter");
  EXPECT_EQ(calls[3].tool, "vetter");
}

// The analysis stops at the first failure; later inputs are not touched.
TEST_F(DriverTest, AnalysisStopsAtFirstFailure) {
  const std::string firstOnly = "Generate .ll and .abi for a.cpp\n[clang-8 stdout]\n";
  struct Case {
    const char *what;
    void (*setUp)(Installation &);
    std::string out;
    int runs;
  } cases[] = {
      {"compiler fails", [](Installation &i) { i.setStatus("clang-8", 1); }, firstOnly, 1},
      {"compiler missing", [](Installation &i) { i.removeTool("clang-8"); },
       "Generate .ll and .abi for a.cpp\n", 0},
      {"no outputs", [](Installation &i) { i.createsNoFiles("clang-8"); }, firstOnly, 1},
      {"vetter fails", [](Installation &i) { i.setStatus("vetter", 4); },
       firstOnly + "Compile done!\n[vetter stdout]\n", 2},
      {"vetter missing", [](Installation &i) { i.removeTool("vetter"); },
       firstOnly + "Compile done!\n", 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Installation local;
    c.setUp(local);
    RunResult r = local.zo({"-vetter", "a.cpp", "b.cpp"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(local.calls().size(), static_cast<size_t>(c.runs));
  }

  // Only the interface description is missing.
  Installation noAbi;
  noAbi.removeTool("clang-8");
  std::ofstream(noAbi.bin / "clang-8") << "#!/bin/sh\nfor a; do last=$a; done\n"
                                          ": > a.ll\n";
  fs::permissions(noAbi.bin / "clang-8", fs::perms::owner_all);
  RunResult r = noAbi.zo({"-vetter", "a.cpp"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "Generate .ll and .abi for a.cpp\n");
  EXPECT_TRUE(noAbi.inWork("a.ll"));
}

} // namespace
} // namespace zotest
