//===- ContainerTest.cpp - The .ctrx reader and writer in process ---------===//

#include "Container.h"
#include "WasmBytes.h"

#include <gtest/gtest.h>

namespace {

using namespace zo;

const std::string Module = zotest::wasm::Header + std::string(200, '\0');
const std::string Abi = R"({"version": 1, "actions": []})";

TEST(Container, WhatIsWrittenReadsBackAndTheSameInputGivesTheSameBytes) {
  for (uint32_t Flags : {0u, ctrx::FlagJit, ctrx::FlagCompressed}) {
    SCOPED_TRACE(describeFlags(Flags));
    SectionInput Inputs[] = {{SectionKind::Interface, Abi}, {SectionKind::Code, Module}};
    auto Bytes = writeContainer(Flags, Inputs);
    ASSERT_TRUE(bool(Bytes)) << llvm::toString(Bytes.takeError());
    EXPECT_EQ(*writeContainer(Flags, Inputs), *Bytes);

    auto Read = readContainer(*Bytes);
    ASSERT_TRUE(bool(Read)) << llvm::toString(Read.takeError());
    EXPECT_EQ(Read->Flags, Flags);
    ASSERT_EQ(Read->Sections.size(), 2u);
    EXPECT_EQ(Read->Sections[0].Kind, SectionKind::Code) << "sections come in kind order";
    EXPECT_EQ(Read->find(SectionKind::Code)->Content, Module);
    EXPECT_EQ(Read->find(SectionKind::Interface)->Content, Abi);
    EXPECT_EQ(Read->find(SectionKind::Code)->Encoding,
              Flags & ctrx::FlagCompressed ? SectionEncoding::Zlib : SectionEncoding::Stored);
  }
}

TEST(Container, EveryChangedByteIsRefused) {
  SectionInput Inputs[] = {{SectionKind::Code, Module}, {SectionKind::Interface, Abi}};
  std::string Bytes = *writeContainer(0, Inputs);
  for (size_t At = 0; At < Bytes.size(); ++At) {
    std::string Damaged = Bytes;
    Damaged[At] = char(Damaged[At] ^ 0x01);
    auto Read = readContainer(Damaged);
    EXPECT_FALSE(bool(Read)) << "byte " << At << " changed unnoticed";
    llvm::consumeError(Read.takeError());
  }
}

TEST(Container, TheWriterKeepsTheReadersRules) {
  // Inputs refer to their contents: these outlive the table.
  const std::string Deep(300, '[');
  const std::pair<std::vector<SectionInput>, const char *> Cases[] = {
      {{{SectionKind::Code, Module}}, "no interface section"},
      {{{SectionKind::Code, "not wasm"}, {SectionKind::Interface, Abi}},
       "not a WebAssembly module"},
      {{{SectionKind::Code, Module}, {SectionKind::Interface, "{"}}, "not JSON"},
      {{{SectionKind::Code, Module}, {SectionKind::Interface, Deep}},
       "nests deeper than 256 levels"},
      // Strict JSON, as ctrrun reads all of it.
      {{{SectionKind::Code, Module},
        {SectionKind::Interface, R"({"actions": [], "actions": [{"name": "a"}]})"}},
       "in the interface description, 'actions' appears twice in an object"},
      {{{SectionKind::Code, Module}, {SectionKind::Interface, R"({"version": 01})"}},
       "not JSON: [1:13, byte=13]: Invalid number"},
      {{{SectionKind::Code, Module}, {SectionKind::Interface, R"({"message": "\ud800"})"}},
       "Unpaired surrogate in string"},
  };
  for (const auto &[Inputs, Message] : Cases) {
    auto Bytes = writeContainer(0, Inputs);
    ASSERT_FALSE(bool(Bytes)) << Message;
    std::string Error = llvm::toString(Bytes.takeError());
    EXPECT_NE(Error.find(Message), std::string::npos) << Error;
  }
}

} // namespace
