//===- PackTest.cpp - Containers ctrpack writes, lists and extracts -------===//

#include "CtrpackTest.h"

#include <gmock/gmock.h>

#include <random>

using namespace ctrpacktest;

namespace {

struct ExpectedSection {
  std::string kind;
  std::string role;      // the input it must hold
  std::string extracted; // its file name after --extract
};

struct PackCase {
  const char *name;
  zotest::Args args; // as zo++ orders them
  std::string flags;
  std::vector<ExpectedSection> sections;
};

void PrintTo(const PackCase &c, std::ostream *os) { *os << c.name; }

const ExpectedSection WasmCode{"code", "WASM", "code.wasm"};
const ExpectedSection AotCode{"code", "AOT", "code.aot"};
const ExpectedSection Interface{"interface", "ABI", "interface.abi"};
const ExpectedSection Names{"names", "NAMES", "names.txt"};
const ExpectedSection Module{"module", "WASM", "module.wasm"};

class RoundTrip : public ::testing::TestWithParam<PackCase> {};

TEST_P(RoundTrip, ListAndExtractGiveBackTheInputs) {
  const PackCase &c = GetParam();
  Workspace ws;
  std::set<std::string> before = entries(ws.path());

  zotest::RunResult packed = ws.run(c.args);
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_EQ(packed.err, "");
  // The container appears, and nothing else does.
  before.insert("token.ctrx");
  EXPECT_EQ(entries(ws.path()), before);

  zotest::RunResult verified = ws.run({"--verify", "OUT"});
  EXPECT_EQ(verified.status, 0) << verified.err;
  EXPECT_EQ(verified.out + verified.err, "");

  zotest::RunResult listed = ws.run({"--list", "OUT"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  std::string flags;
  std::vector<Listed> sections = parseList(listed.out, flags);
  EXPECT_EQ(flags, "flags: " + c.flags);
  bool compressed = c.flags.find("compressed") != std::string::npos;
  ASSERT_EQ(sections.size(), c.sections.size()) << listed.out;
  for (size_t i = 0; i < sections.size(); ++i) {
    const ExpectedSection &want = c.sections[i];
    const Listed &got = sections[i];
    std::string input = ws.bytes(want.role);
    SCOPED_TRACE(want.kind);
    EXPECT_EQ(got.kind, want.kind);
    EXPECT_EQ(got.original, input.size());
    EXPECT_EQ(got.sha256, sha256Hex(input));
    // Every code input here compresses well; nothing else is compressed.
    bool zlib = compressed && (want.kind == "code" || want.kind == "module");
    EXPECT_EQ(got.encoding, zlib ? "zlib" : "stored");
    if (zlib)
      EXPECT_LT(got.stored, got.original);
    else
      EXPECT_EQ(got.stored, got.original);
  }

  fs::path out = ws.path() / "extracted" / "here";
  zotest::RunResult extracted = ws.run({"--extract", "OUT", out.string()});
  ASSERT_EQ(extracted.status, 0) << extracted.err;
  std::set<std::string> expectedFiles;
  for (const ExpectedSection &want : c.sections) {
    expectedFiles.insert(want.extracted);
    EXPECT_EQ(zotest::readFile(out / want.extracted), ws.bytes(want.role)) << want.extracted;
  }
  EXPECT_EQ(entries(out), expectedFiles);
}

INSTANTIATE_TEST_SUITE_P(
    ZoxxOrders, RoundTrip,
    ::testing::Values(
        PackCase{"Plain", {"-o", "OUT", "WASM", "ABI"}, "none", {WasmCode, Interface}},
        PackCase{
            "Names", {"-o", "OUT", "WASM", "ABI", "NAMES"}, "none", {WasmCode, Interface, Names}},
        PackCase{"Compressed",
                 {"-o", "OUT", "WASM", "ABI", "NAMES", "-compress"},
                 "compressed",
                 {WasmCode, Interface, Names}},
        PackCase{"NativeImage",
                 {"-o", "OUT", "AOT", "ABI", "WASM", "-aot"},
                 "native-image",
                 {AotCode, Interface, Module}},
        PackCase{"NativeImageCompressedWithNames",
                 {"-o", "OUT", "AOT", "ABI", "NAMES", "-compress", "WASM", "-aot"},
                 "native-image compressed",
                 {AotCode, Interface, Names, Module}},
        PackCase{"Jit", {"-o", "OUT", "WASM", "ABI", "-jit"}, "jit", {WasmCode, Interface}},
        PackCase{"JitCompressedWithNames",
                 {"-o", "OUT", "WASM", "ABI", "NAMES", "-compress", "-jit"},
                 "jit compressed",
                 {WasmCode, Interface, Names}},
        PackCase{"OptionsFirst",
                 {"-jit", "-compress", "-o", "OUT", "WASM", "ABI", "NAMES"},
                 "jit compressed",
                 {WasmCode, Interface, Names}}),
    [](const ::testing::TestParamInfo<PackCase> &info) { return info.param.name; });

TEST(Determinism, SameInputsGiveTheSameBytesWhereverTheyLie) {
  Workspace first, second;
  zotest::Args args = {"-o", "OUT", "AOT", "ABI", "NAMES", "-compress", "WASM", "-aot"};
  ASSERT_EQ(first.run(args).status, 0);
  std::string once = first.bytes("OUT");
  ASSERT_EQ(first.run(args).status, 0);
  ASSERT_EQ(second.run(args).status, 0);
  EXPECT_EQ(first.bytes("OUT"), once);
  EXPECT_EQ(second.bytes("OUT"), once);
}

// zo++ names the list whenever -dump-names is given, also when the dump
// failed and wrote none: a missing list packs as no names, with a warning.
TEST(MissingNames, PackedAsNoNamesWithAWarning) {
  struct Case {
    zotest::Args args;
    std::string flags;
    std::vector<std::string> kinds;
  } cases[] = {
      {{"-o", "OUT", "WASM", "ABI", "MISSING"}, "none", {"code", "interface"}},
      {{"-o", "OUT", "WASM", "ABI", "MISSING", "-compress", "-jit"},
       "jit compressed",
       {"code", "interface"}},
      {{"-o", "OUT", "AOT", "ABI", "MISSING", "-compress", "WASM", "-aot"},
       "native-image compressed",
       {"code", "interface", "module"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Workspace ws;
    zotest::writeFile(ws["OUT"], "the previous container");

    zotest::RunResult packed = ws.run(c.args);
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_EQ(packed.err, "ctrpack: warning: " + ws["MISSING"].string() +
                              ": No such file or directory; packing no names\n");
    EXPECT_EQ(packed.out, "");
    EXPECT_FALSE(fs::exists(ws["MISSING"]));

    zotest::RunResult listed = ws.run({"--list", "OUT"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    std::string flags;
    std::vector<std::string> kinds;
    for (const Listed &section : parseList(listed.out, flags))
      kinds.push_back(section.kind);
    EXPECT_EQ(flags, "flags: " + c.flags);
    EXPECT_EQ(kinds, c.kinds);
  }
}

TEST(Compression, KeptOnlyWhereItMakesASectionSmaller) {
  Workspace ws;
  std::mt19937 random(7);
  std::string noise("\0asm\1\0\0\0", 8);
  for (int i = 0; i < 4096; ++i)
    noise += char(random());
  zotest::writeFile(ws["WASM"], noise);

  ASSERT_EQ(ws.run({"-o", "OUT", "WASM", "ABI", "-compress"}).status, 0);
  zotest::RunResult listed = ws.run({"--list", "OUT"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  std::string flags;
  std::vector<Listed> sections = parseList(listed.out, flags);
  EXPECT_EQ(flags, "flags: compressed");
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0].encoding, "stored");
  EXPECT_EQ(sections[0].stored, noise.size());
}

TEST(Replace, AnExistingContainerIsReplacedWhole) {
  Workspace ws;
  zotest::writeFile(ws["OUT"], repeat("an older, longer container ", 1000));
  ASSERT_EQ(ws.run({"-o", "OUT", "WASM", "ABI"}).status, 0);
  EXPECT_EQ(ws.run({"--verify", "OUT"}).status, 0);
}

TEST(Replace, ThroughALinkKeepingTheMode) {
  Workspace ws;
  fs::create_directory(ws.path() / "real");
  fs::path real = ws.path() / "real" / "token.ctrx";
  zotest::writeFile(real, "an older container");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  fs::create_symlink("real/token.ctrx", ws["OUT"]);

  ASSERT_EQ(ws.run({"-o", "OUT", "WASM", "ABI"}).status, 0);
  EXPECT_TRUE(fs::is_symlink(ws["OUT"]));
  EXPECT_EQ(ctrpack({"--verify", real.string()}, ws.path()).status, 0);
  EXPECT_EQ(fs::status(real).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  EXPECT_EQ(entries(ws.path() / "real"), std::set<std::string>{"token.ctrx"});
}

TEST(List, AFailedWriteToStandardOutputIsReported) {
  Workspace ws;
  ASSERT_EQ(ws.run({"-o", "OUT", "WASM", "ABI"}).status, 0);
  zotest::RunResult r = zotest::runProcess(
      "/bin/sh", {"-c", "exec \"$0\" --list token.ctrx >/dev/full", CTRPACK_PATH}, ws.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ctrpack: standard output: No space left on device\n");
}

} // namespace
