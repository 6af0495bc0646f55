//===- ContractTest.cpp - Contracts built by zo++ and run by ctrrun -------===//

#include "ContractTest.h"

namespace zotest {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

// Global constructors run when apply is entered and destructors before it
// returns, last constructed first, on every call and with every option that
// changes how the contract is compiled or linked.
TEST_F(ContractTest, GlobalsAreConstructedAndDestroyedOnEveryCall) {
  const Args options[] = {{},
                          {"-O0"},
                          {"-g"},
                          {"-Os"},
                          {"-use-dlmalloc=false"},
                          {"-use-host-libc=false"},
                          {"-debug-contract"},
                          {"-stack-size=65536"},
                          {"-dump-names", "-save-temps"}};
  const std::string oneCall = "ctor A;ctor B;body;dtor B;dtor A;";
  int n = 0;
  for (const Args &option : options) {
    SCOPED_TRACE(::testing::PrintToString(option));
    std::string module = "lifecycle" + std::to_string(n++) + ".wasm";
    build("lifecycle.cpp", module, option);
    RunResult r = ctrrun({"--calls=3", module});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, oneCall + oneCall + oneCall);
  }
}

// Destructors run last registered first, each once, however many there are
// and whatever they register while they run.
TEST_F(ContractTest, DestructorOrderUnderStress) {
  std::string oneCall = "body;";
  for (int i = 99; i >= 0; --i)
    oneCall += std::to_string(i) + ",";
  oneCall += "late;last;";
  for (const Args &option : {Args{}, Args{"-use-dlmalloc=false"}}) {
    SCOPED_TRACE(::testing::PrintToString(option));
    build("destructors.cpp", "destructors.wasm", option);
    RunResult r = ctrrun({"--calls=2", "destructors.wasm"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, oneCall + oneCall);
  }
}

TEST_F(ContractTest, DebugRuntimeReports) {
  build("lifecycle.cpp", "debug.wasm", {"-debug-contract"});
  RunResult r = ctrrun({"debug.wasm"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.err, HasSubstr("corvane: running destructors"));

  build("lifecycle.cpp", "plain.wasm");
  r = ctrrun({"plain.wasm"});
  EXPECT_THAT(r.err, Not(HasSubstr("corvane:")));
}

TEST_F(ContractTest, StandardLibraryWorks) {
  for (const Args &option :
       {Args{}, Args{"-O0"}, Args{"-use-host-libc=false", "-use-dlmalloc=false"}}) {
    SCOPED_TRACE(::testing::PrintToString(option));
    build("features.cpp", "features.wasm", option);
    RunResult r = ctrrun({"features.wasm", "to be or not to be"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "be=2;to=2;not=1;or=1;0.667|   ab|ff");
  }
}

TEST_F(ContractTest, SysrootLibrariesWork) {
  build("libraries.cpp", "libraries.wasm");
  RunResult r = ctrrun({"libraries.wasm", R"({"a": "1.5", "b": "2.25", "text": "hello world"})"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, R"({"hash":"588fb7478bd6b01b","product":"3.37","sum":"3.75"})");
  r = ctrrun({"libraries.wasm", "{\"a\": }"});
  EXPECT_NE(r.status, 0);
  EXPECT_THAT(r.err, HasSubstr("bad request at column 7"));
}

// stdout, stderr, iostreams, getenv and exit need no import beyond the host
// interface: output goes to the host's log, there is no environment, and
// exit ends the call as a failure.
TEST_F(ContractTest, LibraryOutputEnvironmentAndExit) {
  build("stdio.cpp", "stdio.wasm");
  for (const std::string &name : importsOf(dir() / "stdio.wasm"))
    EXPECT_EQ(name.rfind("env.", 0), 0u) << name;
  RunResult r = ctrrun({"stdio.wasm"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "no environment");
  EXPECT_THAT(r.err, HasSubstr("log: printf 42\nlog: puts\nlog: stderr too\nlog: cerr 7\n"));
  r = ctrrun({"stdio.wasm", "exit"});
  EXPECT_NE(r.status, 0);
  EXPECT_THAT(r.err, HasSubstr("contract aborted: exit(3)"));
  EXPECT_EQ(r.out, "");
}

TEST_F(ContractTest, HostProvidesTheMemoryFunctions) {
  const std::vector<std::string> hostFunctions = {"env.memcpy", "env.memset"};
  build("features.cpp", "host.wasm");
  std::vector<std::string> imports = importsOf(dir() / "host.wasm");
  for (const std::string &name : hostFunctions)
    EXPECT_THAT(imports, Contains(name));

  build("features.cpp", "own.wasm", {"-use-host-libc=false"});
  imports = importsOf(dir() / "own.wasm");
  for (const char *name : {"env.memcpy", "env.memmove", "env.memset", "env.memcmp", "env.strlen",
                           "env.strcmp", "env.strncmp"})
    EXPECT_THAT(imports, Not(Contains(name)));
  // Nothing else is imported but the host interface.
  for (const std::string &name : imports)
    EXPECT_EQ(name.rfind("env.corvane_", 0), 0u) << name;
}

TEST_F(ContractTest, AllocatorChoice) {
  build("allocator.cpp", "dlmalloc.wasm");
  EXPECT_EQ(ctrrun({"dlmalloc.wasm"}).out, "reused");
  build("allocator.cpp", "plainheap.wasm", {"-use-dlmalloc=false"});
  EXPECT_EQ(ctrrun({"plainheap.wasm"}).out, "fresh");
}

// The compiler aims at 32-bit WebAssembly and stops where it is told to.
TEST_F(ContractTest, CompileOnlyModes) {
  const std::string source = contract("lifecycle.cpp").string();
  struct Case {
    Args options;
    std::string file, start;
  } cases[] = {
      {{"-c"}, "lifecycle.o", std::string("\0asm", 4)},
      {{"-emit-llvm", "-c"}, "lifecycle.bc", "BC"},
      {{"-S"}, "lifecycle.s", "\t.text"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    Args args = c.options;
    args.push_back(source);
    RunResult r = zo(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir() / c.file).substr(0, c.start.size()), c.start);
    EXPECT_FALSE(fs::exists(dir() / "lifecycle.wasm"));
  }
  RunResult r = zo({"-S", "-emit-llvm", source});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(readFile(dir() / "lifecycle.ll"), HasSubstr("target triple = \"wasm32"));
  // The constructor and finaliser calls are in apply.
  EXPECT_THAT(readFile(dir() / "lifecycle.ll"), HasSubstr("call void @__wasm_call_ctors()"));
  r = zo({"-E", source});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("extern \"C\" void apply() { corvane::output(\"body;\"); }"),
            std::string::npos);
}

// clang runs a wasm-opt it finds on PATH after an optimised link; the
// installed compiler never does.
TEST_F(ContractTest, NoWasmOptFromPath) {
  fs::create_directory(dir() / "decoy");
  writeFile(dir() / "decoy" / "wasm-opt",
            "#!/bin/sh\ntouch \"" + (dir() / "ran").string() + "\"\nexit 1\n");
  fs::permissions(dir() / "decoy" / "wasm-opt", fs::perms::owner_all);
  const char *path = getenv("PATH");
  RunResult r =
      runProcess(tool("zo++"), {"-O2", "-o", "x.wasm", contract("lifecycle.cpp").string()}, dir(),
                 {"PATH=" + (dir() / "decoy").string() + ":" + (path ? path : "")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir() / "ran"));
}

TEST_F(ContractTest, UndefinedFunctionFailsTheLink) {
  RunResult r = zo({"-o", "undeclared.wasm", contract("undeclared.cpp").string()});
  EXPECT_EQ(r.status, 255);
  EXPECT_THAT(r.err, HasSubstr("undefined symbol: not_declared_anywhere"));
  EXPECT_FALSE(fs::exists(dir() / "undeclared.wasm"));
}

TEST_F(ContractTest, RunnerRejectsFailingContracts) {
  build("failures.cpp", "failures.wasm");
  EXPECT_EQ(ctrrun({"failures.wasm", "nothing"}).out, "fine");
  struct Case {
    std::string input, message;
  } cases[] = {
      {"trap", "trap"},
      {"abort", "contract aborted: broken on purpose"},
      {"assert", "contract aborted: assertion failed at " + contract("failures.cpp").string() +
                     ":18 in apply: how.empty()"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.input);
    RunResult r = ctrrun({"failures.wasm", c.input});
    EXPECT_NE(r.status, 0);
    EXPECT_THAT(r.err, HasSubstr(c.message));
    EXPECT_EQ(r.out, "");
  }
}

// A storage key is at most 256 bytes with and without -debug-contract,
// through the storage functions and through tables alike.
TEST_F(ContractTest, StorageKeyLimitHoldsInEveryBuild) {
  const std::string tooLong = "contract aborted: storage key is longer than 256 bytes";
  const std::string hexK = [] {
    std::string hex;
    for (int i = 0; i < 252; ++i)
      hex += "6b";
    return hex;
  }();
  struct Case {
    std::string input;
    std::string storedKey; // hex; empty when the call must fail
    std::string message;
  } cases[] = {
      {"raw 256", hexK + "6b6b6b6b", ""},
      {"raw 257", "", tooLong},
      {"get 257", "", tooLong},
      {"erase 257", "", tooLong},
      // "t:", the length 252 as two LEB128 bytes, then the string.
      {"table 252", "743afc01" + hexK, ""},
      {"table 253", "", "contract aborted: key too long for table t"},
  };
  int n = 0;
  for (const Args &option : {Args{}, Args{"-debug-contract"}}) {
    SCOPED_TRACE(::testing::PrintToString(option));
    std::string module = "keys" + std::to_string(n++) + ".wasm";
    build("keys.cpp", module, option);
    for (const Case &c : cases) {
      SCOPED_TRACE(c.input);
      std::string storage = module + "." + c.input + ".json";
      RunResult r = ctrrun({"--storage=" + storage, module, c.input});
      if (c.storedKey.empty()) {
        EXPECT_NE(r.status, 0);
        EXPECT_THAT(r.err, HasSubstr(c.message));
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(this->storage(storage), "{}\n");
      } else {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "done");
        EXPECT_THAT(this->storage(storage), HasSubstr("\"" + c.storedKey + "\""));
      }
    }
  }
}

TEST_F(ContractTest, RunnerRejectsUnknownImports) {
  // The import is declared with its module, so the link takes it as is.
  RunResult r = zo({"-o", "teleport.wasm", "-DTELEPORT", contract("failures.cpp").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(importsOf(dir() / "teleport.wasm"), Contains("env.corvane_teleport"));
  r = ctrrun({"teleport.wasm", "nothing"});
  EXPECT_NE(r.status, 0);
  EXPECT_THAT(r.err, HasSubstr("env.corvane_teleport"));
  EXPECT_EQ(r.out, "");
}

// The polish shrinks the module and keeps what it does.
TEST_F(ContractTest, PolishShrinksAndKeepsBehaviour) {
  // -jit leaves the module unpolished.
  fs::path raw = build("features.cpp", "raw.wasm", {"-jit"});
  fs::path polished = dir() / "polished.wasm";
  fs::copy_file(raw, polished);
  RunResult r = runProcess(tool("binpolish"), {polished.string()}, dir());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_LT(fs::file_size(polished), fs::file_size(raw));
  RunResult before = ctrrun({"raw.wasm", "a b a"});
  RunResult after = ctrrun({"polished.wasm", "a b a"});
  EXPECT_EQ(before.status, 0);
  EXPECT_EQ(after.status, 0);
  EXPECT_EQ(before.out, after.out);
}

} // namespace
} // namespace zotest
