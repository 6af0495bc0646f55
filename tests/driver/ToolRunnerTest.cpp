//===- ToolRunnerTest.cpp - Tool lookup, echo and the executable directory ===//

#include "DriverTest.h"

#include <sys/stat.h>

namespace zotest {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST_F(DriverTest, VerboseEchoPrecedesEachTool) {
  inst.removePlugin("ifacewriter");
  RunResult r = inst.zo({"-v", "-c", "a.cpp"});
  ASSERT_EQ(r.status, 0);
  std::string line = D() +
                     "/clang-8 -nostdlib -fno-builtin -fno-threadsafe-statics -fno-rtti "
                     "-fno-exceptions -DBOOST_DISABLE_ASSERTS -DBOOST_EXCEPTION_DISABLE "
                     "-DRAPIDXML_NO_EXCEPTIONS -DRAPIDXML_NO_STREAMS "
                     "-DRAPIDJSON_HAS_STDSTRING --std=c++17 --sysroot=" +
                     D() +
                     "/../wasm-sysroot -Wall -Wextra -Werror=shift-negative-value "
                     "-Werror=shift-count-negative -Werror=shift-count-overflow "
                     "-Werror=shift-overflow -Werror=shift-sign-overflow -Werror=return-type "
                     "-Werror=uninitialized -Werror=null-dereference -Werror=sign-compare "
                     "-Werror=sign-conversion -c -O3 a.cpp \n";
  EXPECT_EQ(r.err, line + "[clang-8 stderr]\n");

  // Every stage is echoed, each line ending in a blank; the redirection is
  // part of the echoed line.
  Installation full;
  r = full.zo({"-v", "-dump-names", "-aot", "-o", "t.ctrx", "t.cpp"});
  ASSERT_EQ(r.status, 0);
  const std::string d = full.dir();
  EXPECT_THAT(r.err,
              HasSubstr(" -o t.wasm -fplugin=" + d +
                        "/ifacewriter.so -Xclang -plugin-arg-ifacewriter -Xclang t.abi \n"
                        "[clang-8 stderr]\n" +
                        d + "/symlister t.wasm -o t.names >/dev/null \n[symlister stderr]\n" + d +
                        "/binpolish t.wasm \n[binpolish stderr]\n" + d +
                        "/wamrc --cpu-features=+soft-float --cpu=skylake --target=x86_64 "
                        "--size-level=1 -o t.aot t.wasm \n[wamrc stderr]\n" +
                        d +
                        "/ctrpack -o t.ctrx t.aot t.abi t.names t.wasm -aot \n"
                        "[ctrpack stderr]\n"));
  EXPECT_EQ(r.err.rfind(d + "/clang-8 -lc++ -lc -ldlmalloc ", 0), 0u) << r.err;
}

// A name with a control character is echoed escaped, so that the echo
// stays one line and cannot pass for a line of zo++'s own; the tool still
// gets the name as it is.  So is the analysis mode's progress line.
TEST_F(DriverTest, EchoOfANameWithANewlineIsOneLine) {
  inst.removePlugin("ifacewriter");
  const std::string input = "a\nzo++: forged.cpp";
  RunResult r = inst.zo({"-v", "-c", input});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(inst.argsOf("clang-8"), input));
  EXPECT_THAT(r.err, HasSubstr(" -c -O3 'a\\x0azo++: forged.cpp' \n[clang-8 stderr]\n"));
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;

  Installation analysis;
  r = analysis.zo({"-vetter", input});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Generate .ll and .abi for a\\x0azo++: forged.cpp\n[clang-8 stdout]\n"
                   "Compile done!\n[vetter stdout]\n");
}

// A tool that is not an executable regular file in the executable directory
// is not run, wherever else it may be.
TEST_F(DriverTest, ToolNotFound) {
  struct Case {
    const char *what;
    void (*setUp)(Installation &);
  } cases[] = {
      {"missing", [](Installation &i) { i.removeTool("clang-8"); }},
      {"not executable", [](Installation &i) { chmod((i.bin / "clang-8").c_str(), 0644); }},
      {"a directory",
       [](Installation &i) {
         i.removeTool("clang-8");
         fs::create_directory(i.bin / "clang-8");
       }},
      {"a dangling link",
       [](Installation &i) {
         i.removeTool("clang-8");
         fs::create_symlink(i.root / "nowhere", i.bin / "clang-8");
       }},
  };
  for (const Case &c : cases) {
    for (bool verbose : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (verbose ? " -v" : ""));
      Installation local;
      c.setUp(local);
      Args args = {"a.cpp"};
      if (verbose)
        args.insert(args.begin(), "-v");
      RunResult r = local.zo(args);
      EXPECT_EQ(r.status, 255);
      EXPECT_EQ(r.err, "zo++: failed to execute clang-8\n");
      EXPECT_EQ(r.out, "");
      EXPECT_TRUE(local.calls().empty());
    }
  }
}

TEST_F(DriverTest, ToolOnlyOnPathIsNotUsed) {
  fs::path elsewhere = inst.root / "path-bin";
  fs::create_directory(elsewhere);
  fs::copy_file(inst.bin / "clang-8", elsewhere / "clang-8");
  inst.removeTool("clang-8");
  const char *path = getenv("PATH");
  RunResult r = inst.zo({"a.cpp"}, {"PATH=" + elsewhere.string() + ":" + (path ? path : "")});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "zo++: failed to execute clang-8\n");
  EXPECT_TRUE(inst.calls().empty());
}

TEST_F(DriverTest, SymlinkedToolIsNamedByItsLink) {
  fs::path elsewhere = inst.root / "real-tools";
  fs::create_directory(elsewhere);
  fs::rename(inst.bin / "clang-8", elsewhere / "clang-8");
  fs::create_symlink("../../real-tools/clang-8", inst.bin / "clang-8");
  RunResult r = inst.zo({"-v", "-c", "a.cpp"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.rfind(D() + "/clang-8 -nostdlib ", 0), 0u) << r.err;
  EXPECT_EQ(inst.runsOf("clang-8"), 1);
}

TEST_F(DriverTest, DriverStartedThroughASymlink) {
  fs::path other = inst.root / "other";
  fs::create_directories(other / "bin");
  // A decoy installation beside the link: none of it may be used.
  fs::create_directories(other / "rec" / "calls");
  fs::copy_file(inst.bin / "clang-8", other / "bin" / "clang-8");
  fs::create_symlink(inst.bin / "zo++", other / "bin" / "zo++");
  RunResult r = inst.run(other / "bin" / "zo++", {"-c", "a.cpp"});
  ASSERT_EQ(r.status, 0) << r.err;
  Args args = inst.argsOf("clang-8");
  EXPECT_TRUE(contains(args, "--sysroot=" + D() + "/../wasm-sysroot"));
  EXPECT_TRUE(fs::is_empty(other / "rec" / "calls"));
}

// A driver that lies directly in the root directory has an empty executable
// directory: no tool is found, not even one in "/".  The test runs the
// driver in a chroot of its own, in a mount namespace of its own.
TEST_F(DriverTest, DriverInTheRootDirectory) {
  fs::path root = inst.root / "chroot";
  fs::create_directories(root / "proc");
  fs::copy_file(inst.bin / "zo++", root / "zo++");
  fs::copy_file(inst.bin / "clang-8", root / "clang-8");
  auto inChroot = [&](const std::string &args) {
    return runProcess("/bin/sh",
                      {"-c",
                       "exec unshare -m sh -c 'mount -t proc proc \"$0\"/proc && "
                       "exec chroot \"$0\" /zo++ " +
                           args + "' \"$0\"",
                       root.string()},
                      inst.work);
  };
  RunResult probe = runProcess("/bin/sh", {"-c", "unshare -m true"}, inst.work);
  if (probe.status != 0)
    GTEST_SKIP() << "no mount namespace here: " << probe.err;

  RunResult r = inChroot("-v a.cpp");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "zo++: failed to execute clang-8\n");
  r = inChroot("-vetter a.cpp");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "Generate .ll and .abi for a.cpp\n");
  EXPECT_EQ(r.err, "zo++: failed to execute clang-8\n");
  EXPECT_TRUE(inst.calls().empty());
}

// A tool's output and status: only status 0 counts as success, and the
// tool's own streams reach the user.
TEST_F(DriverTest, ToolStatusDecides) {
  for (int status : {1, 2, 127, 255}) {
    SCOPED_TRACE(status);
    Installation local;
    local.setStatus("clang-8", status);
    RunResult r = local.zo({"-c", "a.cpp"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "[clang-8 stdout]\n");
    EXPECT_EQ(r.err, "[clang-8 stderr]\n");
  }
}

} // namespace
} // namespace zotest
