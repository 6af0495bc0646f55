//===- BuildPipelineTest.cpp - Build mode from compile to clean-up --------===//

#include "DriverTest.h"

namespace zotest {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const Args FixedLinkerFlags = {"-Wl,-e,apply", "-Wl,--gc-sections", "-Wl,--lto-O3",
                               "-Wl,--merge-data-segments", "-Wl,-stack-first"};

TEST_F(DriverTest, DefaultBuild) {
  RunResult r = inst.zo({"-o", "token.ctrx", "src/token.cpp"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<ToolCall> calls = inst.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].tool, "clang-8");
  EXPECT_EQ(calls[1].tool, "binpolish");
  EXPECT_EQ(calls[2].tool, "ctrpack");

  Args expected =
      concat({{"-lc++", "-lhostlibc", "-ldlmalloc", "-ljsoncpp", "-lbcmath", "-lclang_rt.builtins",
               "-lcityhash", "-lcorvane"},
              FixedLinkerFlags,
              {"-Wl,-zstack-size=8192",
               "-Wl,--allow-undefined-file=" + D() + "/../etc/corvane.imports", "-Wl,--strip-all"},
              FixedFlags,
              {"--sysroot=" + D() + "/../wasm-sysroot", "-Wall", "-Wextra"},
              strictWarnings("-Werror="),
              {"-O3", "src/token.cpp", "-o", "token.wasm", "-fplugin=" + D() + "/ifacewriter.so",
               "-Xclang", "-plugin-arg-ifacewriter", "-Xclang", "token.abi"}});
  EXPECT_THAT(calls[0].args, ElementsAreArray(expected));
  EXPECT_THAT(calls[1].args, ElementsAre("token.wasm"));
  EXPECT_THAT(calls[2].args, ElementsAre("-o", "token.ctrx", "token.wasm", "token.abi"));

  EXPECT_TRUE(inst.inWork("token.ctrx"));
  EXPECT_FALSE(inst.inWork("token.wasm"));
  EXPECT_FALSE(inst.inWork("token.abi"));
  EXPECT_EQ(r.out, "[clang-8 stdout]\n[binpolish stdout]\n[ctrpack stdout]\n");
}

// The link arguments: everything in front of the base flags.
TEST_F(DriverTest, LibrariesAndLinkerFlags) {
  struct Case {
    Args options;
    Args libc;  // the C library and the allocator
    Args extra; // what follows -lcityhash
    std::string stackSize;
    std::string strip; // what the link drops of names and debug information
  } cases[] = {
      {{}, {"-lhostlibc", "-ldlmalloc"}, {"-lcorvane"}, "8192", "-Wl,--strip-all"},
      {{"-aot"}, {"-lc", "-ldlmalloc"}, {"-lcorvane"}, "8192", "-Wl,--strip-all"},
      {{"-jit"}, {"-lc", "-ldlmalloc"}, {"-lcorvane"}, "8192", ""},
      {{"-use-host-libc=false"}, {"-lc", "-ldlmalloc"}, {"-lcorvane"}, "8192", "-Wl,--strip-all"},
      {{"-use-dlmalloc=false"},
       {"-lhostlibc", "-lplainheap"},
       {"-lcorvane"},
       "8192",
       "-Wl,--strip-all"},
      {{"-debug-contract"},
       {"-lhostlibc", "-ldlmalloc"},
       {"-lcorvanedebug"},
       "8192",
       "-Wl,--strip-debug"},
      {{"-g"}, {"-lhostlibc", "-ldlmalloc"}, {"-lcorvane"}, "8192", ""},
      {{"-dump-names"}, {"-lhostlibc", "-ldlmalloc"}, {"-lcorvane"}, "8192", ""},
      {{"-stack-size=1048576"},
       {"-lhostlibc", "-ldlmalloc"},
       {"-lcorvane"},
       "1048576",
       "-Wl,--strip-all"},
      {{"-stack-size", "0"}, {"-lhostlibc", "-ldlmalloc"}, {"-lcorvane"}, "0", "-Wl,--strip-all"},
      {{"-lfoo", "-Lx", "-coverage", "-l", "bar", "-fuzz"},
       {"-lhostlibc", "-ldlmalloc"},
       {"-lcorvane", "-lgcov", "-lzofuzz", "-lfoo", "-lbar", "-Lx"},
       "8192",
       "-Wl,--strip-all"},
      {{"-L/opt/a", "-L", "b"},
       {"-lhostlibc", "-ldlmalloc"},
       {"-lcorvane", "-L/opt/a", "-Lb"},
       "8192",
       "-Wl,--strip-all"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    Installation local;
    ASSERT_EQ(local.zoOn(c.options).status, 0);
    Args expected =
        concat({{"-lc++"},
                c.libc,
                {"-ljsoncpp", "-lbcmath", "-lclang_rt.builtins", "-lcityhash"},
                c.extra,
                FixedLinkerFlags,
                {"-Wl,-zstack-size=" + c.stackSize,
                 "-Wl,--allow-undefined-file=" + local.dir() + "/../etc/corvane.imports"}});
    if (!c.strip.empty())
      expected.push_back(c.strip);
    EXPECT_THAT(before(local.argsOf("clang-8"), "-nostdlib"), ElementsAreArray(expected));
  }
}

TEST_F(DriverTest, OutputNaming) {
  struct Case {
    Args args;
    std::string container, module;
    bool keepsIntermediates;
  } cases[] = {
      {{"src/token.cpp"}, "token.ctrx", "token.wasm", false},
      {{"-o", "out", "a.cpp"}, "out.ctrx", "out.wasm", false},
      {{"-o", "out.ctrx", "a.cpp"}, "out.ctrx", "out.wasm", false},
      {{"-o", "out.wasm", "a.cpp"}, "out.ctrx", "out.wasm", true},
      {{"-o", "a.wasm.ctrx", "a.cpp"}, "a.wasm.ctrx", "a.wasm.wasm", false},
      {{"-o", "a.ctrx.old", "a.cpp"}, "a.ctrx.old.ctrx", "a.ctrx.old.wasm", false},
      {{"a.b.cpp"}, "a.b.ctrx", "a.b.wasm", false},
      {{"token"}, "token.ctrx", "token.wasm", false},
      {{"first.cpp", "second.cpp"}, "first.ctrx", "first.wasm", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Installation local;
    ASSERT_EQ(local.zo(c.args).status, 0);
    std::string abi = c.module.substr(0, c.module.size() - 5) + ".abi";
    EXPECT_THAT(after(local.argsOf("clang-8"), "-o"),
                ElementsAre(c.module, "-fplugin=" + local.dir() + "/ifacewriter.so", "-Xclang",
                            "-plugin-arg-ifacewriter", "-Xclang", abi));
    EXPECT_THAT(local.argsOf("binpolish"), ElementsAre(c.module));
    EXPECT_THAT(local.argsOf("ctrpack"), ElementsAre("-o", c.container, c.module, abi));
    EXPECT_TRUE(local.inWork(c.container));
    EXPECT_EQ(local.inWork(c.module), c.keepsIntermediates);
    EXPECT_EQ(local.inWork(abi), c.keepsIntermediates);
  }
}

// Every name derived from -o stays in the directory -o names, whatever
// suffixes the directory's own name holds.
TEST_F(DriverTest, DerivedNamesStayInTheOutputDirectory) {
  struct Case {
    std::string output, base, container;
    bool keepsIntermediates;
  } cases[] = {
      {"o.wasm.d/out", "o.wasm.d/out", "o.wasm.d/out.ctrx", false},
      {"o.wasm.d/out.wasm", "o.wasm.d/out", "o.wasm.d/out.ctrx", true},
      {"o.wasm.d/out.ctrx", "o.wasm.d/out", "o.wasm.d/out.ctrx", false},
      {"c.ctrx.d/x", "c.ctrx.d/x", "c.ctrx.d/x.ctrx", false},
      {"c.ctrx.d/x.ctrx", "c.ctrx.d/x", "c.ctrx.d/x.ctrx", false},
      {"c.ctrx.d/x.ctrx.wasm", "c.ctrx.d/x.ctrx", "c.ctrx.d/x.ctrx.ctrx", true},
      {"a.wasm/b.ctrx/c", "a.wasm/b.ctrx/c", "a.wasm/b.ctrx/c.ctrx", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.output);
    Installation local;
    fs::path dir = fs::path(c.output).parent_path();
    fs::create_directories(local.work / dir);
    ASSERT_EQ(local.zo({"-aot", "-dump-names", "-o", c.output, "a.cpp"}).status, 0);
    const std::string module = c.base + ".wasm", abi = c.base + ".abi", names = c.base + ".names",
                      image = c.base + ".aot";
    Args clang = local.argsOf("clang-8");
    EXPECT_EQ(after(clang, "-o").front(), module);
    EXPECT_EQ(clang.back(), abi);
    EXPECT_THAT(local.argsOf("symlister"), ElementsAre(module, "-o", names));
    EXPECT_THAT(local.argsOf("wamrc"),
                ElementsAre("--cpu-features=+soft-float", "--cpu=skylake", "--target=x86_64",
                            "--size-level=1", "-o", image, module));
    EXPECT_THAT(local.argsOf("ctrpack"),
                ElementsAre("-o", c.container, image, abi, names, module, "-aot"));
    // The container and the name list are written there, and nothing
    // anywhere else.
    std::set<std::string> expected = {c.container, names};
    if (c.keepsIntermediates)
      expected.insert({module, abi, image});
    EXPECT_EQ(filesUnder(local.work), expected);
  }
}

TEST_F(DriverTest, StackSizeLimit) {
  for (const Args &args :
       {Args{"-stack-size=1048577", "a.cpp"}, Args{"-c", "-stack-size=1048577", "a.cpp"},
        Args{"-stack-size=4294967295", "-E", "a.cpp"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    RunResult r = inst.zo(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: stack size exceeds limit (1 MB)\n");
    EXPECT_EQ(r.out, "");
  }
  EXPECT_TRUE(inst.calls().empty());
}

TEST_F(DriverTest, CompileOnlyModes) {
  for (const char *mode : {"-c", "-E", "-S", "-emit-llvm"}) {
    SCOPED_TRACE(mode);
    Installation local;
    // Files of the names a build would clean up stay.
    writeFile(local.work / "out.wasm", "kept");
    local.touch(local.work / "out.aot");
    ASSERT_EQ(local.zo({mode, "-o", "out", "-lfoo", "-Lbar", "a.cpp"}).status, 0);
    std::vector<ToolCall> calls = local.calls();
    ASSERT_EQ(calls.size(), 1u);
    for (const std::string &arg : calls[0].args) {
      EXPECT_NE(arg.rfind("-l", 0), 0u) << arg;
      EXPECT_NE(arg.rfind("-L", 0), 0u) << arg;
      EXPECT_NE(arg.rfind("-Wl,", 0), 0u) << arg;
      EXPECT_NE(arg, "-o");
    }
    EXPECT_EQ(calls[0].args.front(), "-nostdlib");
    // The interface description is still named after the module.
    EXPECT_EQ(calls[0].args.back(), "out.abi");
    EXPECT_TRUE(local.inWork("out.abi"));
    EXPECT_TRUE(local.inWork("out.aot"));
    EXPECT_EQ(readFile(local.work / "out.wasm"), "kept");
  }
}

TEST_F(DriverTest, CompilerFailureStopsTheBuild) {
  inst.setStatus("clang-8", 3);
  inst.touch(inst.work / "a.wasm");
  inst.touch(inst.work / "a.abi");
  RunResult r = inst.zo({"a.cpp"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(inst.calls().size(), 1u);
  EXPECT_EQ(r.err, "[clang-8 stderr]\n");
  // Nothing is cleaned up after a failure.
  EXPECT_TRUE(inst.inWork("a.wasm"));
  EXPECT_TRUE(inst.inWork("a.abi"));
}

TEST_F(DriverTest, InterfaceDescriptionArguments) {
  Installation custom;
  fs::create_directories(custom.work / "out");
  ASSERT_EQ(custom.zo({"-ifacewriter_output=out/iface.json", "a.cpp"}).status, 0);
  EXPECT_THAT(after(custom.argsOf("clang-8"), "-plugin-arg-ifacewriter"),
              ElementsAre("-Xclang", "out/iface.json"));
  EXPECT_THAT(custom.argsOf("ctrpack"), ElementsAre("-o", "a.ctrx", "a.wasm", "out/iface.json"));
  // The override is an intermediate like any other.
  EXPECT_FALSE(custom.inWork("out/iface.json"));

  Installation withMessage;
  ASSERT_EQ(withMessage.zo({"-contract-message", "My token", "a.cpp"}).status, 0);
  EXPECT_THAT(after(withMessage.argsOf("clang-8"), "-o"),
              ElementsAre("a.wasm", "-fplugin=" + withMessage.dir() + "/ifacewriter.so", "-Xclang",
                          "-plugin-arg-ifacewriter", "-Xclang", "a.abi", "-Xclang",
                          "-plugin-arg-ifacewriter", "-Xclang", "My token"));

  Installation without;
  without.removePlugin("ifacewriter");
  RunResult r = without.zo({"-contract-message=x", "a.cpp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(after(without.argsOf("clang-8"), "-o"), Args{"a.wasm"});
  EXPECT_EQ(without.runsOf("ctrpack"), 0);
}

// A build whose interface description is missing makes no container: it
// fails, says so, and removes nothing it made.
TEST_F(DriverTest, MissingDescriptionFailsAndKeepsTheModule) {
  struct Case {
    Args args;
    std::string container, module;
    std::set<std::string> kept;
  } cases[] = {
      {{"a.cpp"}, "a.ctrx", "a.wasm", {"a.wasm"}},
      {{"-aot", "-dump-names", "a.cpp"}, "a.ctrx", "a.wasm", {"a.wasm", "a.aot", "a.names"}},
      {{"-o", "out/c", "a.cpp"}, "out/c.ctrx", "out/c.wasm", {"out/c.wasm"}},
      {{"-save-temps", "-o", "c.wasm", "a.cpp"}, "c.ctrx", "c.wasm", {"c.wasm"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Installation local;
    local.removePlugin("ifacewriter");
    fs::create_directory(local.work / "out");
    RunResult r = local.zo(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(local.runsOf("ctrpack"), 0);
    EXPECT_THAT(r.err,
                ::testing::EndsWith("zo++: error: no interface description was written for " +
                                    c.container + "; the module is kept at " + c.module + "\n"));
    EXPECT_EQ(filesUnder(local.work), c.kept);
  }
}

// The message reaches the plug-in as one argument, whatever it holds, cut
// at 1024 bytes but never inside a character.
TEST_F(DriverTest, ContractMessage) {
  const std::string utf8 = "\xC3\xA9";     // é, two bytes
  const std::string euro = "\xE2\x82\xAC"; // €, three bytes
  struct Case {
    std::string message, received;
  } cases[] = {
      {"it's \"quoted\" $(touch pwned) `x` ; a\\b \n\t*",
       "it's \"quoted\" $(touch pwned) `x` ; a\\b \n\t*"},
      {"caf" + utf8 + " " + euro, "caf" + utf8 + " " + euro},
      {std::string(1024, 'm'), std::string(1024, 'm')},
      {std::string(1025, 'm'), std::string(1024, 'm')},
      {std::string(1023, 'm') + utf8, std::string(1023, 'm')},
      {std::string(1022, 'm') + utf8 + "z", std::string(1022, 'm') + utf8},
      {std::string(1022, 'm') + euro, std::string(1022, 'm')},
      {std::string(1021, 'm') + euro + "z", std::string(1021, 'm') + euro},
      {std::string(1024, '\''), std::string(1024, '\'')},
      // Stray continuation bytes are no character to keep whole.
      {"a" + std::string(1100, '\x80'), "a" + std::string(1023, '\x80')},
      {std::string(1020, 'm') + std::string(10, '\x80'),
       std::string(1020, 'm') + std::string(4, '\x80')},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.message.substr(0, 40));
    Installation local;
    ASSERT_EQ(local.zo({"-contract-message", c.message, "a.cpp"}).status, 0);
    Args args = local.argsOf("clang-8");
    ASSERT_FALSE(args.empty());
    ASSERT_GE(args.size(), 5u);
    EXPECT_THAT(Args(args.end() - 5, args.end()),
                ElementsAre("a.abi", "-Xclang", "-plugin-arg-ifacewriter", "-Xclang", c.received));
    EXPECT_FALSE(local.inWork("pwned"));
  }
}

TEST_F(DriverTest, NameDumpAndPolish) {
  struct Case {
    Args options;
    bool dumps, polishes;
    Args packTail;
  } cases[] = {
      {{}, false, true, {}},
      {{"-dump-names"}, true, true, {"a.names"}},
      {{"-dump-names", "-v"}, true, true, {"a.names"}},
      {{"-g"}, false, false, {}},
      {{"-debug-contract"}, false, false, {}},
      {{"-g", "-dump-names"}, true, false, {"a.names"}},
      {{"-jit"}, false, false, {"-jit"}},
      {{"-dump-names", "-compress"}, true, true, {"a.names", "-compress"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    Installation local;
    RunResult r = local.zoOn(c.options);
    ASSERT_EQ(r.status, 0);
    std::vector<std::string> tools;
    for (const ToolCall &call : local.calls())
      tools.push_back(call.tool);
    Args expectedTools = {"clang-8"};
    if (c.dumps)
      expectedTools.push_back("symlister");
    if (c.polishes)
      expectedTools.push_back("binpolish");
    expectedTools.push_back("ctrpack");
    EXPECT_THAT(tools, ElementsAreArray(expectedTools));
    if (c.dumps) {
      // ">/dev/null" is a redirection: it discards the list's standard
      // output, even with -v, and never reaches the tool.
      EXPECT_THAT(local.argsOf("symlister"), ElementsAre("a.wasm", "-o", "a.names"));
      EXPECT_THAT(r.out, Not(HasSubstr("[symlister stdout]")));
      EXPECT_THAT(r.err, HasSubstr("[symlister stderr]"));
      EXPECT_TRUE(local.inWork("a.names"));
    }
    if (c.polishes) {
      EXPECT_THAT(local.argsOf("binpolish"), ElementsAre("a.wasm"));
    }
    EXPECT_THAT(after(local.argsOf("ctrpack"), "a.abi"), ElementsAreArray(c.packTail));
  }
}

TEST_F(DriverTest, PostLinkFailures) {
  // A name dump that fails or is missing does not stop the build.
  for (bool missing : {false, true}) {
    Installation local;
    if (missing)
      local.removeTool("symlister");
    else
      local.setStatus("symlister", 1);
    RunResult r = local.zo({"-dump-names", "a.cpp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(local.runsOf("ctrpack"), 1);
    EXPECT_EQ(r.err.find("zo++: failed to execute symlister\n") != std::string::npos, missing);
  }

  // A polish that fails, or loses the module, ends the build; nothing is
  // removed.
  struct Case {
    void (*setUp)(Installation &);
    std::string err;
  } cases[] = {
      {[](Installation &i) { i.setStatus("binpolish", 1); },
       "[clang-8 stderr]\n[binpolish stderr]\n"},
      {[](Installation &i) { i.removesInput("binpolish"); },
       "[clang-8 stderr]\n[binpolish stderr]\n"},
      {[](Installation &i) { i.removeTool("binpolish"); },
       "[clang-8 stderr]\nzo++: failed to execute binpolish\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.err);
    Installation local;
    c.setUp(local);
    RunResult r = local.zo({"a.cpp"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(local.runsOf("ctrpack"), 0);
    EXPECT_TRUE(local.inWork("a.abi"));
  }
}

// The name list is named to ctrpack whenever -dump-names is given; a dump
// that failed leaves none, and the build still ends well when the later
// stages succeed.  ctrpack's stand-in reads its inputs, so a stage that
// leaves no file for it is caught.
TEST_F(DriverTest, FailedNameDumpStillPacks) {
  struct Case {
    const char *what;
    Args options;
    void (*setUp)(Installation &);
    int status;
    std::string err;
  } cases[] = {
      {"symlister fails",
       {},
       [](Installation &i) { i.setStatus("symlister", 1); },
       0,
       "ctrpack: warning: a.names: No such file or directory; packing no names\n"},
      {"symlister missing",
       {},
       [](Installation &i) { i.removeTool("symlister"); },
       0,
       "ctrpack: warning: a.names: No such file or directory; packing no names\n"},
      {"symlister fails, -aot",
       {"-aot", "-compress"},
       [](Installation &i) { i.setStatus("symlister", 1); },
       0,
       "ctrpack: warning: a.names: No such file or directory; packing no names\n"},
      {"symlister writes nothing",
       {"-g"},
       [](Installation &i) { i.createsNoFiles("symlister"); },
       0,
       "ctrpack: warning: a.names: No such file or directory; packing no names\n"},
      {"wamrc writes no image",
       {"-aot"},
       [](Installation &i) { i.createsNoFiles("wamrc"); },
       255,
       "ctrpack: a.aot: No such file or directory\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Installation local;
    c.setUp(local);
    Args options = c.options;
    options.push_back("-dump-names");
    RunResult r = local.zoOn(options);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.err));
    Args pack = local.argsOf("ctrpack");
    EXPECT_TRUE(contains(pack, "a.names"));
    // Only the wamrc case has a list; there the image is what is missing.
    EXPECT_EQ(local.inWork("a.names"), c.status != 0);
    EXPECT_EQ(local.inWork("a.ctrx"), c.status == 0);
  }
}

TEST_F(DriverTest, AheadOfTimeCompilation) {
  struct Case {
    Args options;
    Args wamrc;
  } cases[] = {
      {{"-aot"},
       {"--cpu-features=+soft-float", "--cpu=skylake", "--target=x86_64", "--size-level=1", "-o",
        "a.aot", "a.wasm"}},
      {{"-aot", "-aot-target=aarch64"},
       {"--target=aarch64", "--size-level=1", "-o", "a.aot", "a.wasm"}},
      {{"-aot", "-aot-target", "riscv64", "-aot-cpu-features=+m"},
       {"--cpu-features=+m", "--target=riscv64", "--size-level=1", "-o", "a.aot", "a.wasm"}},
      {{"-aot", "-aot-cpu=icelake-server"},
       {"--cpu-features=+soft-float", "--cpu=icelake-server", "--target=x86_64", "--size-level=1",
        "-o", "a.aot", "a.wasm"}},
      {{"-aot", "-aot-cpu-features=+avx2"},
       {"--cpu-features=+avx2", "--cpu=skylake", "--target=x86_64", "--size-level=1", "-o", "a.aot",
        "a.wasm"}},
      {{"-aot", "-aot-skip-mem-bound-check", "-aot-use-new-gas-insn", "-aot-size-level=3"},
       {"-use-new-gas-insn", "-skip-mem-bound-check", "--cpu-features=+soft-float", "--cpu=skylake",
        "--target=x86_64", "--size-level=3", "-o", "a.aot", "a.wasm"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    Installation local;
    RunResult r = local.zoOn(c.options);
    ASSERT_EQ(r.status, 0);
    EXPECT_THAT(local.argsOf("wamrc"), ElementsAreArray(c.wamrc));
    EXPECT_THAT(local.argsOf("ctrpack"),
                ElementsAre("-o", "a.ctrx", "a.aot", "a.abi", "a.wasm", "-aot"));
    EXPECT_THAT(r.out, Not(HasSubstr("[wamrc stdout]")));
    EXPECT_FALSE(local.inWork("a.aot"));
    EXPECT_FALSE(local.inWork("a.wasm"));
  }

  // -v lets the compiler's output through; -jit beside -aot is not passed.
  Installation verbose;
  RunResult r = verbose.zo({"-aot", "-jit", "-v", "-dump-names", "-compress", "a.cpp"});
  ASSERT_EQ(r.status, 0);
  EXPECT_THAT(verbose.argsOf("wamrc"),
              ElementsAre("--cpu-features=+soft-float", "--cpu=skylake", "--target=x86_64",
                          "--size-level=1", "-o", "a.aot", "a.wasm"));
  EXPECT_THAT(r.out, HasSubstr("[wamrc stdout]"));
  EXPECT_THAT(verbose.argsOf("ctrpack"), ElementsAre("-o", "a.ctrx", "a.aot", "a.abi", "a.names",
                                                     "-compress", "a.wasm", "-aot"));
}

TEST_F(DriverTest, LateFailuresKeepEveryFile) {
  for (const char *tool : {"wamrc", "ctrpack"}) {
    for (bool missing : {false, true}) {
      SCOPED_TRACE(std::string(tool) + (missing ? " missing" : " failing"));
      Installation local;
      if (missing)
        local.removeTool(tool);
      else
        local.setStatus(tool, 1);
      RunResult r = local.zo({"-aot", "a.cpp"});
      EXPECT_EQ(r.status, 255);
      EXPECT_EQ(local.runsOf("ctrpack"), std::string(tool) == "ctrpack" && !missing ? 1 : 0);
      EXPECT_TRUE(local.inWork("a.wasm"));
      EXPECT_TRUE(local.inWork("a.abi"));
      EXPECT_EQ(local.inWork("a.aot"), std::string(tool) == "ctrpack");
    }
  }
}

TEST_F(DriverTest, CleanUp) {
  struct Case {
    Args args;
    bool kept;
  } cases[] = {
      {{"-aot", "-dump-names", "a.cpp"}, false},
      {{"-aot", "-dump-names", "-save-temps", "a.cpp"}, true},
      {{"-aot", "-dump-names", "-o", "a.wasm", "a.cpp"}, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Installation local;
    ASSERT_EQ(local.zo(c.args).status, 0);
    EXPECT_TRUE(local.inWork("a.ctrx"));
    EXPECT_TRUE(local.inWork("a.names"));
    for (const char *file : {"a.wasm", "a.abi", "a.aot"})
      EXPECT_EQ(local.inWork(file), c.kept) << file;
  }
}

// Names that hold blanks or shell syntax reach the tools as one argument
// each, and the shell runs nothing out of them.
TEST_F(DriverTest, HostileNamesRunNothing) {
  const std::string names[] = {"my contract.cpp",   "$(touch pwned).cpp", "a;touch pwned.cpp",
                               "`touch pwned`.cpp", "it's.cpp",           "a\"b.cpp",
                               "tab\there.cpp",     "new\nline.cpp",      "*.cpp",
                               "a&b|c>pwned.cpp"};
  for (const std::string &input : names) {
    SCOPED_TRACE(input);
    Installation local;
    // Decoys for a pattern the shell would expand.
    for (const char *decoy : {"decoy.cpp", "decoy.wasm", "decoy.abi", "decoy.aot"})
      local.touch(local.work / decoy);
    RunResult r = local.zo({"-dump-names", "-aot", input});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string stem = input.substr(0, input.size() - 4);
    EXPECT_TRUE(contains(local.argsOf("clang-8"), input));
    EXPECT_THAT(local.argsOf("symlister"), ElementsAre(stem + ".wasm", "-o", stem + ".names"));
    EXPECT_THAT(local.argsOf("ctrpack"),
                ElementsAre("-o", stem + ".ctrx", stem + ".aot", stem + ".abi", stem + ".names",
                            stem + ".wasm", "-aot"));
    EXPECT_TRUE(local.inWork(stem + ".ctrx"));
    EXPECT_FALSE(local.inWork(stem + ".wasm"));
    EXPECT_FALSE(local.inWork("pwned"));
  }

  // Option values with blanks and quotes.
  Installation values;
  RunResult r = values.zo({"-c", "-DMSG=\"hi there\"", "-I", "inc dir", "-W", "x y", "-O",
                           "s;touch pwned", "-L", "lib dir", "-l", "x y", "a.cpp"});
  ASSERT_EQ(r.status, 0);
  Args args = values.argsOf("clang-8");
  for (const char *arg : {"-DMSG=\"hi there\"", "-Iinc dir", "-Wx y", "-Os;touch pwned"})
    EXPECT_TRUE(contains(args, arg)) << arg;
  EXPECT_FALSE(values.inWork("pwned"));

  Installation linking;
  ASSERT_EQ(linking
                .zo({"-L", "lib dir", "-l", "x y", "-o", "out dir.ctrx", "-aot", "-aot-target",
                     "a b", "-aot-cpu", "$(touch pwned)", "a.cpp"})
                .status,
            0);
  EXPECT_TRUE(contains(linking.argsOf("clang-8"), "-Llib dir"));
  EXPECT_TRUE(contains(linking.argsOf("clang-8"), "-lx y"));
  EXPECT_TRUE(contains(linking.argsOf("clang-8"), "out dir.wasm"));
  EXPECT_THAT(linking.argsOf("wamrc"),
              ElementsAre("--cpu=$(touch pwned)", "--target=a b", "--size-level=1", "-o",
                          "out dir.aot", "out dir.wasm"));
  EXPECT_TRUE(linking.inWork("out dir.ctrx"));
  EXPECT_FALSE(linking.inWork("pwned"));
}

// A name that begins with '-' would be an option to the tools: every path
// given to a tool that begins with '-' goes as ./-NAME, whether the user
// gave it or the driver derived it, and the echo shows exactly that.
TEST_F(DriverTest, NamesThatBeginWithADashStayNames) {
  struct Case {
    Args args;
    std::string input, stem, output;
  } cases[] = {
      {{"./-h.cpp"}, "./-h.cpp", "./-h", "-h.ctrx"},
      {{"--", "-evil.cpp"}, "./-evil.cpp", "./-evil", "-evil.ctrx"},
      {{"-o", "-out", "--", "-evil.cpp"}, "./-evil.cpp", "./-out", "-out.ctrx"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Installation local;
    local.touch(local.work / "-h.cpp");
    local.touch(local.work / "-evil.cpp");
    RunResult r = local.zo(concat({{"-v", "-dump-names", "-aot"}, c.args}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string &s = c.stem;
    Args clang = local.argsOf("clang-8");
    EXPECT_TRUE(contains(clang, c.input));
    EXPECT_THAT(after(clang, "-o"),
                ElementsAre(s + ".wasm", "-fplugin=" + local.dir() + "/ifacewriter.so", "-Xclang",
                            "-plugin-arg-ifacewriter", "-Xclang", s + ".abi"));
    EXPECT_THAT(local.argsOf("symlister"), ElementsAre(s + ".wasm", "-o", s + ".names"));
    EXPECT_THAT(local.argsOf("binpolish"), ElementsAre(s + ".wasm"));
    EXPECT_THAT(local.argsOf("wamrc"),
                ElementsAre("--cpu-features=+soft-float", "--cpu=skylake", "--target=x86_64",
                            "--size-level=1", "-o", s + ".aot", s + ".wasm"));
    EXPECT_THAT(local.argsOf("ctrpack"), ElementsAre("-o", s + ".ctrx", s + ".aot", s + ".abi",
                                                     s + ".names", s + ".wasm", "-aot"));
    EXPECT_THAT(r.err, HasSubstr("/binpolish " + s + ".wasm \n"));
    EXPECT_THAT(r.err, HasSubstr("/ctrpack -o " + s + ".ctrx " + s + ".aot "));
    EXPECT_TRUE(local.inWork(c.output));
    EXPECT_FALSE(local.inWork(s.substr(2) + ".wasm"));
  }

  // The analysis mode's names too.
  Installation analysis;
  ASSERT_EQ(analysis.zo({"-vetter", "--", "-x.cpp"}).status, 0);
  Args clang = analysis.argsOf("clang-8");
  EXPECT_TRUE(contains(clang, "./-x.cpp"));
  EXPECT_THAT(after(clang, "-o"),
              ElementsAre("./-x.ll", "-fplugin=" + analysis.dir() + "/ifacewriter.so", "-Xclang",
                          "-plugin-arg-ifacewriter", "-Xclang", "./-x.abi"));
  EXPECT_THAT(analysis.argsOf("vetter"),
              ElementsAre("--abi", "./-x.abi", "-m", "./-x.ll", "-f",
                          analysis.dir() + "/../etc/corvane_export_flow_config.json"));
}

TEST_F(DriverTest, InstallationUnderADirectoryWithBlanks) {
  Installation spaced("my inst;touch pwned");
  spaced.addPlugin("entryhooks");
  spaced.addPlugin("fuzzhooks");
  RunResult r = spaced.zo({"-v", "-fuzz", "a.cpp"});
  ASSERT_EQ(r.status, 0) << r.err;
  Args clang = spaced.argsOf("clang-8");
  const std::string dir = spaced.dir();
  EXPECT_THAT(after(clang, "--sysroot=" + dir + "/../wasm-sysroot"),
              ::testing::IsSupersetOf({dir + "/entryhooks.so", dir + "/fuzzhooks.so"}));
  EXPECT_TRUE(contains(clang, "-Wl,--allow-undefined-file=" + dir + "/../etc/corvane.imports"));
  EXPECT_TRUE(contains(clang, "-fplugin=" + dir + "/ifacewriter.so"));
  EXPECT_EQ(spaced.runsOf("ctrpack"), 1);
  EXPECT_FALSE(fs::exists(spaced.root / "pwned"));
  EXPECT_FALSE(spaced.inWork("pwned"));
  EXPECT_THAT(r.err, HasSubstr("'" + dir + "/clang-8' -lc++ "));

  // The analysis mode builds its paths on the same directory.
  r = spaced.zo({"-vetter", "b.cpp"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(
      contains(spaced.calls().back().args, dir + "/../etc/corvane_export_flow_config.json"));
  EXPECT_FALSE(spaced.inWork("pwned"));
}

} // namespace
} // namespace zotest
