//===- RunnerTest.cpp - Input, output, storage and the transaction --------===//

#include "CtrrunTest.h"

namespace zotest {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST_F(CtrrunTest, InputRoundTrip) {
  std::string echo = wasm("echo", contract(Echo));
  for (const std::string input : {"", "hello world", "two\nlines\n"}) {
    RunResult r = ctrrun({echo, input});
    EXPECT_EQ(diagnostics(r), "");
    EXPECT_EQ(r.out, input);
  }
  EXPECT_EQ(ctrrun({echo}).out, "");

  const std::string bytes("a\0b\n\xff", 5);
  writeFile(dir() / "input.bin", bytes);
  EXPECT_EQ(ctrrun({"--input-file=input.bin", echo}).out, bytes);
  // Up to 64 MiB, from a file of any kind.
  RunResult piped = runProcess(
      "/bin/sh", {"-c", "echo piped | \"$0\" --input-file=/dev/stdin " + echo, CTRRUN_PATH}, dir());
  EXPECT_EQ(piped.out, "piped\n");
  fs::resize_file(dir() / "input.bin", (64 << 20) + 1);
  for (const std::string file : {"input.bin", "/dev/zero"}) {
    RunResult big = ctrrun({"--input-file=" + file, echo});
    EXPECT_EQ(big.status, 2);
    EXPECT_EQ(big.err,
              "ctrrun: " + file + ": the input exceeds ctrrun's limit of 67108864 bytes\n");
  }

  RunResult both = ctrrun({"--input-file=input.bin", echo, "text"});
  EXPECT_EQ(both.status, 1);
  EXPECT_THAT(both.err, StartsWith("ctrrun: "));
  RunResult missing = ctrrun({"--input-file=missing.txt", echo});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "ctrrun: missing.txt: No such file or directory\n");
}

// Input: an operation, a one-byte key and a value.  'g' writes the value
// (or "absent"), then "/" and the value read into a 2-byte buffer over
// "*****" with the size get returned; 's' sets the key; 'x' erases it; 'a'
// and 't' set it and then abort or trap.
const char StorageContract[] = R"(
  (data (i32.const 3000) "*****")
  (data (i32.const 4096) "absent")
  (data (i32.const 4110) "refused/")
  (func (export "apply") (local $n i32) (local $op i32) (local $size i32)
    (local.set $n (call $read_input))
    (local.set $op (i32.load8_u (i32.const 0)))
    (if (i32.eq (local.get $op) (i32.const 0x67))
      (then
        (local.set $size (call $storage_get (i32.const 1) (i32.const 1) (i32.const 2048) (i32.const 0)))
        (if (i32.lt_s (local.get $size) (i32.const 0))
          (then (call $output_write (i32.const 4096) (i32.const 6)) (return)))
        (drop (call $storage_get (i32.const 1) (i32.const 1) (i32.const 2048) (local.get $size)))
        (call $output_write (i32.const 2048) (local.get $size))
        (call $output_write (i32.const 4117) (i32.const 1))
        (call $output_write (i32.const 3000)
          (call $storage_get (i32.const 1) (i32.const 1) (i32.const 3000) (i32.const 2)))
        (return)))
    (if (i32.eq (local.get $op) (i32.const 0x78))
      (then (call $storage_erase (i32.const 1) (i32.const 1)) (return)))
    (call $storage_set (i32.const 1) (i32.const 1) (i32.const 2) (i32.sub (local.get $n) (i32.const 2)))
    (if (i32.eq (local.get $op) (i32.const 0x61))
      (then (call $abort (i32.const 4110) (i32.const 7))))
    (if (i32.eq (local.get $op) (i32.const 0x74))
      (then unreachable)))
)";

TEST_F(CtrrunTest, StoragePersistsOnlyAfterSuccess) {
  std::string module = wasm("storage", contract(StorageContract));
  auto call = [&](const std::string &input) {
    return ctrrun({"--storage=state.json", module, input});
  };
  const fs::path state = dir() / "state.json";

  RunResult r = call("gK");
  EXPECT_EQ(r.out, "absent");
  EXPECT_EQ(storage("state.json"), "{}\n") << "nothing happened, yet something was saved";
  EXPECT_EQ(call("sKhello").status, 0);
  EXPECT_EQ(storage("state.json"), "{\n  \"4b\": \"68656c6c6f\"\n}\n");
  EXPECT_EQ(call("gK").out, "hello/he***");

  // A failed call changes nothing, and prints nothing.
  const struct {
    const char *input;
    int status;
    const char *message;
  } failures[] = {{"aKbye", 7, "ctrrun: contract aborted: refused\n"},
                  {"tKbye", 6, "ctrrun: trap in apply: unreachable executed\n"}};
  for (const auto &f : failures) {
    SCOPED_TRACE(f.input);
    r = call(f.input);
    EXPECT_EQ(r.status, f.status);
    EXPECT_THAT(r.err, HasSubstr(f.message));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(storage("state.json"), "{\n  \"4b\": \"68656c6c6f\"\n}\n");
  }

  EXPECT_EQ(call("sLab").status, 0);
  EXPECT_EQ(call("sK").status, 0);
  EXPECT_EQ(storage("state.json"), "{\n  \"4b\": \"\",\n  \"4c\": \"6162\"\n}\n");
  EXPECT_EQ(call("gK").out, "/");
  EXPECT_EQ(call("xK").status, 0);
  EXPECT_EQ(call("gK").out, "absent");
  EXPECT_EQ(call("gL").out, "ab/ab");
  EXPECT_EQ(storage("state.json"), "{\n  \"4c\": \"6162\"\n}\n");

  // Hex digits of either case are read.
  writeFile(state, "{\"4B\": \"4869\"}");
  EXPECT_EQ(call("gK").out, "Hi/Hi");
  // Without --storage, nothing is kept.
  EXPECT_EQ(ctrrun({module, "sKx"}).status, 0);
  EXPECT_EQ(ctrrun({module, "gK"}).out, "absent");
}

TEST_F(CtrrunTest, MalformedStorageIsRejectedAndKept) {
  std::string module = wasm("storage", contract(StorageContract));
  struct Case {
    std::string content, why;
  } cases[] = {
      {" ", "malformed storage file: "},
      {"{\"00\": \"01\"", "malformed storage file: "},
      {"[]", "expected a JSON object"},
      {"{\"zz\": \"00\"}", "key \"zz\" is not hex-encoded bytes"},
      {"{\"abc\": \"00\"}", "key \"abc\" is not hex-encoded bytes"},
      {"{\"00\": 5}", "the value of key \"00\" is not a string of hex-encoded bytes"},
      {"{\"00\": \"0g\"}", "the value of key \"00\" is not a string of hex-encoded bytes"},
      {"{\"00\": \"012\"}", "the value of key \"00\" is not a string of hex-encoded bytes"},
      {"{\"aa\": \"00\", \"AA\": \"01\"}", "appears twice"},
      // LLVM's parser would keep the last, and recurse without end.
      {"{\"aa\": \"00\", \"aa\": \"01\"}", "'aa' appears twice in an object"},
      {std::string(100000, '[') + std::string(100000, ']'), "nests deeper than 256 levels"},
      {"{\"aa\": 01}", "Invalid number"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.content);
    writeFile(dir() / "state.json", c.content);
    RunResult r = ctrrun({"--storage=state.json", module, "sKv"});
    EXPECT_EQ(r.status, 3);
    EXPECT_THAT(r.err, StartsWith("ctrrun: state.json: malformed storage file: "));
    EXPECT_THAT(r.err, HasSubstr(c.why));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFile(dir() / "state.json"), c.content);
  }

  fs::create_directory(dir() / "folder");
  RunResult r = ctrrun({"--storage=folder", module, "sKv"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, StartsWith("ctrrun: folder: "));
  // A device would be read without end.
  r = ctrrun({"--storage=/dev/zero", module, "sKv"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "ctrrun: /dev/zero: not a regular file\n");
}

// The save goes where the path leads, whatever its name, and keeps what the
// file was: a symbolic link stays one, the file its mode.
TEST_F(CtrrunTest, StorageIsSavedInPlace) {
  std::string module = wasm("storage", contract(StorageContract));
  const std::string saved = "{\n  \"4b\": \"76\"\n}\n";
  for (const std::string name : {"p%d/s.json", "p%d/s%%%.json"}) {
    SCOPED_TRACE(name);
    fs::create_directories(dir() / "p%d");
    RunResult r = ctrrun({"--storage=" + name, module, "sKv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(storage(name), saved);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir() / "p%d"), fs::directory_iterator()), 1);
    fs::remove_all(dir() / "p%d");
  }

  writeFile(dir() / "real.json", "{}");
  fs::permissions(dir() / "real.json", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directory(dir() / "links");
  fs::create_symlink("../real.json", dir() / "links" / "s.json");
  RunResult r = ctrrun({"--storage=links/s.json", module, "sKv"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir() / "links" / "s.json"));
  EXPECT_EQ(storage("real.json"), saved);
  EXPECT_EQ(fs::status(dir() / "real.json").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

// Output that cannot be written fails the call, which then keeps nothing.
TEST_F(CtrrunTest, UnwritableOutputFailsTheCall) {
  std::string module = wasm("keep", contract(R"(
  (func (export "apply") (local $n i32)
    (local.set $n (call $read_input))
    (call $storage_set (i32.const 0) (i32.const 1) (i32.const 0) (local.get $n))
    (call $output_write (i32.const 0) (local.get $n)))
)"));
  writeFile(dir() / "state.json", "{}");
  RunResult r = runProcess(
      "/bin/sh",
      {"-c", std::string("\"$0\" --storage=state.json ") + module + " sKv >/dev/full", CTRRUN_PATH},
      dir());
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("ctrrun: standard output: No space left on device\n"));
  EXPECT_EQ(storage("state.json"), "{}\n");
}

// The calls of one run share the transaction, not the instance: each starts
// from the module's initial memory and globals.
TEST_F(CtrrunTest, CallsShareTheTransactionNotTheInstance) {
  // Each call counts itself in a global and in memory, appends a byte to
  // the storage entry "k", writes both counts and the entry's size, and
  // aborts when the input is that size.
  std::string module = wasm("calls", contract(R"(
  (global $calls (mut i32) (i32.const 0))
  (data (i32.const 300) "k")
  (func (export "apply") (local $n i32) (local $size i32)
    (local.set $n (call $read_input))
    (global.set $calls (i32.add (global.get $calls) (i32.const 1)))
    (i32.store8 (i32.const 100) (i32.add (i32.load8_u (i32.const 100)) (i32.const 1)))
    (local.set $size (i32.add (i32.const 1)
      (call $storage_get (i32.const 300) (i32.const 1) (i32.const 400) (i32.const 100))))
    (i32.store8 (i32.const 200) (i32.add (i32.const 48) (global.get $calls)))
    (i32.store8 (i32.const 201) (i32.add (i32.const 48) (i32.load8_u (i32.const 100))))
    (i32.store8 (i32.const 202) (i32.add (i32.const 48) (local.get $size)))
    (call $output_write (i32.const 200) (i32.const 3))
    (call $storage_set (i32.const 300) (i32.const 1) (i32.const 400) (local.get $size))
    (if (i32.and (i32.eq (local.get $n) (i32.const 1))
                 (i32.eq (i32.load8_u (i32.const 0)) (i32.load8_u (i32.const 202))))
      (then (call $abort (i32.const 0) (i32.const 1)))))
)"));
  EXPECT_EQ(ctrrun({module}).out, "110");
  EXPECT_EQ(ctrrun({"--calls=3", module}).out, "110111112");
  EXPECT_EQ(ctrrun({"--calls=2", "--storage=s.json", module}).status, 0);
  EXPECT_EQ(storage("s.json"), "{\n  \"6b\": \"00\"\n}\n");
  // The third call aborts: the first two calls' changes go too.
  RunResult r = ctrrun({"--calls=4", "--storage=s.json", module, "4"});
  EXPECT_EQ(r.status, 7);
  EXPECT_THAT(r.err, HasSubstr("ctrrun: contract aborted: 4\n"));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(storage("s.json"), "{\n  \"6b\": \"00\"\n}\n");

  r = ctrrun({"--calls=0", module});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ctrrun: --calls must be at least 1\n");
}

// Nothing of a call stays behind when the next begins: a million calls
// run in the memory of one.
TEST_F(CtrrunTest, ManyCallsRunInFlatMemory) {
  std::string module = wasm("each", contract(R"(
  (func (export "apply")
    (call $storage_set (i32.const 0) (i32.const 1) (i32.const 0) (call $read_input)))
)"));
  long long one = instructions(ctrrun({module, "k"}));
  RunResult r = runProcess(
      "/bin/sh",
      {"-c", "ulimit -v 200000; exec \"$0\" --calls=1000000 --storage=s.db " + module + " k",
       CTRRUN_PATH},
      dir());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(instructions(r), 1000000 * one);
  EXPECT_EQ(storage("s.db"), "{\n  \"6b\": \"6b\"\n}\n");
}

TEST_F(CtrrunTest, InstructionsAreCountedAndBounded) {
  // Loops once per byte of input.
  std::string module = wasm("loop", contract(R"(
  (func (export "apply") (local $i i32) (local $n i32)
    (local.set $n (call $input_size))
    (block $done
      (loop $next
        (br_if $done (i32.ge_u (local.get $i) (local.get $n)))
        (local.set $i (i32.add (local.get $i) (i32.const 1)))
        (br $next))))
)"));
  auto count = [&](size_t iterations, Args options = {}) {
    options.insert(options.end(), {module, std::string(iterations, 'x')});
    RunResult r = ctrrun(options);
    EXPECT_EQ(diagnostics(r), "");
    return instructions(r);
  };
  long long none = count(0), hundred = count(100), thousand = count(1000);
  EXPECT_GT(none, 0);
  EXPECT_GT(hundred - none, 100 * 4) << "an iteration is at least 5 instructions";
  // Every iteration costs the same.
  EXPECT_EQ(thousand - none, 10 * (hundred - none));
  // All calls are counted.
  EXPECT_EQ(count(100, {"--calls=3"}), 3 * hundred);

  // The limit admits exactly that many instructions.
  EXPECT_EQ(count(100, {"--max-instructions=" + std::to_string(hundred)}), hundred);
  RunResult r =
      ctrrun({"--max-instructions=" + std::to_string(hundred - 1), module, std::string(100, 'x')});
  EXPECT_EQ(r.status, 8);
  EXPECT_EQ(r.err, "instructions: " + std::to_string(hundred - 1) +
                       "\nctrrun: apply exceeded the limit of " + std::to_string(hundred - 1) +
                       " instructions\n");

  std::string forever = wasm("forever", "(module (func (export \"apply\") (loop $l (br $l))))");
  r = ctrrun({"--max-instructions=100000", forever});
  EXPECT_EQ(r.status, 8);
  EXPECT_EQ(instructions(r), 100000);
}

} // namespace
} // namespace zotest
