//===- CommandLineTest.cpp - Options, version, help and base flags --------===//

#include "DriverTest.h"

#include <regex>

namespace zotest {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST_F(DriverTest, VersionAndHelpNeedNoInput) {
  RunResult version = inst.zo({"-version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("zo\\+\\+ version 2\\.24\\.4\\.2 "
                                                       "\\([0-9a-f]{7}\\)\n")))
      << version.out;

  RunResult help = inst.zo({"-help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, HasSubstr("OVERVIEW: zo++ (Corvane C++ -> WebAssembly compiler)"));
  EXPECT_THAT(help.out, HasSubstr("<input file> ..."));
  EXPECT_THAT(help.out, HasSubstr("compiler options:"));
  EXPECT_THAT(help.out, HasSubstr("contract security static analyzer options:"));
  EXPECT_THAT(help.out, HasSubstr("Use dlmalloc instead of the deprecated simple heap allocator"));
  EXPECT_THAT(help.out, HasSubstr("Enter other vetter options. 'vetter --help'for more help."));
  EXPECT_TRUE(inst.calls().empty());
}

TEST_F(DriverTest, OptionErrorsEndWithStatusOneBeforeAnyTool) {
  const std::vector<Args> cases = {
      {},                                        // no input file
      {"-vetter"},                               // no input file, analysis mode
      {"-oout.ctrx", "a.cpp"},                   // attached value of a plain option
      {"-o", "x.ctrx", "-o", "y.ctrx", "a.cpp"}, // once-only option twice
      {"-g", "-g", "a.cpp"},
      {"-no-such-option", "a.cpp"},
      {"-stack-size=big", "a.cpp"},
      {"-stack-size=4294967296", "a.cpp"},
      {"-use-dlmalloc=maybe", "a.cpp"},
      {"-o"},
  };
  for (const Args &args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    RunResult r = inst.zo(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("zo++: "));
  }
  EXPECT_TRUE(inst.calls().empty());
}

TEST_F(DriverTest, ValueForms) {
  // Each case sets -o to out.ctrx or a list value; -O may repeat.
  for (const Args &args : {Args{"-o", "out.ctrx", "a.cpp"}, Args{"-o=out.ctrx", "a.cpp"},
                           Args{"--o", "out.ctrx", "a.cpp"}, Args{"a.cpp", "-o", "out"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    Installation local;
    ASSERT_EQ(local.zo(args).status, 0);
    EXPECT_THAT(local.argsOf("ctrpack"),
                ElementsAreArray(Args{"-o", "out.ctrx", "out.wasm", "out.abi"}));
  }

  Installation inc;
  ASSERT_EQ(inc.zo({"-c", "-I", "include", "-I=other", "-Ithird", "-O2", "-O0", "-DN=1", "--",
                    "-dash.cpp"})
                .status,
            0);
  Args args = inc.argsOf("clang-8");
  // An input after "--" may begin with '-'; the compiler gets it as ./-NAME.
  EXPECT_THAT(after(args, "-O0"),
              ::testing::ElementsAre("./-dash.cpp", "-DN=1", "-Iinclude", "-Iother", "-Ithird",
                                     "-fplugin=" + inc.dir() + "/ifacewriter.so", "-Xclang",
                                     "-plugin-arg-ifacewriter", "-Xclang", "./-dash.abi"));
  EXPECT_FALSE(contains(args, "-O2"));
}

TEST_F(DriverTest, BoolValues) {
  struct Case {
    Args args;
    std::string dlmallocLib;
  } cases[] = {
      {{"-use-dlmalloc", "a.cpp"}, "-ldlmalloc"},
      {{"-use-dlmalloc=true", "a.cpp"}, "-ldlmalloc"},
      {{"-use-dlmalloc=false", "a.cpp"}, "-lplainheap"},
      {{"-use-dlmalloc=0", "a.cpp"}, "-lplainheap"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Installation local;
    ASSERT_EQ(local.zo(c.args).status, 0);
    EXPECT_EQ(local.argsOf("clang-8").at(2), c.dlmallocLib);
  }
}

TEST_F(DriverTest, ResponseFile) {
  inst.removePlugin("ifacewriter");
  std::ofstream(inst.work / "opts.rsp") << "-c -O2\n\"my file.cpp\" -DX='a b'\n";
  ASSERT_EQ(inst.zo({"@opts.rsp"}).status, 0);
  Args args = inst.argsOf("clang-8");
  EXPECT_THAT(after(args, "-O2"), ElementsAreArray(Args{"my file.cpp", "-DX=a b"}));
  EXPECT_TRUE(contains(args, "-c"));
}

// One input a.cpp: the base flags stand between the link arguments and the
// output element.
TEST_F(DriverTest, BaseFlagsWithoutPlugins) {
  ASSERT_EQ(inst.zo({"a.cpp"}).status, 0);
  Args base = before(baseFlagsOf(inst.argsOf("clang-8")), "-o");
  Args expected = concat({FixedFlags,
                          {"--sysroot=" + D() + "/../wasm-sysroot", "-Wall", "-Wextra"},
                          strictWarnings("-Werror="),
                          {"-O3", "a.cpp"}});
  ASSERT_EQ(expected.size(), 26u);
  EXPECT_THAT(base, ElementsAreArray(expected));

  Installation withHooks;
  withHooks.addPlugin("entryhooks");
  ASSERT_EQ(withHooks.zo({"a.cpp"}).status, 0);
  base = before(baseFlagsOf(withHooks.argsOf("clang-8")), "-o");
  expected = concat({FixedFlags,
                     {"--sysroot=" + withHooks.dir() + "/../wasm-sysroot", "-Xclang", "-load",
                      "-Xclang", withHooks.dir() + "/entryhooks.so", "-Wall", "-Wextra"},
                     strictWarnings("-Werror="),
                     {"-O3", "a.cpp"}});
  ASSERT_EQ(expected.size(), 30u);
  EXPECT_THAT(base, ElementsAreArray(expected));
}

TEST_F(DriverTest, FuzzPluginFollowsEntryHooks) {
  inst.removePlugin("ifacewriter");
  inst.addPlugin("entryhooks");
  inst.addPlugin("fuzzhooks");
  ASSERT_EQ(inst.zo({"-c", "-fuzz", "-coverage", "-g", "a.cpp"}).status, 0);
  Args base = inst.argsOf("clang-8");
  Args expected = concat(
      {FixedFlags,
       {"--sysroot=" + D() + "/../wasm-sysroot"},
       loadPlugin("entryhooks"),
       loadPlugin("fuzzhooks"),
       {"-Wall", "-Wextra"},
       strictWarnings("-Werror="),
       {"-g", "--coverage", "-fsanitize-coverage=inline-8bit-counters", "-c", "-O3", "a.cpp"}});
  EXPECT_THAT(base, ElementsAreArray(expected));

  // Without the fuzz plug-in the instrumentation flag still goes to the
  // compiler; the plug-in is not loaded without -fuzz.
  Installation noFuzzHooks;
  ASSERT_EQ(noFuzzHooks.zo({"-c", "-fuzz", "a.cpp"}).status, 0);
  base = noFuzzHooks.argsOf("clang-8");
  EXPECT_FALSE(contains(base, "-load"));
  EXPECT_TRUE(contains(base, "-fsanitize-coverage=inline-8bit-counters"));

  Installation noFuzz;
  noFuzz.addPlugin("fuzzhooks");
  ASSERT_EQ(noFuzz.zo({"-c", "a.cpp"}).status, 0);
  EXPECT_FALSE(contains(noFuzz.argsOf("clang-8"), "-load"));
}

// What follows -Wextra in the base flags of a compile-only run, per options.
TEST_F(DriverTest, BaseFlagsTail) {
  const Args errorSet = strictWarnings("-Werror=");
  struct Case {
    Args args;
    Args tail;
  } cases[] = {
      {{"-c", "a.cpp"}, concat({errorSet, {"-c", "-O3", "a.cpp"}})},
      {{"-c", "-Wno-error", "a.cpp"},
       concat({strictWarnings("-W"), {"-c", "-O3", "-Wno-error", "a.cpp"}})},
      {{"-c", "-Wno-error=uninitialized", "a.cpp"},
       concat({errorSet, {"-c", "-O3", "-Wno-error=uninitialized", "a.cpp"}})},
      {{"-c", "-Wall", "-W", "l,--export=foo", "a.cpp"},
       concat({errorSet, {"-c", "-O3", "-Wall", "-Wl,--export=foo", "a.cpp"}})},
      {{"-c", "-Os", "a.cpp"}, concat({errorSet, {"-c", "-Os", "a.cpp"}})},
      {{"-c", "-O2", "-O0", "a.cpp"}, concat({errorSet, {"-c", "-O0", "a.cpp"}})},
      {{"-c", "-Ofast", "a.cpp"}, concat({errorSet, {"-c", "-Ofast", "a.cpp"}})},
      {{"-S", "-c", "a.cpp"}, concat({errorSet, {"-c", "-S", "-O3", "a.cpp"}})},
      {{"-emit-llvm", "-E", "-w", "a.cpp"},
       concat({errorSet, {"-E", "-emit-llvm", "-O3", "-w", "a.cpp"}})},
      {{"-c", "-DA", "b.cpp", "-Iinc", "c.cpp"},
       concat({errorSet, {"-c", "-O3", "b.cpp", "c.cpp", "-DA", "-Iinc"}})},
      {{"-c", "-w", "-Werror=foo", "-DNAME=1", "-D", "B", "x.cpp"},
       concat({errorSet, {"-c", "-O3", "-w", "-Werror=foo", "x.cpp", "-DNAME=1", "-DB"}})},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Installation local;
    local.removePlugin("ifacewriter");
    ASSERT_EQ(local.zo(c.args).status, 0);
    Args args = local.argsOf("clang-8");
    EXPECT_THAT(
        before(args, "-Wall"),
        ElementsAreArray(concat({FixedFlags, {"--sysroot=" + local.dir() + "/../wasm-sysroot"}})));
    EXPECT_THAT(after(args, "-Wextra"), ElementsAreArray(c.tail));
  }
}

} // namespace
} // namespace zotest
