//===- SupportTest.cpp - The tools' shared support library ----------------===//

#include "AtomicFile.h"
#include "Escape.h"
#include "Files.h"
#include "JsonText.h"
#include "Leb128.h"
#include "Process.h"

#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/Errc.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <sys/stat.h>

namespace {

using namespace zo;

struct LebCase {
  std::string Bytes;
  LebForm Form;
  LebError Error;
  uint32_t Value;
  size_t Left;
};

TEST(Leb128, ReadsBothFormsAndRefusesWhatNeither) {
  const auto Any = LebForm::AnyWithinFiveBytes, Shortest = LebForm::ShortestOnly;
  const LebCase Cases[] = {
      {std::string("\0", 1), Shortest, LebError::None, 0, 0},
      {"\x7f", Shortest, LebError::None, 127, 0},
      {"\x80\x01", Shortest, LebError::None, 128, 0},
      {"\xff\xff\xff\xff\x0f", Shortest, LebError::None, 0xffffffff, 0},
      {"\x05rest", Shortest, LebError::None, 5, 4},
      // Padded forms: a module may use them, the contract encoding may not.
      {std::string("\x80\0", 2), Any, LebError::None, 0, 0},
      {std::string("\x80\0", 2), Shortest, LebError::NotShortest, 0, 2},
      {std::string("\x81\x80\x80\x80\0", 5), Any, LebError::None, 1, 0},
      {std::string("\x81\x80\x80\x80\0", 5), Shortest, LebError::NotShortest, 0, 5},
      {"\xff\xff\xff\xff\x1f", Any, LebError::TooLarge, 0, 5},
      {"\x80\x80\x80\x80\x80\x01", Any, LebError::TooLarge, 0, 6},
      {"", Any, LebError::Truncated, 0, 0},
      {"\x80\x80", Any, LebError::Truncated, 0, 2},
  };
  for (const LebCase &C : Cases) {
    llvm::StringRef Bytes = C.Bytes;
    uint32_t Value = 0;
    SCOPED_TRACE(llvm::toHex(C.Bytes));
    EXPECT_EQ(readVaruint32(Bytes, Value, C.Form), C.Error) << describe(C.Error);
    if (C.Error == LebError::None) {
      EXPECT_EQ(Value, C.Value);
    }
    EXPECT_EQ(Bytes.size(), C.Left) << "an error leaves the bytes where the number began";
  }
}

TEST(Leb128, WritesTheShortestFormThatReadsBack) {
  for (uint32_t Value : {0u, 1u, 127u, 128u, 16383u, 16384u, 0x0fffffffu, 0xffffffffu}) {
    std::string Bytes;
    putVaruint32(Bytes, Value);
    llvm::StringRef Rest = Bytes;
    uint32_t Read;
    ASSERT_EQ(readVaruint32(Rest, Read, LebForm::ShortestOnly), LebError::None);
    EXPECT_EQ(Read, Value);
    EXPECT_TRUE(Rest.empty());
  }
}

TEST(Escape, NothingThatBreaksALine) {
  EXPECT_EQ(escaped("plain name"), "plain name");
  EXPECT_EQ(escaped("a\nb\rc\\d\x7f\x01"), "a\\x0ab\\x0dc\\x5cd\\x7f\\x01");
  EXPECT_EQ(escaped("caf\xc3\xa9"), "caf\xc3\xa9") << "UTF-8 stays readable";
}

std::set<std::string> entries(const std::filesystem::path &Dir) {
  std::set<std::string> Names;
  for (const auto &Entry : std::filesystem::directory_iterator(Dir))
    Names.insert(Entry.path().filename().string());
  return Names;
}

// The temporary file's name does not grow with the target's: a name of
// NAME_MAX bytes is written and replaced like any other.  Nothing but the
// target stays, whether the write succeeds or fails.
TEST(AtomicFile, AnyLegalNameAndNothingLeftBehind) {
  zotest::TempDir Dir("zo-support");
  const std::string Longest = std::string(NAME_MAX - 4, 'n') + ".out";
  const std::filesystem::path Target = Dir.path() / Longest;
  ASSERT_FALSE(bool(writeFileAtomically(Target.string(), "first")));
  EXPECT_EQ(zotest::readFile(Target), "first");
  chmod(Target.c_str(), 0640);
  ASSERT_FALSE(bool(writeFileAtomically(Target.string(), "second")));
  EXPECT_EQ(zotest::readFile(Target), "second");
  EXPECT_EQ(std::filesystem::status(Target).permissions(), std::filesystem::perms(0640));
  EXPECT_EQ(entries(Dir.path()), std::set<std::string>{Longest});

  // In the working directory too, under a name without a directory part.
  const std::filesystem::path Before = std::filesystem::current_path();
  std::filesystem::current_path(Dir.path());
  llvm::Error Here = writeFileAtomically(Longest, "third");
  std::filesystem::current_path(Before);
  ASSERT_FALSE(bool(Here));
  EXPECT_EQ(zotest::readFile(Target), "third");

  std::filesystem::create_directory(Dir.path() / "taken");
  const std::string TooLong = std::string(NAME_MAX + 1, 'n');
  for (const std::filesystem::path &Bad :
       {Dir.path() / "taken", Dir.path() / TooLong, Dir.path() / "none" / "x"}) {
    SCOPED_TRACE(Bad.string());
    EXPECT_TRUE(bool(writeFileAtomically(Bad.string(), "lost"))) << "written";
    EXPECT_EQ(entries(Dir.path()), (std::set<std::string>{Longest, "taken"}));
    EXPECT_TRUE(std::filesystem::is_empty(Dir.path() / "taken"));
  }
}

TEST(Files, RegularFilesOnlyAndInputWithinItsBound) {
  zotest::TempDir Dir("zo-support");
  std::filesystem::path File = Dir.path() / "file", Fifo = Dir.path() / "fifo";
  zotest::writeFile(File, "0123456789");
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0600), 0);

  auto Buffer = readRegularFile(File.string());
  ASSERT_TRUE(bool(Buffer));
  EXPECT_EQ((*Buffer)->getBuffer(), "0123456789");
  EXPECT_EQ(llvm::toString(readRegularFile(Dir.path().string()).takeError()), "Is a directory");
  EXPECT_EQ(llvm::toString(readRegularFile(Fifo.string()).takeError()), "not a regular file");
  EXPECT_EQ(llvm::errorToErrorCode(readRegularFile((Dir.path() / "none").string()).takeError()),
            std::errc::no_such_file_or_directory);

  auto Input = readBoundedFile(File.string(), 10);
  ASSERT_TRUE(bool(Input));
  EXPECT_EQ(*Input, "0123456789");
  EXPECT_EQ(llvm::errorToErrorCode(readBoundedFile(File.string(), 9).takeError()),
            llvm::errc::file_too_large);
  EXPECT_EQ(llvm::errorToErrorCode(readBoundedFile("/dev/zero", 1 << 16).takeError()),
            llvm::errc::file_too_large);
}

TEST(JsonText, DepthCountsBracketsOutsideStrings) {
  EXPECT_EQ(jsonDepth("{}", 10), 1u);
  EXPECT_EQ(jsonDepth(R"({"a": [[1], {"b": "[[[["}]})", 10), 3u);
  EXPECT_EQ(jsonDepth(R"("\"[")", 10), 0u);
  EXPECT_EQ(jsonDepth(std::string(1000, '['), 5), 6u) << "counting stops past the limit";
}

TEST(JsonText, RefusesWhatLlvmsParserLetsThrough) {
  const std::pair<const char *, const char *> Cases[] = {
      {R"({"a": 1, "a": 2})", "'a' appears twice in an object"},
      {"[01]", ""},
      {"[1.]", ""},
      {"[+1]", "Invalid number"},
      {"[.5]", "Invalid number"},
      {R"({"a": +1})", "Invalid number"},
      {R"(["\ud800"])", ""},
  };
  for (auto [Text, Message] : Cases) {
    SCOPED_TRACE(Text);
    // Each case is one that LLVM's parser lets through.
    llvm::Expected<llvm::json::Value> V = llvm::json::parse(Text);
    ASSERT_TRUE(bool(V)) << llvm::toString(V.takeError());
    llvm::Error E = checkJsonText(Text, *V);
    ASSERT_TRUE(bool(E));
    std::string Text2 = llvm::toString(std::move(E));
    if (*Message) {
      EXPECT_NE(Text2.find(Message), std::string::npos) << Text2;
    }
  }
  NumberTexts Numbers;
  llvm::json::Value V = *llvm::json::parse("[18446744073709551615, -1]");
  ASSERT_FALSE(bool(checkJsonText("[18446744073709551615, -1]", V, &Numbers)));
  EXPECT_EQ(Numbers.at(&(*V.getAsArray())[0]), "18446744073709551615");
}

} // namespace
