//===- RejectTest.cpp - Modules and paths binpolish must leave alone ------===//

#include "BinpolishTest.h"

#include "WasmBytes.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <functional>
#include <unistd.h>

using namespace binpolishtest;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

using namespace zotest::wasm;

/// A module with one function of type [] -> [] (or -> [i32]) and \p body.
std::string oneFunction(const std::string &body, bool returnsI32 = false) {
  std::string type =
      returnsI32 ? std::string("\x01\x60\x00\x01\x7f", 5) : std::string("\x01\x60\x00\x00", 4);
  std::string code = leb(1) + leb(body.size() + 1) + '\0' + body;
  return Header + section(1, type) + section(3, std::string("\x01\x00", 2)) + section(10, code);
}

std::string repeat(const std::string &piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i)
    out += piece;
  return out;
}

struct BadModule {
  const char *name;
  std::function<std::string()> bytes;
};

void PrintTo(const BadModule &m, std::ostream *os) { *os << m.name; }

class Corrupt : public ::testing::TestWithParam<BadModule> {};

TEST_P(Corrupt, RejectedWithTheFileNamedAndLeftAlone) {
  zotest::TempDir dir("binpolish-test");
  fs::path module = dir.path() / "contract.wasm";
  std::string bytes = GetParam().bytes();
  zotest::writeFile(module, bytes);

  zotest::RunResult r = polish(module);

  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_THAT(r.err, StartsWith(messagePrefix(module)));
  EXPECT_EQ(zotest::readFile(module), bytes);
  EXPECT_EQ(entries(dir.path()), std::set<std::string>{"contract.wasm"});
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Corrupt,
    ::testing::Values(
        BadModule{"Empty", [] { return std::string(); }},
        BadModule{"Garbage",
                  [] {
                    return std::string("\x7f"
                                       "ELF\x02\x01\x01\0garbage",
                                       16);
                  }},
        BadModule{"TextFile", [] { return std::string("(module (func (export \"apply\")))\n"); }},
        BadModule{"Truncated",
                  [] {
                    std::string m = zotest::readFile(fixture("contract.wasm"));
                    return m.substr(0, m.size() / 2);
                  }},
        BadModule{"WrongVersion", [] { return std::string("\0asm\2\0\0\0", 8); }},
        BadModule{"SectionPastTheEnd",
                  [] { return Header + section(1, "\x01\x60") + "\x0a\x7f\x01"; }},
        BadModule{"UnknownSection", [] { return Header + section(0x20, "\x00"); }},
        BadModule{"BodyOfTheWrongType", [] { return oneFunction("\x0b", /*returnsI32=*/true); }},
        BadModule{"UnsupportedFeature", // an exception-handling 'try'
                  [] { return oneFunction(std::string("\x06\x40\x0b\x0b", 4)); }}),
    [](const ::testing::TestParamInfo<BadModule> &info) { return std::string(info.param.name); });

// Valid, but nested deeper than binaryen's stack holds: binpolish may
// polish it or refuse it, but never dies with it nor damages the file.
TEST(Hostile, DeeplyNestedCodeNeverTakesTheFileDown) {
  zotest::TempDir dir("binpolish-test");
  fs::path module = dir.path() / "contract.wasm";
  const size_t depth = 200000;
  std::string bytes =
      oneFunction(repeat(std::string("\x41\x01\x04\x40", 4), depth) + repeat("\x0b", depth + 1));
  zotest::writeFile(module, bytes);

  zotest::RunResult r = polish(module);

  ASSERT_NE(r.status, -1) << "binpolish died: " << r.err;
  if (r.status == 0) {
    wabtTool(BINPOLISH_WASM_VALIDATE, {module.string()});
  } else {
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr(messagePrefix(module)));
    EXPECT_EQ(zotest::readFile(module), bytes);
  }
  EXPECT_EQ(entries(dir.path()), std::set<std::string>{"contract.wasm"});
}

// Blocks nest at most 10000 levels deep: at the limit a module is polished,
// and past it refused with the function and the limit named, and left as
// it was, however deep it goes.
TEST(Hostile, NestingPastTheLimitIsRefused) {
  const std::string limit = "function 0: blocks nest deeper than the limit of 10000 levels";
  struct Case {
    const char *kind;
    const std::string &open;
  } kinds[] = {{"block", OpenBlock}, {"loop", OpenLoop}, {"if", OpenIf}};
  for (const Case &c : kinds) {
    for (size_t depth : {10000, 10001, 300000}) {
      SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(depth));
      zotest::TempDir dir("binpolish-test");
      fs::path module = dir.path() / "contract.wasm";
      std::string bytes = applyModule(nested(c.open, depth));
      zotest::writeFile(module, bytes);

      zotest::RunResult r = polish(module);

      if (depth == 10000) {
        EXPECT_EQ(r.status, 0) << r.err;
        wabtTool(BINPOLISH_WASM_VALIDATE, {module.string()});
      } else {
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_THAT(r.err, StartsWith(messagePrefix(module) + limit));
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(zotest::readFile(module), bytes);
      }
      EXPECT_EQ(entries(dir.path()), std::set<std::string>{"contract.wasm"});
    }
  }
}

struct BadPath {
  const char *name;
  std::function<fs::path(const fs::path &dir)> make;
};

void PrintTo(const BadPath &p, std::ostream *os) { *os << p.name; }

class Paths : public ::testing::TestWithParam<BadPath> {};

TEST_P(Paths, RejectedWithThePathNamed) {
  zotest::TempDir dir("binpolish-test");
  fs::path path = GetParam().make(dir.path());
  std::set<std::string> before = entries(dir.path());

  zotest::RunResult r = polish(path);

  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_THAT(r.err, StartsWith(messagePrefix(path)));
  EXPECT_EQ(entries(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Paths,
    ::testing::Values(BadPath{"Missing", [](const fs::path &dir) { return dir / "none.wasm"; }},
                      BadPath{"Directory",
                              [](const fs::path &dir) {
                                fs::create_directory(dir / "sub.wasm");
                                return dir / "sub.wasm";
                              }},
                      BadPath{"Fifo",
                              [](const fs::path &dir) {
                                EXPECT_EQ(::mkfifo((dir / "pipe.wasm").c_str(), 0644), 0);
                                return dir / "pipe.wasm";
                              }}),
    [](const ::testing::TestParamInfo<BadPath> &info) { return std::string(info.param.name); });

// Permissions only hold for other users than root: as root, binpolish runs
// as nobody through setpriv.
struct Restriction {
  const char *name;
  fs::perms directory, module;
  const char *reason;
};

void PrintTo(const Restriction &r, std::ostream *os) { *os << r.name; }

class Unprivileged : public ::testing::TestWithParam<Restriction> {
protected:
  static zotest::RunResult runRestricted(const std::string &arg, const fs::path &cwd) {
    if (::geteuid() != 0)
      return zotest::runProcess(BINPOLISH_PATH, {arg}, cwd);
    return zotest::runProcess(
        BINPOLISH_SETPRIV,
        {"--reuid=65534", "--regid=65534", "--clear-groups", BINPOLISH_PATH, arg}, cwd);
  }
};

TEST_P(Unprivileged, RejectedWithTheFileNamedAndLeftAlone) {
  zotest::TempDir dir("binpolish-test");
  fs::path module = dir.path() / "contract.wasm";
  fs::copy_file(fixture("contract.wasm"), module);
  fs::permissions(dir.path(), fs::perms(0755));
  if (::geteuid() == 0) {
    if (std::string(BINPOLISH_SETPRIV).empty())
      GTEST_SKIP() << "running as root without setpriv";
    if (runRestricted("--help", dir.path()).status != 0)
      GTEST_SKIP() << "nobody cannot run binpolish from this build";
  }
  std::string bytes = zotest::readFile(module);
  fs::permissions(module, GetParam().module);
  fs::permissions(dir.path(), GetParam().directory);

  zotest::RunResult r = runRestricted(module.string(), dir.path());
  fs::permissions(dir.path(), fs::perms(0755));

  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_THAT(r.err, StartsWith(messagePrefix(module)));
  EXPECT_THAT(r.err, HasSubstr(GetParam().reason));
  EXPECT_EQ(zotest::readFile(module), bytes);
  EXPECT_EQ(fs::status(module).permissions(), GetParam().module);
  EXPECT_EQ(entries(dir.path()), std::set<std::string>{"contract.wasm"});
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Unprivileged,
    ::testing::Values(Restriction{"ReadOnlyDirectory", fs::perms(0555), fs::perms(0644),
                                  "cannot create a temporary file"},
                      Restriction{"UnreadableModule", fs::perms(0755), fs::perms(0),
                                  "Permission denied"}),
    [](const ::testing::TestParamInfo<Restriction> &info) { return std::string(info.param.name); });

} // namespace
