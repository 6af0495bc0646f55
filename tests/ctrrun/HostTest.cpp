//===- HostTest.cpp - The host functions as contracts see them ------------===//

#include "CtrrunTest.h"

#include <cstring>

namespace zotest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// Output: the caller's name, the caller read into a 2-byte buffer over
// "##########" with the full size as the length, and has_auth(input).
TEST_F(CtrrunTest, CallerAndAuthorization) {
  std::string module = wasm("identity", contract(R"(
  (data (i32.const 512) "##########")
  (func (export "apply") (local $n i32)
    (local.set $n (call $read_input))
    (call $output_write (i32.const 256) (call $caller (i32.const 256) (i32.const 64)))
    (call $output_write (i32.const 512) (call $caller (i32.const 512) (i32.const 2)))
    (i32.store8 (i32.const 600)
                (i32.add (i32.const 48) (call $has_auth (i32.const 0) (local.get $n))))
    (call $output_write (i32.const 600) (i32.const 1)))
)"));
  struct Case {
    Args options;
    std::string account, caller;
    char authorized;
  } cases[] = {
      {{}, "alice", "alice", '1'},
      {{}, "bob", "alice", '0'},
      {{}, "alic", "alice", '0'},
      {{"--caller=bob"}, "bob", "bob", '1'},
      {{"--caller=bob"}, "alice", "bob", '0'},
      {{"--auth=carol", "--auth=dave"}, "dave", "alice", '1'},
      {{"--auth=carol", "--auth=dave"}, "carol", "alice", '1'},
      // A list of authorizations replaces the caller's.
      {{"--auth=carol"}, "alice", "alice", '0'},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options) + " " + c.account);
    Args args = c.options;
    args.insert(args.end(), {module, c.account});
    RunResult r = ctrrun(args);
    EXPECT_EQ(diagnostics(r), "");
    EXPECT_EQ(r.out, c.caller + c.caller.substr(0, 2) + std::string(c.caller.size() - 2, '#') +
                         c.authorized);
  }
}

// The call context: the contract's own account, then the block's height and
// time as 8 bytes each.
TEST_F(CtrrunTest, CallContext) {
  std::string module = wasm("context", contract(R"(
  (func (export "apply") (local $n i32)
    (local.set $n (call $self (i32.const 100) (i32.const 64)))
    (i64.store (i32.add (i32.const 100) (local.get $n)) (call $block_height))
    (i64.store (i32.add (i32.const 108) (local.get $n)) (call $block_time))
    (call $output_write (i32.const 100) (i32.add (local.get $n) (i32.const 16))))
)"));
  auto le64 = [](uint64_t v) {
    std::string bytes;
    for (int i = 0; i < 8; ++i)
      bytes += char(v >> (8 * i));
    return bytes;
  };
  RunResult r = ctrrun({module});
  EXPECT_EQ(diagnostics(r), "");
  EXPECT_EQ(r.out, "contract" + le64(1) + le64(0));
  r = ctrrun(
      {"--self=escrow", "--block-height=18446744073709551615", "--block-time=1765432100", module});
  EXPECT_EQ(r.out, "escrow" + le64(~0ull) + le64(1765432100));
}

// Log lines and events go to standard error as they happen, one line each.
TEST_F(CtrrunTest, LogAndEventLines) {
  std::string module = wasm("log", contract(R"(
  (data (i32.const 256) "hello\nworld")
  (data (i32.const 300) "transfer")
  (data (i32.const 320) "alice bob 5")
  (func (export "apply")
    (call $log (i32.const 256) (i32.const 11))
    (call $emit_event (i32.const 300) (i32.const 8) (i32.const 320) (i32.const 11))
    (call $log (i32.const 0) (call $read_input))
    (call $emit_event (i32.const 0) (i32.const 0) (i32.const 0) (i32.const 0)))
)"));
  RunResult r = ctrrun({module, "back\\slash\x7f"});
  EXPECT_EQ(diagnostics(r), "log: hello\\x0aworld\n"
                            "event transfer: alice bob 5\n"
                            "log: back\\x5cslash\\x7f\n"
                            "event : \n");
  EXPECT_EQ(r.out, "");
}

// Host work is charged by the bytes it touches: 1 instruction per 16 bytes
// of memory or data, 1 per byte of log text and event data, and 100 more
// per storage access.  Input: an operation, then one character per 1000
// bytes to work on.
TEST_F(CtrrunTest, HostWorkIsChargedByItsBytes) {
  std::string module = wasm("work", contract(R"(
  (func (export "apply") (local $op i32) (local $len i32)
    (local.set $len (i32.mul (i32.sub (call $read_input) (i32.const 1)) (i32.const 1000)))
    (local.set $op (i32.load8_u (i32.const 0)))
    (if (i32.eq (local.get $op) (i32.const 0x73)) ;; s
      (then (drop (call $memset (i32.const 1024) (i32.const 0) (local.get $len)))))
    (if (i32.eq (local.get $op) (i32.const 0x63)) ;; c
      (then (drop (call $memcpy (i32.const 1024) (i32.const 8192) (local.get $len)))))
    (if (i32.eq (local.get $op) (i32.const 0x6d)) ;; m
      (then (drop (call $memcmp (i32.const 1024) (i32.const 8192) (local.get $len)))))
    (if (i32.eq (local.get $op) (i32.const 0x6c)) ;; l
      (then (call $log (i32.const 1024) (local.get $len))))
    (if (i32.eq (local.get $op) (i32.const 0x6b)) ;; k
      (then (call $storage_set (i32.const 0) (i32.const 1) (i32.const 1024) (local.get $len))))
    (if (i32.eq (local.get $op) (i32.const 0x68)) ;; h
      (then (call $sha256 (i32.const 1024) (local.get $len) (i32.const 0))))
    (if (i32.eq (local.get $op) (i32.const 0x62)) ;; b
      (then (call $blake2b (i32.const 1024) (local.get $len) (i32.const 0))))
    (if (i32.eq (local.get $op) (i32.const 0x65)) ;; e
      (then (drop (call $verify_ed25519 (i32.const 0) (i32.const 1024) (local.get $len)
                                        (i32.const 0)))))
    (if (i32.eq (local.get $op) (i32.const 0x6f)) ;; o
      (then (call $output_write (i32.const 1024) (local.get $len)))))
)"));
  struct Case {
    char op;
    long long per4000Bytes;
  } cases[] = {{'s', 250}, {'c', 250}, {'m', 250}, {'l', 4000}, {'k', 250},
               {'o', 250}, {'h', 250}, {'b', 250}, {'e', 250}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.op);
    auto count = [&](int thousands) {
      RunResult r = ctrrun({"--storage=s.db", module, c.op + std::string(thousands, 'x')});
      EXPECT_EQ(r.status, 0) << r.err;
      return instructions(r);
    };
    long long none = count(0), four = count(4), eight = count(8);
    EXPECT_EQ(eight - four, four - none);
    EXPECT_EQ(four - none, c.per4000Bytes);
  }
  fs::remove(dir() / "s.db");

  // A storage access costs 100 on top of its bytes.
  std::string access = wasm("access", contract(R"(
  (func (export "apply")
    (drop (call $storage_get (i32.const 0) (i32.const 1) (i32.const 0) (i32.const 0)))
    (drop (call $read_input)))
)"));
  std::string none = wasm("none", contract(R"(
  (func (export "apply")
    (drop (i32.const 0)) (drop (i32.const 0)) (drop (i32.const 0))
    (drop (call $read_input)))
)"));
  EXPECT_EQ(instructions(ctrrun({access, "k"})) - instructions(ctrrun({none, "k"})), 101);
}

// The instruction limit bounds what the host does for a contract too: a
// copy of 96 MiB stops at once when the limit is 10000.
TEST_F(CtrrunTest, TheLimitStopsHostWork) {
  std::string module = wasm("copy", contract(R"(
  (func (export "apply") (local $i i32)
    (drop (memory.grow (i32.const 3200)))
    (loop $again
      (drop (call $memmove (i32.const 0) (i32.const 1048576) (i32.const 100663296)))
      (local.set $i (i32.add (local.get $i) (i32.const 1)))
      (br_if $again (i32.lt_u (local.get $i) (i32.const 1000)))))
)"));
  RunResult r = ctrrun({"--max-instructions=10000", module});
  EXPECT_EQ(r.status, 8);
  EXPECT_EQ(r.err, "instructions: 10000\nctrrun: apply exceeded the limit of 10000 instructions\n");
}

// A call may log so many bytes of text and event data; past that it fails.
TEST_F(CtrrunTest, LogOutputIsCappedPerCall) {
  std::string module = wasm("chatty", contract(R"(
  (data (i32.const 100) "name")
  (func (export "apply")
    (call $log (i32.const 0) (call $read_input))
    (call $emit_event (i32.const 100) (i32.const 4) (i32.const 0) (call $input_size)))
)"));
  const std::string input(1000, 'x');
  // Each call logs 1000 bytes and emits 1004.
  RunResult r = ctrrun({"--max-log-bytes=2004", "--calls=2", module, input});
  EXPECT_EQ(r.status, 0) << r.err;
  r = ctrrun({"--max-log-bytes=2003", module, input});
  EXPECT_EQ(r.status, 6);
  // The error, then the call stack: apply, at the call that logged too much.
  EXPECT_THAT(r.err, HasSubstr("\nctrrun: the call logged more than the limit of 2003 bytes of "
                               "log and event data\n  at #0 apply (module offset 0x"));
  EXPECT_THAT(r.err, StartsWith("log: xxx"));
  EXPECT_THAT(r.err, Not(HasSubstr("\nevent name")));

  // Zero bytes escape to four characters each, written in one go.
  std::string zeros = wasm("zeros", contract(R"(
  (func (export "apply")
    (drop (memory.grow (i32.const 200)))
    (call $log (i32.const 0) (i32.const 8388608)))
)"));
  r = ctrrun({zeros});
  EXPECT_EQ(r.status, 6);
  EXPECT_THAT(r.err, HasSubstr("the call logged more than the limit of 1048576 bytes"));
  r = ctrrun({"--max-log-bytes=8388608", zeros});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.find('\n'), 5 + 4 * 8388608u);
}

// The C library functions the host lends: each result is stored in a table
// that the contract writes out.
TEST_F(CtrrunTest, MemoryFunctionResults) {
  struct Case {
    const char *expr;
    int32_t result;
  } cases[] = {
      {"(call $memcpy (i32.const 200) (i32.const 100) (i32.const 6))", 200},
      {"(call $strcmp (i32.const 200) (i32.const 100))", 0},
      // Overlapping: memmove copies as if through a buffer.
      {"(call $memmove (i32.const 201) (i32.const 200) (i32.const 5))", 201},
      {"(i32.load (i32.const 200))", 0x6c656868}, // "hhel"
      {"(call $memset (i32.const 300) (i32.const 0x141) (i32.const 3))", 300},
      {"(i32.load (i32.const 300))", 0x00414141},
      {"(call $memcmp (i32.const 100) (i32.const 110) (i32.const 4))", 'l' - 'p'},
      {"(call $memcmp (i32.const 110) (i32.const 100) (i32.const 4))", 'p' - 'l'},
      {"(call $memcmp (i32.const 100) (i32.const 110) (i32.const 3))", 0},
      {"(call $memcmp (i32.const 120) (i32.const 124) (i32.const 1))", 0xff - 1},
      {"(call $memcmp (i32.const 65536) (i32.const 0) (i32.const 0))", 0},
      {"(call $strlen (i32.const 100))", 5},
      {"(call $strlen (i32.const 105))", 0},
      {"(call $strcmp (i32.const 100) (i32.const 110))", 'l' - 'p'},
      {"(call $strcmp (i32.const 100) (i32.const 105))", 'h'},
      {"(call $strcmp (i32.const 120) (i32.const 124))", 0xff - 1},
      {"(call $strncmp (i32.const 100) (i32.const 110) (i32.const 3))", 0},
      {"(call $strncmp (i32.const 100) (i32.const 110) (i32.const 4))", 'l' - 'p'},
      {"(call $strncmp (i32.const 100) (i32.const 110) (i32.const 0))", 0},
      // The last bytes of memory are in reach.
      {"(call $memcpy (i32.const 65530) (i32.const 100) (i32.const 6))", 65530},
      {"(call $strlen (i32.const 65530))", 5},
      {"(call $memset (i32.const 65536) (i32.const 0) (i32.const 0))", 65536},
  };
  std::string stores;
  int n = 0;
  for (const Case &c : cases)
    stores += "(i32.store (i32.const " + std::to_string(4000 + 4 * n++) + ") " + c.expr + ")\n";
  std::string module = wasm("libc", contract(R"(
  (data (i32.const 100) "hello\00")
  (data (i32.const 110) "help\00")
  (data (i32.const 120) "\ff\00")
  (data (i32.const 124) "\01\00")
  (func (export "apply")
)" + stores + "(call $output_write (i32.const 4000) (i32.const " +
                                             std::to_string(4 * n) + ")))"));
  RunResult r = ctrrun({module});
  EXPECT_EQ(diagnostics(r), "");
  ASSERT_EQ(r.out.size(), 4u * n);
  for (int i = 0; i < n; ++i) {
    int32_t result;
    std::memcpy(&result, r.out.data() + 4 * i, 4);
    EXPECT_EQ(result, cases[i].result) << cases[i].expr;
  }
}

// A host function handed memory outside the contract's memory traps
// instead of touching it; the call's output is dropped.
TEST_F(CtrrunTest, OutOfBoundsPointersTrap) {
  // The last 6 bytes of memory hold no terminator.
  const std::string unterminated =
      "(drop (call $memset (i32.const 65530) (i32.const 120) (i32.const 6)))";
  struct Case {
    std::string function, statements;
  } cases[] = {
      {"memcpy", "(drop (call $memcpy (i32.const 65530) (i32.const 0) (i32.const 7)))"},
      {"memcpy", "(drop (call $memcpy (i32.const 0) (i32.const 65535) (i32.const 2)))"},
      {"memmove", "(drop (call $memmove (i32.const 0) (i32.const -1) (i32.const 2)))"},
      {"memset", "(drop (call $memset (i32.const 65536) (i32.const 0) (i32.const 1)))"},
      {"memcmp", "(drop (call $memcmp (i32.const 0) (i32.const 65535) (i32.const 2)))"},
      {"strlen", "(drop (call $strlen (i32.const 65536)))"},
      {"strlen", unterminated + "(drop (call $strlen (i32.const 65530)))"},
      {"strcmp", unterminated + "(drop (call $strcmp (i32.const 65530) (i32.const 65530)))"},
      {"strncmp",
       unterminated + "(drop (call $strncmp (i32.const 65530) (i32.const 65530) (i32.const 9)))"},
      {"corvane_input_read", "(drop (call $input_read (i32.const 65534) (i32.const 3)))"},
      {"corvane_output_write", "(call $output_write (i32.const -1) (i32.const 2))"},
      {"corvane_storage_get",
       "(drop (call $storage_get (i32.const 65535) (i32.const 2) (i32.const 0) (i32.const 0)))"},
      {"corvane_storage_set",
       "(call $storage_set (i32.const 0) (i32.const 1) (i32.const 65535) (i32.const 2))"},
      {"corvane_storage_erase", "(call $storage_erase (i32.const 0) (i32.const 65537))"},
      {"corvane_log", "(call $log (i32.const 65000) (i32.const 1000))"},
      {"corvane_emit_event",
       "(call $emit_event (i32.const 0) (i32.const 1) (i32.const 65535) (i32.const 5))"},
      // A message out of reach is a trap, not an abort.
      {"corvane_abort", "(call $abort (i32.const 65535) (i32.const 2))"},
      {"corvane_caller", "(drop (call $caller (i32.const 65534) (i32.const 10)))"},
      {"corvane_has_auth", "(drop (call $has_auth (i32.const -16) (i32.const 32)))"},
  };
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.statements);
    std::string module = wasm("oob" + std::to_string(n++), contract(R"(
  (func (export "apply")
    (call $output_write (i32.const 0) (call $read_input))
)" + c.statements + ")"));
    RunResult r = ctrrun({module, "abc"});
    EXPECT_EQ(r.status, 6);
    EXPECT_THAT(r.err, HasSubstr("ctrrun: trap in apply: env." + c.function +
                                 ": out of bounds memory access"));
    EXPECT_EQ(r.out, "");
  }
}

} // namespace
} // namespace zotest
