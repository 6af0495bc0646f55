//===- RejectTest.cpp - Containers and inputs ctrpack must refuse ---------===//

#include "CtrpackTest.h"

#include <gmock/gmock.h>

#include <functional>

using namespace ctrpacktest;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// The layout of the container the corruptions start from: code (zlib),
// interface and names, so three table entries.
constexpr size_t Count = 3;
constexpr size_t TableEnd = 16 + Count * 56;
constexpr size_t DataStart = TableEnd + 32;
constexpr size_t entry(size_t index) { return 16 + index * 56; }

uint64_t le(const std::string &b, size_t at, int width) {
  uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i)
    v = v << 8 | uint8_t(b[at + i]);
  return v;
}

void setLE(std::string &b, size_t at, int width, uint64_t v) {
  for (int i = 0; i < width; ++i, v >>= 8)
    b[at + i] = char(v & 0xff);
}

/// Makes the table digest match a changed header or table, so that the
/// checks behind it get to see the change.
void reseal(std::string &b) {
  size_t end = 16 + le(b, 12, 4) * 56;
  std::string hex = sha256Hex(b.substr(0, end));
  for (size_t i = 0; i < 32; ++i)
    b[end + i] = char(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
}

struct Corruption {
  const char *name;
  std::function<void(std::string &)> apply;
  bool resealed; // the table digest is made to match again
  const char *reason;
};

void PrintTo(const Corruption &c, std::ostream *os) { *os << c.name; }

class Corrupt : public ::testing::TestWithParam<Corruption> {};

TEST_P(Corrupt, EveryReaderRefusesWithTheReason) {
  const Corruption &c = GetParam();
  Workspace ws;
  ASSERT_EQ(ws.run({"-o", "OUT", "WASM", "ABI", "NAMES", "-compress"}).status, 0);
  std::string bytes = ws.bytes("OUT");
  ASSERT_EQ(le(bytes, entry(0) + 4, 4), 1u) << "the code is not compressed";
  c.apply(bytes);
  if (c.resealed)
    reseal(bytes);
  zotest::writeFile(ws["OUT"], bytes);
  fs::path dir = ws.path() / "extracted";

  for (const zotest::Args &args : {zotest::Args{"--verify", "OUT"}, zotest::Args{"--list", "OUT"},
                                   zotest::Args{"--extract", "OUT", dir.string()}}) {
    zotest::RunResult r = ws.run(args);
    SCOPED_TRACE(args[0]);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, StartsWith("ctrpack: " + ws["OUT"].string() + ": "));
    EXPECT_THAT(r.err, HasSubstr(c.reason));
  }
  EXPECT_FALSE(fs::exists(dir));
}

size_t codeStored(const std::string &b) { return le(b, entry(0) + 8, 8); }

INSTANTIATE_TEST_SUITE_P(
    Containers, Corrupt,
    ::testing::Values(
        Corruption{"Empty", [](std::string &b) { b.clear(); }, false,
                   "truncated header"},
        Corruption{"TruncatedHeader", [](std::string &b) { b.resize(10); }, false,
                   "truncated header"},
        Corruption{"TruncatedTable", [](std::string &b) { b.resize(entry(1) + 9); },
                   false, "truncated section table"},
        Corruption{"TruncatedDigest", [](std::string &b) { b.resize(TableEnd + 16); },
                   false, "truncated section table"},
        Corruption{"TruncatedCode", [](std::string &b) { b.resize(DataStart + 5); },
                   false, "code section: "},
        Corruption{"LastByteMissing", [](std::string &b) { b.pop_back(); }, false,
                   "names section: "},
        Corruption{"ByteAppended", [](std::string &b) { b += 'x'; }, false,
                   "1 unexpected bytes after the last section"},
        Corruption{"Magic", [](std::string &b) { b[0] ^= 0x20; }, false,
                   "bad magic"},
        Corruption{"Version", [](std::string &b) { b[4] = 2; }, false,
                   "unsupported format version 2"},
        Corruption{"UnknownFlag", [](std::string &b) { b[8] |= 0x40; }, false,
                   "unknown flags 0x40"},
        Corruption{"NativeImageAndJit", [](std::string &b) { b[8] |= 3; }, false,
                   "cannot be meant for the JIT"},
        Corruption{"JitFlagFlipped", [](std::string &b) { b[8] ^= 2; }, false,
                   "table digest mismatch"},
        Corruption{"SectionCount", [](std::string &b) { b[12] = 9; }, false,
                   "bad section count 9"},
        Corruption{"LengthFlipped", [](std::string &b) { b[entry(0) + 8] ^= 1; },
                   false, "table digest mismatch"},
        Corruption{"HashFlipped", [](std::string &b) { b[entry(2) + 30] ^= 1; },
                   false, "table digest mismatch"},
        Corruption{"DigestFlipped", [](std::string &b) { b[TableEnd + 3] ^= 1; },
                   false, "table digest mismatch"},
        Corruption{"InterfaceByteFlipped",
                   [](std::string &b) { b[DataStart + codeStored(b) + 2] ^= 1; },
                   false, "interface section: SHA-256 mismatch"},
        Corruption{"CompressedCodeFlipped",
                   [](std::string &b) { b[DataStart + codeStored(b) / 2] ^= 0x5a; },
                   false, "code section: "},
        // Behind an intact table digest.
        Corruption{"SectionPastTheEnd",
                   [](std::string &b) {
                     setLE(b, entry(2) + 8, 8, le(b, entry(2) + 8, 8) + 1000);
                     setLE(b, entry(2) + 16, 8, le(b, entry(2) + 16, 8) + 1000);
                   },
                   true, "run past the end of the container"},
        Corruption{"HugeLength",
                   [](std::string &b) {
                     setLE(b, entry(1) + 8, 8, ~uint64_t(0));
                     setLE(b, entry(1) + 16, 8, ~uint64_t(0));
                   },
                   true, "exceeds the limit"},
        Corruption{"StoredDiffersFromOriginal",
                   [](std::string &b) { b[entry(2) + 8] += 1; }, true,
                   "differs from its original length"},
        Corruption{"Duplicate", [](std::string &b) { b[entry(1)] = 1; }, true,
                   "duplicate code section"},
        Corruption{"OutOfOrder",
                   [](std::string &b) { b[entry(1)] = 3, b[entry(2)] = 2; }, true,
                   "interface section out of order"},
        Corruption{"MissingInterface",
                   [](std::string &b) { b[entry(1)] = 3, b[entry(2)] = 4; }, true,
                   "no interface section"},
        Corruption{"UnknownKind", [](std::string &b) { b[entry(2)] = 9; }, true,
                   "unknown kind 9"},
        Corruption{"UnknownEncoding", [](std::string &b) { b[entry(1) + 4] = 7; },
                   true, "unknown encoding 7"},
        Corruption{"NativeImageWithoutModule", [](std::string &b) { b[8] |= 1; },
                   true, "needs its module section"},
        Corruption{"CompressedWithoutFlag", [](std::string &b) { b[8] &= ~4; },
                   true, "compressed without the compressed flag"},
        // A zlib stream that inflates past what the table promised.
        Corruption{"ZlibBomb",
                   [](std::string &b) { setLE(b, entry(0) + 16, 8, codeStored(b) + 1); },
                   true, "code section: corrupt zlib data"},
        Corruption{"ZlibShortOfItsLength",
                   [](std::string &b) {
                     setLE(b, entry(0) + 16, 8, le(b, entry(0) + 16, 8) + 100);
                   },
                   true, "the table says"}),
    [](const ::testing::TestParamInfo<Corruption> &info) { return info.param.name; });

struct BadPack {
  const char *name;
  zotest::Args args;   // with the roles of Workspace
  const char *culprit; // the role named before the reason; none for usage
  const char *reason;
  std::function<void(Workspace &)> prepare = [](Workspace &) {};
};

void PrintTo(const BadPack &c, std::ostream *os) { *os << c.name; }

class BadInput : public ::testing::TestWithParam<BadPack> {};

TEST_P(BadInput, RefusedAndThePreviousContainerKept) {
  const BadPack &c = GetParam();
  Workspace ws;
  c.prepare(ws);
  zotest::writeFile(ws["OUT"], "the previous container");
  std::set<std::string> before = entries(ws.path());

  zotest::RunResult r = ws.run(c.args);

  EXPECT_EQ(r.status, 1);
  std::string prefix = "ctrpack: ";
  if (*c.culprit)
    prefix += ws[c.culprit].string() + ": ";
  EXPECT_THAT(r.err, StartsWith(prefix));
  EXPECT_THAT(r.err, HasSubstr(c.reason));
  EXPECT_EQ(ws.bytes("OUT"), "the previous container");
  EXPECT_EQ(entries(ws.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Packing, BadInput,
    ::testing::Values(
        BadPack{
            "MissingCode", {"-o", "OUT", "MISSING", "ABI"}, "MISSING", "No such file or directory"},
        BadPack{"MissingInterface",
                {"-o", "OUT", "WASM", "MISSING"},
                "MISSING",
                "No such file or directory"},
        // Only a names file that is not there at all is taken as no names.
        BadPack{"DirectoryAsNames",
                {"-o", "OUT", "WASM", "ABI", "NAMES", "-compress"},
                "NAMES",
                "Is a directory",
                [](Workspace &ws) {
                  fs::remove(ws["NAMES"]);
                  fs::create_directory(ws["NAMES"]);
                }},
        BadPack{"MissingModule",
                {"-o", "OUT", "AOT", "ABI", "MISSING", "-aot"},
                "MISSING",
                "No such file or directory"},
        BadPack{"DirectoryAsInterface",
                {"-o", "OUT", "WASM", "ABI"},
                "ABI",
                "Is a directory",
                [](Workspace &ws) {
                  fs::remove(ws["ABI"]);
                  fs::create_directory(ws["ABI"]);
                }},
        BadPack{"InterfaceNotJson",
                {"-o", "OUT", "WASM", "ABI"},
                "ABI",
                "the interface description is not JSON",
                [](Workspace &ws) { zotest::writeFile(ws["ABI"], "{\"actions\": ["); }},
        BadPack{"InterfaceNestedTooDeep",
                {"-o", "OUT", "WASM", "ABI"},
                "ABI",
                "nests deeper than",
                [](Workspace &ws) {
                  zotest::writeFile(ws["ABI"], repeat("[", 100000) + repeat("]", 100000));
                }},
        BadPack{"CodeNotWasm",
                {"-o", "OUT", "ABI", "ABI"},
                "ABI",
                "the code is not a WebAssembly module"},
        BadPack{"WasmAsNativeImage",
                {"-o", "OUT", "WASM", "ABI", "WASM", "-aot"},
                "WASM",
                "the code is not a native image"},
        BadPack{"ModuleNotWasm",
                {"-o", "OUT", "AOT", "ABI", "AOT", "-aot"},
                "AOT",
                "the module is not a WebAssembly module"},
        BadPack{"NativeImageForTheJit",
                {"-o", "OUT", "AOT", "ABI", "WASM", "-aot", "-jit"},
                "",
                "-aot and -jit exclude each other"},
        BadPack{"TooFewInputs", {"-o", "OUT", "WASM"}, "", "expected CODE ABI [NAMES]"},
        BadPack{"TooManyInputs",
                {"-o", "OUT", "WASM", "ABI", "NAMES", "WASM"},
                "",
                "expected CODE ABI [NAMES]"},
        BadPack{"NativeImageWithoutModule",
                {"-o", "OUT", "AOT", "ABI", "-aot"},
                "",
                "expected CODE ABI [NAMES] MODULE with -aot"},
        BadPack{"NothingToDo", {"WASM", "ABI"}, "", "nothing to do"},
        BadPack{"PackingFlagWhileListing",
                {"--list", "OUT", "-compress"},
                "",
                "only apply when packing"},
        BadPack{"OutputDirectoryMissing",
                {"-o", "NODIR", "WASM", "ABI"},
                "NODIR",
                "cannot create a temporary file beside it"}),
    [](const ::testing::TestParamInfo<BadPack> &info) { return info.param.name; });

TEST(Extract, NeverOverwritesAndWritesNothingThen) {
  Workspace ws;
  ASSERT_EQ(ws.run({"-o", "OUT", "WASM", "ABI", "NAMES"}).status, 0);
  fs::path dir = ws.path() / "out";
  fs::create_directory(dir);
  zotest::writeFile(dir / "names.txt", "mine");

  zotest::RunResult r = ws.run({"--extract", "OUT", dir.string()});

  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ctrpack: " + (dir / "names.txt").string() +
                       ": already exists; ctrpack --extract does not overwrite "
                       "files\n");
  EXPECT_EQ(entries(dir), std::set<std::string>{"names.txt"});
  EXPECT_EQ(zotest::readFile(dir / "names.txt"), "mine");
}

} // namespace
