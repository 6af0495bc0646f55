//===- CompilerTest.cpp - clang-8 as zo++ runs it, end to end -------------===//

#include "ContractTest.h"

namespace zotest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The linker is named only to a command that links: no warning about an
// unused -fuse-ld when compiling.
TEST_F(ContractTest, CompilingNamesNoLinker) {
  const std::string source = contract("lifecycle.cpp").string();
  for (const Args &mode : {Args{"-c"}, Args{"-S"}, Args{"-E"}, Args{"-fsyntax-only"},
                           Args{"-c", "-emit-llvm"}, Args{"-M"}}) {
    SCOPED_TRACE(::testing::PrintToString(mode));
    Args args = mode;
    args.insert(args.end(), {"--std=c++17", "--sysroot=" + (tool("..") / "wasm-sysroot").string(),
                             source, "-o", (dir() / "out").string()});
    RunResult r = runProcess(tool("clang-8"), args, dir());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, Not(HasSubstr("-fuse-ld")));
  }
  RunResult r = zo({"-c", source});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

// A contract of C and C++ sources in one zo++ command; a C source alone
// compiles too.
TEST_F(ContractTest, CAndCxxSourcesMix) {
  const std::string c = contract("codec.c").string(), cxx = contract("codec.cpp").string();
  const std::string expected = "616263 440920331";
  for (const Args &order : {Args{cxx, c}, Args{c, cxx}}) {
    SCOPED_TRACE(::testing::PrintToString(order));
    Args args = {"-o", "codec.wasm"};
    args.insert(args.end(), order.begin(), order.end());
    RunResult r = zo(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    r = ctrrun({"codec.wasm", "abc"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
  }
  RunResult r = zo({"-o", "codec.ctrx", cxx, c});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ctrrun({"codec.ctrx", "abc"}).out, expected);

  r = zo({"-c", c, cxx});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir() / "codec.o").substr(0, 4), std::string("\0asm", 4));
  // A C error is reported as one.
  writeFile(dir() / "bad.c", "int f(void) { return nullptr; }\n");
  r = zo({"-c", (dir() / "bad.c").string()});
  EXPECT_NE(r.status, 0);
  EXPECT_THAT(r.err, HasSubstr("nullptr"));
}

} // namespace
} // namespace zotest
