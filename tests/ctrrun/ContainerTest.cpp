//===- ContainerTest.cpp - .ctrx containers in place of modules -----------===//

#include "CtrrunTest.h"

namespace zotest {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const char NoActions[] =
    R"({"version": 1, "message": "", "actions": [], "structs": [], "tables": []})";

// The echo answers with the call input itself, which Call describes.
const char OneAction[] = R"({"version": 1, "message": "", "actions": [
  {"name": "hi", "params": [{"name": "who", "type": "string"}], "result": "Call"}],
  "structs": [{"name": "Call", "fields": [{"name": "action", "type": "string"},
                                          {"name": "who", "type": "string"}]}],
  "tables": []})";

// A container is told from a module by its content, whatever its name; its
// module runs like any other, and without actions it takes raw input.
TEST_F(CtrrunTest, ContainersRunTheirModule) {
  std::string plain = ctrx("plain", contract(Echo), NoActions);
  std::string jit = ctrx("jit", contract(Echo), NoActions, {"-jit", "-compress"});
  fs::copy_file(dir() / plain, dir() / "plain.wasm.bin");
  writeFile(dir() / "input.bin", std::string("a\0b", 3));
  for (const std::string &container : {plain, jit, std::string("plain.wasm.bin")}) {
    SCOPED_TRACE(container);
    RunResult r = ctrrun({container, "hello"});
    EXPECT_EQ(diagnostics(r), "");
    EXPECT_EQ(r.out, "hello");
    EXPECT_EQ(ctrrun({"--input-file=input.bin", container}).out, std::string("a\0b", 3));
  }
  RunResult r = ctrrun({plain, "one", "two"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ctrrun: unexpected argument 'two': plain.ctrx takes one INPUT\n");
  r = ctrrun({wasm("module", contract(Echo)), "one", "two"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ctrrun: unexpected argument 'two': module.wasm takes one INPUT\n");

  // With actions, --raw-input and --input-file pass the input as it is.
  std::string actions = ctrx("actions", contract(Echo), OneAction);
  EXPECT_EQ(ctrrun({"--raw-input", actions, "hi"}).out, "hi");
  EXPECT_EQ(ctrrun({"--input-file=input.bin", actions}).out, std::string("a\0b", 3));
  r = ctrrun({"--input-file=input.bin", actions, "hi"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ctrrun: give the input either as an argument or with --input-file, not both\n");
  // Without, the words are the action and its arguments.
  r = ctrrun({actions, "hi", R"({"who": "x"})"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "{\"action\":\"hi\",\"who\":\"x\"}\n");
}

// Containers ctrrun cannot run: status 9, nothing run, nothing saved.
TEST_F(CtrrunTest, ContainersThatCannotRun) {
  std::string good = ctrx("good", contract(Echo), NoActions);
  const std::string bytes = readFile(dir() / good);

  // The reader's checks, whatever their reason; the last byte is the
  // interface description's.
  std::string flipped = bytes;
  flipped.back() ^= 1;
  std::string version = bytes;
  version[4] = 2;
  struct Case {
    std::string content, why;
  } cases[] = {
      {bytes.substr(0, 10), "truncated header (10 bytes)"},
      {version, "unsupported format version 2"},
      {flipped, "interface section: SHA-256 mismatch"},
      {bytes.substr(0, bytes.size() - 1), ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.why);
    writeFile(dir() / "bad.ctrx", c.content);
    RunResult r = ctrrun({"--storage=s.json", "bad.ctrx", "x"});
    EXPECT_EQ(r.status, 9);
    EXPECT_THAT(r.err, StartsWith("ctrrun: bad.ctrx: not a valid container: " + c.why));
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(dir() / "s.json"));
  }

  // A file that begins as neither a module nor a container, called the way
  // only a container is, is judged as the container before the words are:
  // its damage is the problem, not the words a module would not take.
  std::string unmarked = bytes;
  unmarked[0] = 'X';
  struct Damaged {
    std::string content, why;
  } damaged[] = {
      {unmarked, "not a contract container (bad magic)"},
      {bytes.substr(1), "not a contract container (bad magic)"},
      {bytes.substr(0, 2), "truncated header (2 bytes)"},
      {"", "truncated header (0 bytes)"},
  };
  for (const Damaged &d : damaged) {
    SCOPED_TRACE(d.why);
    writeFile(dir() / "bad.ctrx", d.content);
    for (const Args &args : {Args{"bad.ctrx", "transfer", R"({"to": "bob"})"},
                             Args{"--describe", "bad.ctrx"}, Args{"bad.ctrx", "a", "b", "c"}}) {
      RunResult r = ctrrun(args);
      EXPECT_EQ(r.status, 9);
      EXPECT_EQ(r.err, "ctrrun: bad.ctrx: not a valid container: " + d.why + "\n");
    }
  }

  // A native image packed with its module.
  writeFile(dir() / "native.aot", std::string("\0aot", 4) + "machine code");
  wasm("native", contract(Echo));
  writeFile(dir() / "native.abi", NoActions);
  RunResult packed =
      runProcess(CTRRUN_CTRPACK,
                 {"-o", "native.ctrx", "native.aot", "native.abi", "native.wasm", "-aot"}, dir());
  ASSERT_EQ(packed.status, 0) << packed.err;
  RunResult r = ctrrun({"native.ctrx", "x"});
  EXPECT_EQ(r.status, 9);
  EXPECT_EQ(r.err,
            "ctrrun: native.ctrx holds a native image (-aot); ctrrun runs WebAssembly modules\n");

  // The description must describe: it is what calls are encoded from.
  const std::string head = R"({"version": 1, "actions": [{"name": "f", "params": )";
  struct Description {
    std::string abi, why;
  } descriptions[] = {
      {"[]", "not a JSON object"},
      {R"({"version": 2})", "unsupported version; ctrrun reads version 1"},
      {R"({"actions": {}})", "the description has no \"actions\" array"},
      {head + R"([{"name": "x", "type": "uint128"}], "result": "void"}]})",
       "action 'f' parameter 'x': unknown type 'uint128'"},
      {head + R"([{"name": "x", "type": "vector<int8"}], "result": "void"}]})",
       "action 'f' parameter 'x': malformed type 'vector<int8'"},
      {head + R"([{"name": "x", "type": "map<S,int8>"}], "result": "void"}],
          "structs": [{"name": "S", "fields": [{"name": "a", "type": "bool"}]}]})",
       "action 'f' parameter 'x': map keys are bool, integers or string, not 'S'"},
      {head + R"([{"name": "x", "type": "void"}], "result": "void"}]})",
       "action 'f' parameter 'x': unknown type 'void'"},
      {head + R"([{"name": "x", "type": "bool"}, {"name": "x", "type": "bool"}],
          "result": "void"}]})",
       "action 'f' parameter 'x' appears twice"},
      {head + R"([], "result": "void"}, {"name": "f", "params": [], "result": "bool"}]})",
       "action 'f' appears twice"},
      {head + R"([]}]})", "action 'f' has no \"result\" string"},
      {R"({"structs": [{"name": "S", "fields": []}]})", "struct 'S' has no fields"},
      {head + "[{\"name\": \"x\", \"type\": \"" +
           [] {
             std::string t;
             for (int i = 0; i < 40; ++i)
               t += "vector<";
             return t + "bool" + std::string(40, '>');
           }() +
           "\"}], \"result\": \"void\"}]}",
       "action 'f' parameter 'x': a type nests deeper than 32 levels"},
  };
  for (const Description &d : descriptions) {
    SCOPED_TRACE(d.abi);
    std::string container = ctrx("described", contract(Echo), d.abi);
    r = ctrrun({container});
    EXPECT_EQ(r.status, 9);
    EXPECT_THAT(r.err, StartsWith("ctrrun: described.ctrx: interface description: " + d.why));
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(CtrrunTest, DescribePrintsActionsAndStructs) {
  std::string container = ctrx("shop", contract(Echo), R"({"version": 1, "actions": [
    {"name": "buy", "params": [{"name": "item", "type": "Item"},
                               {"name": "notes", "type": "map< string , vector<int64> >"}],
     "result": "void"},
    {"name": "count", "params": [], "result": "uint32"}],
    "structs": [{"name": "Item", "fields": [{"name": "id", "type": "uint64"},
                                            {"name": "parts", "type": "vector<Item>"}]}]})");
  RunResult r = ctrrun({"--describe", container});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "action buy(item: Item, notes: map<string,vector<int64>>) -> void\n"
                   "action count() -> uint32\n"
                   "struct Item {id: uint64, parts: vector<Item>}\n");
  EXPECT_EQ(r.err, "");

  r = ctrrun({"--describe", wasm("module", contract(Echo))});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ctrrun: module.wasm is a module; --describe reads the interface "
                   "description of a container\n");
}

} // namespace
} // namespace zotest
