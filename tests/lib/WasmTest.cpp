//===- WasmTest.cpp - Sections and reading of modules ---------------------===//

#include "Module.h"
#include "Sections.h"
#include "WasmBytes.h"

#include <gtest/gtest.h>

namespace {

using namespace zotest::wasm;
using namespace zo::wasm;

const std::string TypeSection = section(1, leb(1) + "\x60" + leb(0) + leb(0));

TEST(Sections, WalksFramesAndNamesCustomSections) {
  std::string Module = Header + section(0, str("name") + "payload") + TypeSection +
                       section(0, str("producers") + "p") + section(0, leb(9) + "x");
  auto Sections = readSections(Module);
  ASSERT_TRUE(bool(Sections)) << llvm::toString(Sections.takeError());
  ASSERT_EQ(Sections->size(), 4u);
  EXPECT_EQ((*Sections)[0].Name, "name");
  EXPECT_EQ((*Sections)[0].Contents, "payload");
  EXPECT_EQ((*Sections)[1].Id, 1);
  EXPECT_EQ((*Sections)[1].Bytes, TypeSection);
  EXPECT_EQ((*Sections)[3].Name, "") << "a name that does not read leaves the section nameless";
  EXPECT_EQ(findCustomSection(*Sections, "producers"), llvm::Optional<llvm::StringRef>("p"));
  EXPECT_FALSE(findCustomSection(*Sections, "missing"));
}

TEST(Sections, RefusesFramesThatLeaveTheModule) {
  for (const std::string &Module :
       {std::string("\0asm", 4), Header + std::string("\x01\x05\x00", 3),
        Header + "\x01\x80\x80\x80\x80\x10", Header + std::string(1, '\0')}) {
    auto Sections = readSections(Module);
    EXPECT_FALSE(bool(Sections));
    llvm::consumeError(Sections.takeError());
  }
}

TEST(Sections, StrippingKeepsEveryOtherSectionByteForByte) {
  std::string Module =
      Header + section(0, str("name") + "n") + TypeSection + section(0, str("x") + "y");
  auto Stripped = stripCustomSections(llvm::arrayRefFromStringRef(Module));
  ASSERT_TRUE(bool(Stripped));
  EXPECT_EQ(std::string(Stripped->begin(), Stripped->end()), Header + TypeSection);
}

TEST(Sections, NamedCustomSectionsAreFoundAndRemovedAlone) {
  const std::string First = section(0, str("corvane.interface") + "one"),
                    Second = section(0, str("corvane.interface") + "two"),
                    Names = section(0, str("name") + "n");
  std::string Module = Header + First + TypeSection + Names + Second;
  auto Sections = readSections(Module);
  ASSERT_TRUE(bool(Sections));
  EXPECT_EQ(customSections(*Sections, "corvane.interface"),
            (std::vector<llvm::StringRef>{"one", "two"}));
  EXPECT_TRUE(customSections(*Sections, "missing").empty());

  auto Without = withoutCustomSections(Module, "corvane.interface");
  ASSERT_TRUE(bool(Without));
  EXPECT_EQ(*Without, Header + TypeSection + Names);
  EXPECT_EQ(*withoutCustomSections(Header, "name"), Header);

  auto Broken = withoutCustomSections(Header + "\x01\x05", "name");
  EXPECT_EQ(llvm::toString(Broken.takeError()), "malformed section at offset 8");
}

TEST(Module, ReadsWithWabtAndReportsTheFirstErrorWithItsOffset) {
  wabt::Features Features;
  std::string Good = Header + TypeSection;
  auto Read = readModule("m.wasm", llvm::arrayRefFromStringRef(Good), Features, Check::Validate);
  ASSERT_TRUE(bool(Read)) << llvm::toString(Read.takeError());
  EXPECT_EQ((*Read)->types.size(), 1u);

  std::string Bad = Header + section(1, leb(1) + "\x61");
  auto Refused = readModule("m.wasm", llvm::arrayRefFromStringRef(Bad), Features, Check::Structure);
  ASSERT_FALSE(bool(Refused));
  llvm::handleAllErrors(Refused.takeError(), [](const ModuleError &E) {
    EXPECT_FALSE(E.text().empty());
    EXPECT_GT(E.offset(), 8u);
  });
}

std::string repeat(const std::string &Piece, size_t Times) {
  std::string Out;
  for (size_t I = 0; I < Times; ++I)
    Out += Piece;
  return Out;
}

// The depth counts what is open at once in one function: ends, elses and
// try's delegate close; blocks one after the other never add up.
TEST(Module, BlocksNestAtMostTheLimit) {
  wabt::Features All;
  All.EnableAll();
  const std::string Try("\x06\x40", 2);
  struct Case {
    const char *What;
    std::string Body;
    bool Refused;
  } Cases[] = {
      {"blocks at the limit", nested(OpenBlock, MaxBlockDepth), false},
      {"loops past it", nested(OpenLoop, MaxBlockDepth + 1), true},
      {"ifs past it", nested(OpenIf, MaxBlockDepth + 1), true},
      {"trys past it", nested(Try, MaxBlockDepth + 1), true},
      {"blocks in a row", repeat(nested(OpenBlock, 2), MaxBlockDepth), false},
      {"ifs with elses in a row", repeat(OpenIf + "\x05\x0b", 2 * MaxBlockDepth), false},
      {"trys closed by delegate", repeat(Try + "\x18" + leb(0), 2 * MaxBlockDepth), false},
      {"deeper after shallow ones", nested(OpenBlock, 2) + nested(OpenIf, MaxBlockDepth + 1), true},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.What);
    std::string Module = applyModule(C.Body);
    llvm::Error E = checkBlockDepth(llvm::arrayRefFromStringRef(Module), All);
    EXPECT_EQ(bool(E), C.Refused);
    llvm::consumeError(std::move(E));
  }

  // The function is named by its index, imports counted; readModule checks
  // before it reads.
  std::string Type = section(1, leb(1) + "\x60" + leb(0) + leb(0));
  std::string Import = section(2, leb(1) + str("env") + str("f") + '\0' + leb(0));
  std::string Deep = '\0' + nested(OpenBlock, MaxBlockDepth + 1) + "\x0b";
  std::string Code = section(10, leb(2) + leb(2) + '\0' + "\x0b" + leb(Deep.size()) + Deep);
  std::string Module = Header + Type + Import + section(3, leb(2) + leb(0) + leb(0)) + Code;
  auto Read = readModule("m.wasm", llvm::arrayRefFromStringRef(Module), All, Check::Structure);
  ASSERT_FALSE(bool(Read));
  EXPECT_EQ(
      llvm::toString(Read.takeError())
          .rfind("function 2: blocks nest deeper than the limit of 10000 levels (at offset 0x", 0),
      0u);
}

} // namespace
