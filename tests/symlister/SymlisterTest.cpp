//===- SymlisterTest.cpp - Function lists of real and odd modules ---------===//

#include "Process.h"
#include "WasmBytes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

using namespace zotest::wasm;

/// An import whose field has a tab, re-exported; a function exported under
/// a name with a blank, named in the name section with a newline and a
/// backslash; the import has no entry there.
std::string oddNames() {
  std::string type = leb(1) + "\x60" + leb(0) + leb(0);
  std::string import = leb(1) + str("env") + str("f\tx") + '\0' + leb(0);
  std::string func = leb(1) + leb(0);
  std::string exports = leb(2) + str("ex port") + '\0' + leb(1) + str("again") + '\0' + leb(0);
  std::string code = leb(1) + leb(2) + leb(0) + "\x0b";
  std::string functionNames = leb(1) + leb(1) + str("odd\nname\\");
  std::string names = str("name") + '\1' + str(functionNames);
  return Header + section(1, type) + section(2, import) + section(3, func) + section(7, exports) +
         section(10, code) + section(0, names);
}

/// Two functions, neither imported nor exported, with \p functionNames as
/// the function names subsection of the name section.
std::string twoFunctions(const std::string &functionNames) {
  std::string type = leb(1) + "\x60" + leb(0) + leb(0);
  std::string func = leb(2) + leb(0) + leb(0);
  std::string body = leb(2) + leb(0) + "\x0b";
  std::string code = leb(2) + body + body;
  std::string names = str("name") + '\1' + str(functionNames);
  return Header + section(1, type) + section(3, func) + section(10, code) + section(0, names);
}

auto made(std::string bytes) {
  return [bytes](const fs::path &to) { zotest::writeFile(to, bytes); };
}

struct Listing {
  const char *name;
  std::function<void(const fs::path &)> make; // writes the module
  const char *expected;
};

void PrintTo(const Listing &l, std::ostream *os) { *os << l.name; }

auto fixture(const char *name) {
  return [name](const fs::path &to) { fs::copy_file(fs::path(SYMLISTER_FIXTURES) / name, to); };
}

class Lists : public ::testing::TestWithParam<Listing> {};

TEST_P(Lists, EveryFunctionInIndexOrder) {
  zotest::TempDir dir("symlister-test");
  fs::path module = dir.path() / "m %d.wasm";
  GetParam().make(module);

  zotest::RunResult r =
      zotest::runProcess(SYMLISTER_PATH, {module.string(), "-o", "m.names"}, dir.path());

  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(zotest::readFile(dir.path() / "m.names"), GetParam().expected);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

  // Without -o the same list goes to standard output.
  r = zotest::runProcess(SYMLISTER_PATH, {module.string()}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Modules, Lists,
    ::testing::Values(
        Listing{"NameSection", fixture("named.wasm"),
                "0 read_action import\n"
                "1 send_inline import\n"
                "2 entry_point export\n"
                "3 apply export\n"
                "4 helper\n"},
        Listing{"Stripped", fixture("stripped.wasm"),
                "0 env.read_action import\n"
                "1 host.send import\n"
                "2 run export\n"
                "3 apply export\n"
                "4 func[4]\n"},
        Listing{"OddNames", [](const fs::path &to) { zotest::writeFile(to, oddNames()); },
                "0 env.f\\09x import export\n"
                "1 odd\\0aname\\5c export\n"},
        // Names are listed as the section has them, even when equal.
        Listing{"EqualNames",
                made(twoFunctions(leb(2) + leb(0) + str("same") + leb(1) + str("same"))),
                "0 same\n"
                "1 same\n"},
        // A malformed name section counts as none: the code is still valid.
        Listing{"NameOfAMissingFunction",
                made(twoFunctions(leb(2) + leb(0) + str("first") + leb(5) + str("far"))),
                "0 func[0]\n"
                "1 func[1]\n"},
        Listing{"FewerNamesThanCounted", made(twoFunctions(leb(2) + leb(0) + str("first"))),
                "0 func[0]\n"
                "1 func[1]\n"},
        Listing{"NameIndexOutOfRange",
                [](const fs::path &to) {
                  std::string m = oddNames();
                  m[m.size() - 12] = 0x7f; // the index of the only name
                  zotest::writeFile(to, m);
                },
                "0 env.f\\09x import export\n"
                "1 ex\\20port export\n"},
        Listing{"NoFunctions", [](const fs::path &to) { zotest::writeFile(to, Header); }, ""},
        // Blocks nest up to the limit, 10000 levels.
        Listing{"NestedAtTheLimit", made(applyModule(nested(OpenLoop, 10000))),
                "0 apply export\n"}),
    [](const ::testing::TestParamInfo<Listing> &info) { return info.param.name; });

struct BadModule {
  const char *name;
  std::function<void(const fs::path &)> make; // nothing: the file is missing
  const char *reason;
};

void PrintTo(const BadModule &m, std::ostream *os) { *os << m.name; }

class Rejects : public ::testing::TestWithParam<BadModule> {};

TEST_P(Rejects, NamesTheFileAndKeepsTheOldList) {
  zotest::TempDir dir("symlister-test");
  fs::path module = dir.path() / "m.wasm";
  GetParam().make(module);
  zotest::writeFile(dir.path() / "m.names", "the old list\n");
  std::set<fs::path> before(fs::directory_iterator(dir.path()), fs::directory_iterator());

  zotest::RunResult r =
      zotest::runProcess(SYMLISTER_PATH, {module.string(), "-o", "m.names"}, dir.path());

  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, StartsWith("symlister: " + module.string() + ": "));
  EXPECT_THAT(r.err, HasSubstr(GetParam().reason));
  EXPECT_EQ(zotest::readFile(dir.path() / "m.names"), "the old list\n");
  EXPECT_EQ(std::set<fs::path>(fs::directory_iterator(dir.path()), fs::directory_iterator()),
            before);
}

INSTANTIATE_TEST_SUITE_P(
    Modules, Rejects,
    ::testing::Values(
        BadModule{"Missing", [](const fs::path &) {}, "No such file or directory"},
        BadModule{"Directory", [](const fs::path &p) { fs::create_directory(p); },
                  "Is a directory"},
        BadModule{"Empty", [](const fs::path &p) { zotest::writeFile(p, ""); },
                  "not a valid WebAssembly module"},
        BadModule{"Text", [](const fs::path &p) { zotest::writeFile(p, "(module (func))\n"); },
                  "not a valid WebAssembly module"},
        BadModule{"Truncated",
                  [](const fs::path &p) { zotest::writeFile(p, oddNames().substr(0, 30)); },
                  "not a valid WebAssembly module"},
        BadModule{"NestedPastTheLimit", made(applyModule(nested(OpenIf, 10001))),
                  "function 0: blocks nest deeper than the limit of 10000 levels"},
        BadModule{"NestedFarPastTheLimit", made(applyModule(nested(OpenBlock, 300000))),
                  "function 0: blocks nest deeper than the limit of 10000 levels"}),
    [](const ::testing::TestParamInfo<BadModule> &info) { return info.param.name; });

TEST(Output, ThroughALinkKeepingTheMode) {
  zotest::TempDir dir("symlister-test");
  zotest::writeFile(dir.path() / "m.wasm", oddNames());
  fs::create_directory(dir.path() / "lists");
  fs::path real = dir.path() / "lists" / "m.names";
  zotest::writeFile(real, "the old list\n");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("lists/m.names", dir.path() / "m.names");

  zotest::RunResult r = zotest::runProcess(SYMLISTER_PATH, {"m.wasm", "-o", "m.names"}, dir.path());

  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir.path() / "m.names"));
  EXPECT_EQ(zotest::readFile(real), "0 env.f\\09x import export\n"
                                    "1 odd\\0aname\\5c export\n");
  EXPECT_EQ(fs::status(real).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "lists"), fs::directory_iterator()),
            1);
}

TEST(Output, AFailedWriteToStandardOutputIsReported) {
  zotest::TempDir dir("symlister-test");
  zotest::writeFile(dir.path() / "m.wasm", oddNames());

  zotest::RunResult r = zotest::runProcess(
      "/bin/sh", {"-c", "exec \"$0\" m.wasm >/dev/full", SYMLISTER_PATH}, dir.path());

  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "symlister: standard output: No space left on device\n");
}

} // namespace
