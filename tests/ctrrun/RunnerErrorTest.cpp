//===- RunnerErrorTest.cpp - Modules the host cannot run, traps, aborts ---===//

#include "CtrrunTest.h"
#include "WasmBytes.h"

#include <fstream>
#include <regex>
#include <set>

namespace zotest {
namespace {

using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

// The host provides every name of the import list the linker is given.
TEST_F(CtrrunTest, HostImportsAreTheImportList) {
  std::set<std::string> listed, imported;
  std::ifstream list(CTRRUN_IMPORTS_LIST);
  for (std::string line; std::getline(list, line);)
    if (!line.empty())
      listed.insert(line);
  const std::string imports = HostImports;
  const std::regex name("\"env\" \"([a-z0-9_]+)\"");
  for (auto it = std::sregex_iterator(imports.begin(), imports.end(), name);
       it != std::sregex_iterator(); ++it)
    imported.insert((*it)[1]);
  EXPECT_EQ(imported, listed);
  EXPECT_EQ(diagnostics(ctrrun({wasm("all", contract("(func (export \"apply\"))"))})), "");
}

std::string locals(int n) {
  std::string text = "(local";
  for (int i = 0; i < n; ++i)
    text += " i32";
  return text + ")";
}

// Modules rejected before anything runs: a one-line message and no output.
TEST_F(CtrrunTest, ModulesTheHostCannotRun) {
  const std::string apply = "(func (export \"apply\"))";
  const std::string memory = "(memory (export \"memory\") 1)";
  struct Case {
    std::string wat;
    int status;
    std::string message;
  } cases[] = {
      {"(import \"env\" \"foo\" (func))" + apply, 5,
       "m.wasm imports env.foo, which the host does not provide"},
      {"(import \"wasi_snapshot_preview1\" \"fd_write\" "
       "(func (param i32 i32 i32 i32) (result i32)))" +
           memory + apply,
       5, "m.wasm imports wasi_snapshot_preview1.fd_write, which the host does not provide"},
      {"(import \"env\" \"memcpy\" (func (param i32 i32) (result i32)))" + memory + apply, 5,
       "m.wasm imports env.memcpy, which the host does not provide with type (i32, i32) -> "
       "(i32) (the host's has type (i32, i32, i32) -> (i32))"},
      {"(import \"env\" \"corvane_input_size\" (func))" + apply, 5,
       "m.wasm imports env.corvane_input_size, which the host does not provide with type () "
       "-> () (the host's has type () -> (i32))"},
      {"(import \"env\" \"memory\" (memory 1))" + apply, 5,
       "m.wasm imports env.memory, which the host does not provide"},
      {"(import \"env\" \"corvane_log\" (global i32))" + apply, 5,
       "m.wasm imports env.corvane_log, which the host does not provide"},
      {"(func (export \"run\"))", 5, "m.wasm does not export a function `apply`"},
      {"(global (export \"apply\") i32 (i32.const 0))", 5,
       "m.wasm does not export a function `apply`"},
      {"(func (export \"apply\") (param i32))", 5,
       "m.wasm exports `apply` with type (i32) -> (); the host calls it as () -> ()"},
      {"(func (export \"apply\") (result i32) (i32.const 0))", 5,
       "m.wasm exports `apply` with type () -> (i32); the host calls it as () -> ()"},
      {"(import \"env\" \"corvane_log\" (func (param i32 i32))) (memory 1)" + apply, 5,
       "m.wasm imports host functions that take pointers but does not export its memory as "
       "\"memory\""},
      {"(import \"env\" \"strlen\" (func (param i32) (result i32))) "
       "(memory (export \"mem\") 1)" +
           apply,
       5,
       "m.wasm imports host functions that take pointers but does not export its memory as "
       "\"memory\""},
      {memory + "(data (i32.const 65535) \"ab\")" + apply, 5,
       "m.wasm cannot be instantiated: out of bounds memory access"},
      // What a module may make the host allocate at once is bounded.
      {"(memory (export \"memory\") 4097)" + apply, 5,
       "m.wasm: its memory of 4097 pages exceeds the host's limit of 4096\n"},
      {"(table 1048577 funcref)" + apply, 5,
       "m.wasm: its table of 1048577 elements exceeds the host's limit of 1048576\n"},
      {"(func (local i32 i64)" + locals(49999) + ")" + apply, 5,
       "m.wasm: function 0 has 50001 locals; the host allows 50000\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.wat);
    std::string module = wasm("m", "(module " + c.wat + ")");
    RunResult r = ctrrun({module});
    EXPECT_EQ(r.status, c.status);
    EXPECT_THAT(r.err, StartsWith("ctrrun: " + c.message));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "");
  }

  // Only pointers need the memory.
  std::string sizeOnly = wasm("size", R"((module
  (import "env" "corvane_input_size" (func $size (result i32)))
  (func (export "apply") (drop (call $size)))))");
  EXPECT_EQ(diagnostics(ctrrun({sizeOnly, "x"})), "");
}

TEST_F(CtrrunTest, UnreadableAndInvalidFiles) {
  const std::string header("\0asm\1\0\0\0", 8);
  struct Case {
    std::string bytes, message;
  } cases[] = {
      {"", "m.wasm: not a valid WebAssembly module: "},
      {"not wasm", "m.wasm: not a valid WebAssembly module: "},
      {header.substr(0, 6), "m.wasm: not a valid WebAssembly module: "},
      {header + "\1", "m.wasm: not a valid WebAssembly module: "},
      // A () -> () function whose body leaves an i32 behind.
      {header + std::string("\1\4\1\x60\0\0"
                            "\3\2\1\0"
                            "\x0a\6\1\4\0\x41\0\x0b",
                            18),
       "m.wasm: not a valid WebAssembly module: "},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    writeFile(dir() / "m.wasm", c.bytes);
    RunResult r = ctrrun({"m.wasm"});
    EXPECT_EQ(r.status, 4);
    EXPECT_THAT(r.err, StartsWith("ctrrun: " + c.message));
    // wabt's own words follow.
    EXPECT_GT(r.err.size(), c.message.size() + 10);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }

  RunResult r = ctrrun({"missing.wasm"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "ctrrun: missing.wasm: No such file or directory\n");
  fs::create_directory(dir() / "folder.wasm");
  r = ctrrun({"folder.wasm"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, StartsWith("ctrrun: folder.wasm: "));
  r = ctrrun({"/dev/zero"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "ctrrun: /dev/zero: not a regular file\n");

  EXPECT_EQ(ctrrun({}).status, 1);
  EXPECT_EQ(ctrrun({"--no-such-option", "m.wasm"}).status, 1);
}

// The interpreter reads code without recursing: blocks nested far deeper
// than binpolish and symlister take (10000 levels) still run.
TEST_F(CtrrunTest, DeeplyNestedCodeRuns) {
  const std::pair<const char *, std::string> kinds[] = {
      {"block", wasm::OpenBlock}, {"loop", wasm::OpenLoop}, {"if", wasm::OpenIf}};
  for (const auto &[kind, open] : kinds) {
    SCOPED_TRACE(kind);
    writeFile(dir() / "deep.wasm", wasm::applyModule(wasm::nested(open, 300000)));
    EXPECT_EQ(diagnostics(ctrrun({"deep.wasm"})), "");
  }
}

// Growing stops at the host's limits: memory.grow fails as the contract
// sees it; a deep value stack, too much output or storage trap.
TEST_F(CtrrunTest, GrowthStopsAtTheHostLimits) {
  std::string module = wasm("grow", contract(R"(
  (func (export "apply")
    (i32.store (i32.const 100) (memory.grow (i32.const 1)))
    (i32.store (i32.const 104) (memory.grow (i32.const 4095)))
    (call $output_write (i32.const 100) (i32.const 8)))
)"));
  RunResult r = ctrrun({module});
  EXPECT_EQ(diagnostics(r), "");
  EXPECT_EQ(r.out, std::string("\1\0\0\0\xff\xff\xff\xff", 8));

  // Within the locals limit, but 1000 frames of 2000 locals are too many.
  std::string deep = wasm("deep", "(module (func $f (param i32) " + locals(2000) + R"(
    (if (local.get 0) (then (call $f (i32.sub (local.get 0) (i32.const 1))))))
  (func (export "apply") (call $f (i32.const 1000)))))");
  r = ctrrun({deep});
  EXPECT_EQ(r.status, 6);
  EXPECT_THAT(r.err, HasSubstr("ctrrun: trap in apply: value stack exhausted\n"));

  // Once per byte of input: writes the whole memory as output, or stores it
  // under the loop count (or under one key with input "same...").
  std::string flood = wasm("flood", contract(R"(
  (func (export "apply") (local $i i32) (local $n i32) (local $op i32)
    (local.set $n (call $read_input))
    (local.set $op (i32.load8_u (i32.const 0)))
    (loop $next
      (if (i32.eq (local.get $op) (i32.const 0x6f))
        (then (call $output_write (i32.const 0) (i32.const 65536)))
        (else
          (if (i32.eq (local.get $op) (i32.const 0x6b)) (then (i32.store (i32.const 0) (local.get $i))))
          (call $storage_set (i32.const 0) (i32.const 4) (i32.const 0) (i32.const 65536))))
      (local.set $i (i32.add (local.get $i) (i32.const 1)))
      (br_if $next (i32.lt_u (local.get $i) (local.get $n)))))
)"));
  struct Case {
    std::string input, message;
  } cases[] = {
      // 64 MiB of output, 256 MiB of storage.
      {std::string(1025, 'o'), "env.corvane_output_write: the call output exceeds the host's "
                               "limit of 67108864 bytes"},
      {std::string(4096, 'k'),
       "env.corvane_storage_set: the transaction's changes exceed the host's limit "
       "of 268435456 bytes"},
      // Replacing a value frees what it held.
      {std::string(5000, 's'), ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.input.substr(0, 1) + std::to_string(c.input.size()));
    r = ctrrun({flood, c.input});
    if (c.message.empty()) {
      EXPECT_EQ(diagnostics(r), "");
      continue;
    }
    EXPECT_EQ(r.status, 6);
    EXPECT_THAT(r.err, HasSubstr("ctrrun: trap in apply: " + c.message + "\n"));
  }
}

// A trap ends the run; what the call wrote is not printed.
TEST_F(CtrrunTest, TrapsAndAborts) {
  struct Case {
    std::string wat;
    int status;
    std::string message;
    std::string innermost; // the function of the call stack's first frame
    std::string last;      // the last line of the stack
  } cases[] = {
      {"(func (export \"apply\") (call $write) unreachable)", 6,
       "trap in apply: unreachable executed", "apply",
       "  at #0 apply \\(module offset 0x[0-9a-f]+\\)"},
      {"(func (export \"apply\") (call $write) (drop (i32.load (i32.const 65534))))", 6,
       "trap in apply: out of bounds memory access", "apply",
       "  at #0 apply \\(module offset 0x[0-9a-f]+\\)"},
      {"(func (export \"apply\") (call $write) (drop (i32.div_u (i32.const 1) (i32.const 0))))", 6,
       "trap in apply: integer divide by zero", "apply",
       "  at #0 apply \\(module offset 0x[0-9a-f]+\\)"},
      {"(func $deeper (call $deeper)) (func (export \"apply\") (call $write) (call $deeper))", 6,
       "trap in apply: call stack exhausted", "function\\[[0-9]+\\]",
       "  \\.\\.\\. [0-9]+ more frames"},
      {"(func (export \"apply\") (call $write) (call $abort (i32.const 16) (i32.const 12)))", 7,
       "contract aborted: out of funds", "apply", "  at #0 apply \\(module offset 0x[0-9a-f]+\\)"},
      {"(func (export \"apply\") (call $write) (call $abort (i32.const 16) (i32.const 0)))", 7,
       "contract aborted: ", "apply", "  at #0 apply \\(module offset 0x[0-9a-f]+\\)"},
      {"(func (export \"apply\") (call $write) (call $abort (i32.const 32) (i32.const 3)))", 7,
       "contract aborted: a\\x0ab", "apply", "  at #0 apply \\(module offset 0x[0-9a-f]+\\)"},
      {"(func $start unreachable) (start $start) (func (export \"apply\") (call $write))", 6,
       "trap in the start function: unreachable executed", "function\\[[0-9]+\\]",
       "  at #0 function\\[[0-9]+\\] \\(module offset 0x[0-9a-f]+\\)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.wat);
    std::string module = wasm("m", contract(R"(
  (data (i32.const 16) "out of funds")
  (data (i32.const 32) "a\nb")
  (func $write (call $output_write (i32.const 16) (i32.const 3)) (call $log (i32.const 16) (i32.const 3)))
)" + c.wat));
    RunResult r = ctrrun({module});
    EXPECT_EQ(r.status, c.status);
    // The count of what ran, then the error line and the call stack.
    EXPECT_THAT(r.err, HasSubstr("instructions: "));
    size_t error = r.err.find("\nctrrun: ");
    ASSERT_NE(error, std::string::npos) << r.err;
    std::string failure = r.err.substr(error + 1);
    EXPECT_THAT(failure, StartsWith("ctrrun: " + c.message));
    EXPECT_THAT(failure, ContainsRegex("\n  at #0 " + c.innermost + " \\(module offset 0x"));
    std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
    EXPECT_THAT(last, MatchesRegex(c.last + "\n"));
    EXPECT_EQ(r.out, "");
  }
}

} // namespace
} // namespace zotest
