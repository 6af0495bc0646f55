//===- ActionCallTest.cpp - Actions called by name with JSON arguments ----===//
//
// The contract under test stores its whole call input in storage, where the
// test reads it back byte for byte, and answers with the input after the
// action name.  An action declared with the same parameter and result type
// therefore echoes its argument: encoding and decoding are checked against
// bytes written out here, and declaring a result type other than the
// argument's makes the contract answer with bytes of the test's choosing.
//
//===----------------------------------------------------------------------===//

#include "CtrrunTest.h"

#include <cstdint>

namespace zotest {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;

// One page; inputs stay below the key at 65000.
const char Reflect[] = R"(
  (data (i32.const 65000) "i")
  (func (export "apply") (local $n i32) (local $skip i32)
    (local.set $n (call $read_input))
    (call $storage_set (i32.const 65000) (i32.const 1) (i32.const 0) (local.get $n))
    (local.set $skip (i32.add (i32.const 1) (i32.load8_u (i32.const 0))))
    (call $output_write (local.get $skip) (i32.sub (local.get $n) (local.get $skip))))
)";

// The encoding, written out independently of ctrrun's code.
std::string le(uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<char>(value >> (8 * i)));
  return out;
}
// Strings shorter than 128 bytes take one length byte.
std::string str(const std::string &s) { return std::string(1, char(s.size())) + s; }

std::string hex(const std::string &bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes)
    out += {digits[c >> 4], digits[c & 15]};
  return out;
}

struct Param {
  std::string name, type;
};
struct ActionDecl {
  std::string name;
  std::vector<Param> params;
  std::string result;
};

const char Structs[] = R"([
  {"name": "Inner", "fields": [{"name": "flag", "type": "bool"},
                               {"name": "n", "type": "int16"}]},
  {"name": "Outer", "fields": [{"name": "name", "type": "string"},
                               {"name": "inner", "type": "Inner"},
                               {"name": "more", "type": "vector<Inner>"}]},
  {"name": "Pair", "fields": [{"name": "b", "type": "uint8"},
                              {"name": "a", "type": "string"}]}
])";

std::string abi(const std::vector<ActionDecl> &actions) {
  std::string text = R"({"version": 1, "message": "", "actions": [)";
  for (size_t i = 0; i < actions.size(); ++i) {
    text +=
        (i ? ",\n" : "\n") + std::string(R"({"name": ")") + actions[i].name + R"(", "params": [)";
    for (size_t j = 0; j < actions[i].params.size(); ++j)
      text += (j ? ", " : "") + std::string(R"({"name": ")") + actions[i].params[j].name +
              R"(", "type": ")" + actions[i].params[j].type + R"("})";
    text += R"(], "result": ")" + actions[i].result + R"("})";
  }
  return text + "],\n\"structs\": " + Structs + ", \"tables\": []}\n";
}

class ActionCallTest : public CtrrunTest {
protected:
  // What the contract stored: the whole call input.
  std::string storedInput() const {
    std::string state = storage("s.json");
    const std::string prefix = "{\n  \"69\": \"";
    EXPECT_EQ(state.rfind(prefix, 0), 0u) << state;
    return state.substr(prefix.size(), state.find('"', prefix.size()) - prefix.size());
  }

  RunResult call(const std::string &container, const Args &words) {
    fs::remove(dir() / "s.json");
    Args args = {"--storage=s.json", container};
    args.insert(args.end(), words.begin(), words.end());
    return ctrrun(args);
  }
};

// Every type: the argument's bytes, and the result printed from the same
// bytes.  Map entries go in key order: bytes for strings, numeric for
// integers, whatever order the caller wrote them in.
TEST_F(ActionCallTest, ArgumentsAreEncodedAndResultsDecoded) {
  struct Case {
    std::string type, json, bytes, printed; // printed: the JSON itself when empty
  } cases[] = {
      {"bool", "true", "\x01", ""},
      {"bool", "false", std::string(1, '\0'), ""},
      {"int8", "-128", "\x80", ""},
      {"int8", "127", "\x7f", ""},
      {"int16", "-2", "\xfe\xff", ""},
      {"int32", "-2147483648", le(0x80000000, 4), ""},
      {"int64", "-9223372036854775808", le(1ull << 63, 8), ""},
      {"int64", "\"-9223372036854775808\"", le(1ull << 63, 8), "-9223372036854775808"},
      {"int64", "9223372036854775807", le(~0ull >> 1, 8), ""},
      {"uint8", "255", "\xff", ""},
      {"uint16", "\"65535\"", "\xff\xff", "65535"},
      {"uint32", "4294967295", le(~0u, 4), ""},
      {"uint64", "18446744073709551615", le(~0ull, 8), ""},
      {"uint64", "\"18446744073709551615\"", le(~0ull, 8), "18446744073709551615"},
      {"uint64", "9007199254740993", le(9007199254740993ull, 8), ""},
      {"uint64", "-0", le(0, 8), "0"},
      {"string", "\"\"", std::string(1, '\0'), ""},
      {"string", "\"h\\u00e9\xe2\x9c\x93\\n\\u0000\"",
       str("h\xc3\xa9\xe2\x9c\x93\n" + std::string(1, '\0')),
       "\"h\xc3\xa9\xe2\x9c\x93\\n\\u0000\""},
      {"string", "\"" + std::string(200, 'a') + "\"", "\xc8\x01" + std::string(200, 'a'), ""},
      {"string", "\"\\ud83d\\ude00\"", str("\xf0\x9f\x98\x80"), "\"\xf0\x9f\x98\x80\""},
      {"vector<uint16>", "[]", std::string(1, '\0'), ""},
      {"vector<uint16>", "[1,513]", "\x02" + le(1, 2) + le(513, 2), ""},
      {"vector<vector<bool>>", "[[true],[]]", "\x02\x01\x01" + std::string(1, '\0'), ""},
      {"map<string,uint8>", R"({"b":2,"\u00e9":3,"a":1})",
       "\x03" + str("a") + "\x01" + str("b") + "\x02" + str("\xc3\xa9") + "\x03",
       "{\"a\":1,\"b\":2,\"\xc3\xa9\":3}"},
      {"map<int16,bool>", "[[256,true],[-1,false],[1,true]]",
       "\x03" + le(0xffff, 2) + std::string(1, '\0') + le(1, 2) + "\x01" + le(256, 2) + "\x01",
       "[[-1,false],[1,true],[256,true]]"},
      {"map<uint64,string>", R"([["18446744073709551615","x"]])", "\x01" + le(~0ull, 8) + str("x"),
       R"([[18446744073709551615,"x"]])"},
      {"Outer", R"({"more":[{"n":-1,"flag":false}],"name":"z","inner":{"n":5,"flag":true}})",
       str("z") + "\x01" + le(5, 2) + "\x01" + std::string(1, '\0') + le(0xffff, 2),
       R"({"name":"z","inner":{"flag":true,"n":5},"more":[{"flag":false,"n":-1}]})"},
  };
  std::vector<ActionDecl> actions;
  for (size_t i = 0; i < std::size(cases); ++i)
    actions.push_back({"a" + std::to_string(i), {{"v", cases[i].type}}, cases[i].type});
  std::string container = ctrx("types", contract(Reflect), abi(actions));

  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    SCOPED_TRACE(c.type + " " + c.json);
    RunResult r = call(container, {actions[i].name, "{\"v\": " + c.json + "}"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(storedInput(), hex(str(actions[i].name) + c.bytes));
    EXPECT_EQ(r.out, (c.printed.empty() ? c.json : c.printed) + "\n");
  }
}

// Arguments go in parameter order whatever the JSON's order; a void action
// prints nothing, and one without parameters needs no JSON.
TEST_F(ActionCallTest, ParametersInOrderAndVoidResults) {
  std::string container =
      ctrx("pair", contract(Reflect),
           abi({{"pair", {{"b", "uint8"}, {"a", "string"}}, "Pair"}, {"none", {}, "void"}}));
  RunResult r = call(container, {"pair", R"({"a": "x", "b": 7})"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(storedInput(), hex(str("pair") + "\x07" + str("x")));
  EXPECT_EQ(r.out, "{\"b\":7,\"a\":\"x\"}\n");

  for (const Args &words : {Args{"none"}, Args{"none", "{}"}, Args{"none", " { } "}}) {
    r = call(container, words);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(storedInput(), hex(str("none")));
    EXPECT_EQ(r.out, "");
  }

  // Each call's result on its own line.
  r = ctrrun({"--calls=3", container, "pair", R"({"a": "", "b": 1})"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string line = "{\"b\":1,\"a\":\"\"}\n";
  EXPECT_EQ(r.out, line + line + line);
}

// Calls that do not fit the description run nothing: status 10, one line
// naming the action, the parameter and what it takes.
TEST_F(ActionCallTest, CallsThatDoNotFitTheDescription) {
  std::string container = ctrx("calls", contract(Reflect),
                               abi({{"pair", {{"b", "uint8"}, {"a", "string"}}, "Pair"},
                                    {"small", {{"v", "int8"}}, "void"},
                                    {"big", {{"v", "uint64"}}, "void"},
                                    {"nest", {{"v", "Outer"}}, "void"},
                                    {"names", {{"v", "map<string,uint8>"}}, "void"},
                                    {"flags", {{"v", "map<int16,bool>"}}, "void"}}));
  const std::string pairTakes = "; pair takes (b: uint8, a: string)";
  struct Case {
    Args words;
    std::string message;
  } cases[] = {
      {{"pay", "{}"},
       "calls.ctrx has no action 'pay'; its actions: pair(b: uint8, a: string), small(v: int8), "
       "big(v: uint64), nest(v: Outer), names(v: map<string,uint8>), flags(v: map<int16,bool>)"},
      {{"Pair"},
       "calls.ctrx has no action 'Pair'; its actions: pair(b: uint8, a: string), "
       "small(v: int8), big(v: uint64), nest(v: Outer), names(v: map<string,uint8>), "
       "flags(v: map<int16,bool>)"},
      {{"pair", R"({"b": 1})"}, "pair: missing argument 'a' (string)" + pairTakes},
      {{"pair"}, "pair: missing argument 'b' (uint8)" + pairTakes},
      {{"pair", R"({"a": "x", "b": 1, "c": 0})"}, "pair: unexpected argument 'c'" + pairTakes},
      {{"pair", R"({"a": 5, "b": 1})"}, "pair: argument 'a': expected string, got 5"},
      {{"pair", R"({"a": "x", "b": null})"},
       "pair: argument 'b': expected uint8 (an integer, or a string of decimal digits), got null"},
      {{"pair", "[1, \"x\"]"},
       "pair: the arguments must be a JSON object by parameter name, not an array" + pairTakes},
      {{"pair", R"({"a": "x", "b": 1, "a": "y"})"},
       "pair: in the arguments, 'a' appears twice in an object"},
      {{"small", R"({"v": -129})"},
       "small: argument 'v': -129 is out of range for int8 (-128 to 127)"},
      {{"small", R"({"v": "128"})"},
       "small: argument 'v': 128 is out of range for int8 (-128 to 127)"},
      {{"small", R"({"v": 1.5})"},
       "small: argument 'v': expected int8 (an integer, or a string of decimal digits), got 1.5"},
      {{"small", R"({"v": 1e2})"},
       "small: argument 'v': expected int8 (an integer, or a string of decimal digits), got 1e2"},
      {{"small", R"({"v": "+1"})"},
       "small: argument 'v': expected int8 (an integer, or a string of decimal digits), got "
       "\"+1\""},
      // Beyond 64 bits LLVM's parser would clamp the number; its text is read.
      {{"big", R"({"v": 18446744073709551616})"},
       "big: argument 'v': 18446744073709551616 is out of range for uint64 (0 to "
       "18446744073709551615)"},
      {{"big", R"({"v": "99999999999999999999999"})"},
       "big: argument 'v': 99999999999999999999999 is out of range for uint64 (0 to "
       "18446744073709551615)"},
      {{"big", R"({"v": -1})"},
       "big: argument 'v': -1 is out of range for uint64 (0 to 18446744073709551615)"},
      {{"nest",
        R"({"v": {"name": "", "inner": {"flag": true, "n": 1}, "more": [{"flag": true, "n": "x"}]}})"},
       "nest: argument 'v.more[0].n': expected int16 (an integer, or a string of decimal digits), "
       "got \"x\""},
      {{"nest", R"({"v": {"name": "", "inner": {"flag": true}, "more": []}})"},
       "nest: argument 'v.inner': missing field 'n' (int16) of Inner {flag: bool, n: int16}"},
      {{"nest", R"({"v": {"name": "", "inner": {"flag": true, "n": 1, "m": 2}, "more": []}})"},
       "nest: argument 'v.inner': unexpected field 'm' of Inner {flag: bool, n: int16}"},
      {{"nest", R"({"v": []})"},
       "nest: argument 'v': expected Outer (an object by field name), got an array"},
      {{"names", R"({"v": {"a": 1, "b": 300}})"},
       "names: argument 'v[\"b\"]': 300 is out of range for uint8 (0 to 255)"},
      {{"names", R"({"v": [["a", 1]]})"},
       "names: argument 'v': expected map<string,uint8> (an object), got an array"},
      {{"flags", R"({"v": {"1": true}})"},
       "flags: argument 'v': expected map<int16,bool> (an array of [key, value] pairs), got an "
       "object"},
      {{"flags", R"({"v": [[1, true], 5]})"},
       "flags: argument 'v[1]': expected a [key, value] pair, got 5"},
      {{"flags", R"({"v": [[1, true], ["1", false]]})"},
       "flags: argument 'v': the key \"1\" appears twice"},
      {{"flags", R"({"v": [[1, 1]]})"},
       "flags: argument 'v[0][1]': expected bool (true or false), got 1"},
      {{"pair", std::string(300, '[') + std::string(300, ']')},
       "pair: the arguments nest deeper than 256 levels"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.words.back());
    RunResult r = call(container, c.words);
    EXPECT_EQ(r.status, 10);
    EXPECT_EQ(r.err, "ctrrun: " + c.message + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(dir() / "s.json"));
  }

  // Malformed JSON, also what LLVM's parser would let through: the
  // message with its position.
  const struct {
    std::string json, position;
  } malformed[] = {
      {R"({"a": "x",})", "[1:11, byte=11]: "},
      {R"({"a": "x", "b": 01})", "[1:17, byte=17]: Invalid number"},
      {R"({"a": "x", "b": -007})", "[1:17, byte=17]: Invalid number"},
      {R"({"a": "x", "b": 1.})", "[1:17, byte=17]: Invalid number"},
      {R"({"a": "x", "b": [-.5]})", "[1:18, byte=18]: Invalid number"},
      {"{\"b\": 1,\n \"a\": \"x\\ud800\"}", "[2:9, byte=18]: Unpaired surrogate"},
      {R"({"b": 1, "a": "\ud800\u0041"})", "[1:16, byte=16]: Unpaired surrogate"},
      {R"({"b": 1, "\udc00": 2})", "[1:11, byte=11]: Unpaired surrogate"},
  };
  RunResult r;
  for (const auto &m : malformed) {
    SCOPED_TRACE(m.json);
    r = call(container, {"pair", m.json});
    EXPECT_EQ(r.status, 10);
    EXPECT_THAT(r.err, HasSubstr("ctrrun: pair: the arguments are not valid JSON: " + m.position));
  }

  // The command line itself: no action, or a word too many.
  for (const Args &words : {Args{}, Args{"pair", "{}", "more"}}) {
    r = call(container, words);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, testing::StartsWith("ctrrun: "));
  }
  EXPECT_THAT(call(container, {}).err, HasSubstr("calls.ctrx offers pair(b: uint8, a: string), "));
}

// A result that does not decode fails the transaction: status 11, nothing
// printed, nothing saved.
TEST_F(ActionCallTest, ResultsThatDoNotDecode) {
  auto bytes = [](int n) {
    std::vector<Param> params;
    for (int i = 0; i < n; ++i)
      params.push_back({"p" + std::to_string(i), "uint8"});
    return params;
  };
  struct Case {
    ActionDecl action;
    std::string json, why;
  } cases[] = {
      {{"b", {{"v", "uint8"}}, "bool"},
       R"({"v": 2})",
       "does not decode as bool: byte 0: bool byte 0x2 is neither 0 nor 1; the contract and its "
       "interface description disagree (output: 1 bytes, 02)"},
      {{"trailing", {{"v", "uint16"}}, "uint8"},
       R"({"v": 257})",
       "does not decode as uint8: 1 bytes left after the value"},
      {{"short", {{"v", "uint8"}}, "uint32"},
       R"({"v": 1})",
       "does not decode as uint32: byte 0: uint32 needs 4 bytes, 1 left"},
      {{"wide", {{"v", "uint16"}}, "string"},
       R"({"v": 128})",
       "does not decode as string: byte 0: varuint32 not in its shortest form"},
      {{"count", {{"v", "uint8"}}, "vector<uint8>"},
       R"({"v": 5})",
       "does not decode as vector<uint8>: byte 0: count 5 exceeds the 0 bytes left"},
      {{"unsorted", bytes(5), "map<uint8,uint8>"},
       R"({"p0": 2, "p1": 2, "p2": 0, "p3": 1, "p4": 0})",
       "does not decode as map<uint8,uint8>: byte 3: map keys out of ascending order"},
      {{"repeated", bytes(5), "map<uint8,uint8>"},
       R"({"p0": 2, "p1": 1, "p2": 0, "p3": 1, "p4": 0})",
       "does not decode as map<uint8,uint8>: byte 3: repeated map key"},
      {{"nothing", {{"v", "uint8"}}, "void"},
       R"({"v": 0})",
       "does not decode as void: output where none was expected"},
  };
  std::vector<ActionDecl> actions;
  for (const Case &c : cases)
    actions.push_back(c.action);
  std::string container = ctrx("results", contract(Reflect), abi(actions));
  for (const Case &c : cases) {
    SCOPED_TRACE(c.action.name);
    RunResult r = call(container, {c.action.name, c.json});
    EXPECT_EQ(r.status, 11);
    EXPECT_THAT(r.err, HasSubstr("\nctrrun: the result of " + c.action.name + " " + c.why));
    EXPECT_THAT(r.err, EndsWith(")\n"));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(storage("s.json"), "{}\n");
  }
}

} // namespace
} // namespace zotest
