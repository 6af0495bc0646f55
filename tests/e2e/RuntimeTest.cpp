//===- RuntimeTest.cpp - The contract runtime and the runner, end to end --===//
//
// Behaviours that a contract built by zo++ shares with the same code
// compiled natively: failed allocations, 128-bit arithmetic, static and
// thread_local objects, long double, output lines, the stack, and the
// backtrace of a call that traps or aborts.
//
//===----------------------------------------------------------------------===//

#include "ContractTest.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace zotest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const Args Allocators[] = {{}, {"-use-dlmalloc=false"}};

// A throwing new that cannot allocate ends the call, through the host's
// abort, with either allocator and every alignment; storage stays as it
// was.  malloc and the nothrow form give null.
TEST_F(ContractTest, FailedNewEndsTheCall) {
  const std::string before = "{\n  \"6b\": \"6f6c64\"\n}\n";
  struct Case {
    std::string how;
    int status;
    std::string out;
  } cases[] = {
      {"new", 7, ""},           {"new[]", 7, ""},           {"aligned new", 7, ""},
      {"aligned new[]", 7, ""}, {"nothrow new", 0, "null"}, {"malloc", 0, "null"},
  };
  int n = 0;
  for (const Args &allocator : Allocators) {
    std::string module = "oom" + std::to_string(n++) + ".wasm";
    build("outofmemory.cpp", module, allocator);
    for (const Case &c : cases) {
      SCOPED_TRACE(::testing::PrintToString(allocator) + " " + c.how);
      writeFile(dir() / "s.json", before);
      std::string stored = storage("s.json");
      RunResult r = ctrrun({"--storage=s.json", module, c.how});
      EXPECT_EQ(r.status, c.status) << r.err;
      EXPECT_EQ(r.out, c.out);
      if (c.status != 0) {
        EXPECT_THAT(r.err, HasSubstr("ctrrun: contract aborted: out of memory: 314572800 bytes\n"));
        EXPECT_EQ(storage("s.json"), stored);
      }
    }
  }
}

// Debian's compiler-rt builtins are built with a stack protector.
TEST_F(ContractTest, Int128DivisionAndRemainder) {
  for (const Args &option : {Args{}, Args{"-O0"}}) {
    SCOPED_TRACE(::testing::PrintToString(option));
    build("int128.cpp", "int128.wasm", option);
    RunResult r = ctrrun({"int128.wasm"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1267650591354675262013 976383630 -1267650591354675262013 -976383630 "
                     "340282364538961911690641225597 279632276");
    r = ctrrun({"int128.wasm", "smash"});
    EXPECT_EQ(r.status, 7);
    EXPECT_THAT(r.err, HasSubstr("ctrrun: contract aborted: stack smashing detected\n"));
  }
}

// Every call starts from the module's initial state: globals, statics and
// their guards are as the module declares them; only storage carries over.
TEST_F(ContractTest, EveryCallStartsFresh) {
  for (const Args &allocator : Allocators) {
    SCOPED_TRACE(::testing::PrintToString(allocator));
    build("statics.cpp", "statics.wasm", allocator);
    RunResult r = ctrrun({"--calls=3", "statics.wasm"});
    EXPECT_EQ(r.status, 0) << r.err;
    auto call = [](const std::string &stored) {
      return "make local;calls=1;next=1;local;stored=" + stored + ";drop local;";
    };
    EXPECT_EQ(r.out, call("") + call("+") + call("++"));
  }
}

// thread_local objects are destroyed when the call ends, before the static
// ones, as at the end of a native program's main thread.
TEST_F(ContractTest, ThreadLocalDestructorsRun) {
  build("threadlocal.cpp", "threadlocal.wasm");
  RunResult r = ctrrun({"--calls=2", "threadlocal.wasm"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string call = "body;thread_local;static;global;";
  EXPECT_EQ(r.out, call + call);
}

TEST_F(ContractTest, LongDoubleFormattingAndParsing) {
  const Args options[] = {{}, {"-use-host-libc=false"}, {"-O0", "-use-dlmalloc=false"}};
  for (const Args &option : options) {
    SCOPED_TRACE(::testing::PrintToString(option));
    build("longdouble.cpp", "longdouble.wasm", option);
    RunResult r = ctrrun({"longdouble.wasm"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1.5|1.500000|2.5e-3000|0.25|0.667|0.125|0.33333333333333333333");
    EXPECT_THAT(r.err, Not(HasSubstr("printscan")));
  }
}

// One log line per line written, however the writes cut them; the last
// unfinished lines are logged when the call ends, however it ends.
TEST_F(ContractTest, OutputIsLoggedLineByLine) {
  const std::string stdio = "log: p1\nlog: p2\nlog: f1\nlog: f2\nlog: e1\nlog: e2\n";
  const std::string streams = "log: c1\nlog: c2\nlog: r1\nlog: r2\n";
  // The unfinished lines, stdout's first.
  const std::string last = "log: last\nlog: err last\n";
  struct Case {
    std::string how;
    int status;
    std::string end;
  } cases[] = {
      {"", 0, "instructions: "},
      {"abort", 7, "ctrrun: contract aborted: stop\n"},
      {"check", 7, "ctrrun: contract aborted: failed check\n"},
  };
  for (bool iostreams : {false, true}) {
    build("lines.cpp", "lines.wasm", iostreams ? Args{"-DIOSTREAMS"} : Args{});
    for (const Case &c : cases) {
      SCOPED_TRACE(c.how + (iostreams ? " with iostreams" : ""));
      RunResult r = ctrrun({"lines.wasm", c.how});
      EXPECT_EQ(r.status, c.status);
      std::string lines = stdio + (iostreams ? streams : "");
      EXPECT_EQ(r.err.substr(0, r.err.find("instructions: ")), lines + last);
      EXPECT_THAT(r.err, HasSubstr(c.end));
    }
  }
}

TEST_F(ContractTest, StackOverflowIsReported) {
  struct Case {
    Args options;
    std::string message;
  } cases[] = {
      {{},
       "ctrrun: stack overflow: the call needs more than 8192 bytes of stack; "
       "build with -stack-size=N\n"},
      {{"-stack-size=16384"},
       "ctrrun: stack overflow: the call needs more than 16384 bytes "
       "of stack; build with -stack-size=N\n"},
      {{"-stack-size=32768"}, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    build("bigframe.cpp", "bigframe.wasm", c.options);
    RunResult r = ctrrun({"bigframe.wasm"});
    if (c.message.empty()) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, "xxxx");
      continue;
    }
    EXPECT_EQ(r.status, 6);
    EXPECT_THAT(r.err, HasSubstr(c.message));
    EXPECT_THAT(r.err, Not(HasSubstr("out of bounds")));
  }
}

// The backtrace lines of ctrrun's standard error, with each frame's module
// offset and function index replaced by "N": they change with the
// libraries.
std::vector<std::string> backtraceOf(const std::string &err) {
  static const std::regex Number("0x[0-9a-f]+|function\\[[0-9]+\\]");
  std::vector<std::string> frames;
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("  at #", 0) == 0)
      frames.push_back(std::regex_replace(line, Number, "N"));
  return frames;
}

// The line of the fixture that holds `// MARKER`.
std::string lineOf(const fs::path &source, const std::string &marker) {
  std::ifstream in(source);
  int n = 0;
  for (std::string line; std::getline(in, line);)
    if (++n, line.find("// " + marker) != std::string::npos)
      return source.string() + ":" + std::to_string(n);
  ADD_FAILURE() << marker << " is not in " << source;
  return "";
}

// A trap or abort three calls deep prints the stack under the error line:
// with -g each frame's function and source line (the libraries, built
// without, give no line), and otherwise only apply, the one export, by name:
// binpolish inlined the others.
TEST_F(ContractTest, FailuresPrintTheirBacktrace) {
  const fs::path source = contract("backtrace.cpp");
  auto at = [&](const std::string &marker) { return lineOf(source, marker) + ", "; };
  const std::string deepest = "fixture::deepest(char const*)",
                    middle = "fixture::middle(char const*)", outer = "fixture::outer(char const*)",
                    abort = "corvane::abort(std::__2::basic_string_view<char, "
                            "std::__2::char_traits<char> >)";
  struct Case {
    Args options;
    std::string how;
    int status;
    std::string message;
    std::vector<std::string> frames;
  } cases[] = {
      {{"-g"},
       "trap",
       6,
       "ctrrun: trap in apply: out of bounds memory access",
       {"  at #0 " + deepest + " (" + at("trap") + "module offset N)",
        "  at #1 " + middle + " (" + at("middle") + "module offset N)",
        "  at #2 " + outer + " (" + at("outer") + "module offset N)",
        "  at #3 apply (" + at("apply") + "module offset N)"}},
      {{"-g"},
       "abort",
       7,
       "ctrrun: contract aborted: gave up",
       {"  at #0 corvane_abort (module offset N)", "  at #1 " + abort + " (module offset N)",
        "  at #2 " + deepest + " (" + at("abort") + "module offset N)",
        "  at #3 " + middle + " (" + at("middle") + "module offset N)",
        "  at #4 " + outer + " (" + at("outer") + "module offset N)",
        "  at #5 apply (" + at("apply") + "module offset N)"}},
      {{},
       "trap",
       6,
       "ctrrun: trap in apply: out of bounds memory access",
       {"  at #0 apply (module offset N)"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options) + " " + c.how);
    build("backtrace.cpp", "backtrace.wasm", c.options);
    // The container keeps what the module keeps.
    for (const std::string file : {"backtrace.wasm", "backtrace.ctrx"}) {
      SCOPED_TRACE(file);
      RunResult r = ctrrun({file, c.how});
      EXPECT_EQ(r.status, c.status);
      // The error line stays what it was, and the frames follow it.
      size_t error = r.err.find("ctrrun: ");
      ASSERT_NE(error, std::string::npos) << r.err;
      EXPECT_EQ(r.err.compare(error, c.message.size(), c.message), 0) << r.err;
      EXPECT_EQ(r.err.compare(r.err.find('\n', error) + 1, 6, "  at #"), 0) << r.err;
      EXPECT_EQ(backtraceOf(r.err), c.frames) << r.err;
    }
  }
}

} // namespace
} // namespace zotest
