//===- AbiTest.cpp - The interface model, its grammar and its file --------===//

#include "Interface.h"
#include "Units.h"

#include <gtest/gtest.h>

namespace {

using namespace zo::abi;

std::string errorOf(llvm::Error E) { return llvm::toString(std::move(E)); }

TEST(Grammar, TypesReadToTheirCanonicalNames) {
  Interface I;
  ASSERT_TRUE(bool(I.addStruct("Poll")));
  const std::pair<const char *, const char *> Cases[] = {
      {"bool", "bool"},
      {"int8", "int8"},
      {"uint64", "uint64"},
      {" string ", "string"},
      {"vector< vector<uint8> >", "vector<vector<uint8>>"},
      {"map<string, Poll>", "map<string,Poll>"},
      {"map<int32,map<bool,string>>", "map<int32,map<bool,string>>"},
      {"Poll", "Poll"},
  };
  for (auto [Text, Name] : Cases) {
    auto T = I.parseType(Text);
    ASSERT_TRUE(bool(T)) << Text << ": " << errorOf(T.takeError());
    EXPECT_EQ((*T)->Name, Name);
  }
  auto Void = I.parseType("void", /*AllowVoid=*/true);
  ASSERT_TRUE(bool(Void));
  EXPECT_EQ((*Void)->Kind, Type::Void);
}

TEST(Grammar, RefusesWhatNoContractCanEncode) {
  Interface I;
  ASSERT_TRUE(bool(I.addStruct("Poll")));
  std::string Deep;
  for (unsigned N = 0; N <= MaxTypeDepth; ++N)
    Deep += "vector<";
  const std::pair<std::string, const char *> Cases[] = {
      {"void", "unknown type 'void'"},
      {"int128", "unknown type 'int128'"},
      {"float", "unknown type 'float'"},
      {"vector<uint8", "malformed type 'vector<uint8'"},
      {"map<Poll,bool>", "map keys are bool, integers or string, not 'Poll'"},
      {"map<vector<uint8>,bool>", "map keys are bool, integers or string"},
      {"uint64 x", "malformed type"},
      {"", "malformed type"},
      {Deep + "bool", "a type nests deeper than 32 levels"},
      {"Ballot", "unknown type 'Ballot'"},
  };
  for (const auto &[Text, Message] : Cases) {
    auto T = I.parseType(Text);
    ASSERT_FALSE(bool(T)) << Text;
    std::string Error = errorOf(T.takeError());
    EXPECT_NE(Error.find(Message), std::string::npos) << Text << ": " << Error;
  }
  EXPECT_EQ(errorOf(I.addStruct("Poll").takeError()), "struct 'Poll' appears twice");
}

const char *const Poll = R"({
  "version": 1,
  "message": "polls \u00e9",
  "actions": [
    {"name": "open", "params": [{"name": "question", "type": "string"},
                                {"name": "choices", "type": "vector<string>"}], "result": "uint64"},
    {"name": "close", "params": [], "result": "void"}
  ],
  "structs": [{"name": "Poll", "fields": [{"name": "question", "type": "string"},
                                          {"name": "votes", "type": "map<uint8, uint64>"}]}],
  "tables": [{"name": "polls", "key": "uint64", "value": "Poll"}]
})";

TEST(InterfaceFile, ReadsEveryPartAndWritesItBackStably) {
  auto I = readInterface(Poll);
  ASSERT_TRUE(bool(I)) << errorOf(I.takeError());
  EXPECT_EQ(I->Message, "polls \xc3\xa9");
  ASSERT_EQ(I->Actions.size(), 2u);
  EXPECT_EQ(signature(I->Actions[0]), "open(question: string, choices: vector<string>)");
  EXPECT_EQ(I->find("close")->Result->Kind, Type::Void);
  ASSERT_EQ(I->Structs.size(), 1u);
  EXPECT_EQ(describe(*I->Structs[0]), "struct Poll {question: string, votes: map<uint8,uint64>}");
  ASSERT_EQ(I->Tables.size(), 1u);
  EXPECT_EQ(I->Tables[0].Value->Fields, I->Structs[0].get());

  std::string Written;
  llvm::raw_string_ostream OS(Written);
  writeInterface(OS, *I);
  auto Again = readInterface(OS.str());
  ASSERT_TRUE(bool(Again)) << errorOf(Again.takeError());
  std::string Rewritten;
  llvm::raw_string_ostream OS2(Rewritten);
  writeInterface(OS2, *Again);
  EXPECT_EQ(OS2.str(), Written);
  EXPECT_NE(Written.find("\"type\": \"map<uint8,uint64>\""), std::string::npos) << Written;
}

TEST(InterfaceFile, MessagesNameThePartThatIsWrong) {
  const std::pair<const char *, const char *> Cases[] = {
      {"[]", "not a JSON object"},
      {R"({"version": 2})", "unsupported version; ctrrun reads version 1"},
      {R"({"message": 5})", "the description's \"message\" is not a string"},
      {R"({"actions": [{"name": "a", "params": [], "result": "void"},
                       {"name": "a", "params": [], "result": "void"}]})",
       "action 'a' appears twice"},
      {R"({"actions": [{"name": "a", "params": [{"name": "x", "type": "Missing"}],
                        "result": "void"}]})",
       "action 'a' parameter 'x': unknown type 'Missing'"},
      {R"({"structs": [{"name": "S", "fields": []}]})", "struct 'S' has no fields"},
      {R"({"tables": [{"name": "t", "key": "string"}]})", "table 't' has no \"value\" string"},
      {R"({"tables": [{"name": "t", "key": "string", "value": "x"}]})",
       "table 't' value: unknown type 'x'"},
  };
  for (auto [Text, Message] : Cases) {
    auto I = readInterface(Text);
    ASSERT_FALSE(bool(I)) << Text;
    std::string Error = errorOf(I.takeError());
    EXPECT_NE(Error.find(Message), std::string::npos) << Error;
  }
  auto Deep = readInterface(std::string(300, '[') + std::string(300, ']'));
  EXPECT_EQ(errorOf(Deep.takeError()), "it nests deeper than 256 levels");
}

//===----------------------------------------------------------------------===//
// The records of translation units, and the contract merged from them.
//===----------------------------------------------------------------------===//

std::string written(const Interface &I) {
  std::string Text;
  llvm::raw_string_ostream OS(Text);
  writeInterface(OS, I);
  return OS.str();
}

// The record of a unit whose description is \p Text.
std::string record(const std::string &Source, const char *Text) {
  auto I = readInterface(Text);
  EXPECT_TRUE(bool(I)) << errorOf(I.takeError());
  return encodeUnitRecord(Source, *I);
}

// What the linker joins: the records of every unit, one after another.
std::vector<UnitInterface> units(const std::string &Section) {
  auto Units = readUnitRecords(Section);
  EXPECT_TRUE(bool(Units)) << errorOf(Units.takeError());
  return Units ? std::move(*Units) : std::vector<UnitInterface>();
}

const char *const Storage = R"({"structs": [{"name": "Poll", "fields": [
                                 {"name": "question", "type": "string"},
                                 {"name": "votes", "type": "map<uint8, uint64>"}]},
                               {"name": "Archive", "fields": [{"name": "polls", "type": "vector<Poll>"}]}],
                                "tables": [{"name": "archive", "key": "uint64", "value": "Archive"},
                                           {"name": "polls", "key": "uint64", "value": "Poll"}]})";
const char *const Empty = R"({"version": 1})";

TEST(Units, RecordsReadBackInOrderWithTheirSources) {
  std::string Section = record("src/poll.cpp", Poll) + record("", Empty);
  std::vector<UnitInterface> Read = units(Section);
  ASSERT_EQ(Read.size(), 2u);
  EXPECT_EQ(Read[0].Source, "src/poll.cpp");
  EXPECT_EQ(Read[0].Iface->Actions.size(), 2u);
  EXPECT_EQ(Read[1].Source, "");
  EXPECT_TRUE(Read[1].Iface->Actions.empty());
  EXPECT_TRUE(units("").empty());

  const std::pair<std::string, const char *> Malformed[] = {
      {Section.substr(0, Section.size() - 1), "malformed interface record at offset"},
      {Section + "\x05", "malformed interface record at offset"},
      {std::string("\x01x\x01["), "the interface recorded for x is malformed: not JSON"},
      {std::string("\x80\x00", 2), "malformed interface record at offset 0"},
  };
  for (const auto &[Bytes, Message] : Malformed) {
    auto Bad = readUnitRecords(Bytes);
    ASSERT_FALSE(bool(Bad));
    EXPECT_NE(errorOf(Bad.takeError()).find(Message), std::string::npos);
  }
}

// The units of a contract in any order give the same description: the
// actions of the unit that lists them, every struct and table once, and the
// message given to the link.
TEST(Units, MergeIsTheContractWhateverTheOrder) {
  std::string Listing = record("poll.cpp", Poll), Tables = record("storage.cpp", Storage),
              Nothing = record("main.c", Empty);
  auto Expected = readInterface(R"({"version": 1, "message": "m",
    "actions": [
      {"name": "open", "params": [{"name": "question", "type": "string"},
                                  {"name": "choices", "type": "vector<string>"}], "result": "uint64"},
      {"name": "close", "params": [], "result": "void"}],
    "structs": [{"name": "Archive", "fields": [{"name": "polls", "type": "vector<Poll>"}]},
                {"name": "Poll", "fields": [{"name": "question", "type": "string"},
                                            {"name": "votes", "type": "map<uint8,uint64>"}]}],
    "tables": [{"name": "archive", "key": "uint64", "value": "Archive"},
               {"name": "polls", "key": "uint64", "value": "Poll"}]})");
  ASSERT_TRUE(bool(Expected)) << errorOf(Expected.takeError());
  for (const std::string &Section :
       {Listing + Tables + Nothing, Nothing + Tables + Listing, Tables + Nothing + Listing}) {
    auto Merged = mergeUnits(units(Section), "m");
    ASSERT_TRUE(bool(Merged)) << errorOf(Merged.takeError());
    EXPECT_EQ(written(*Merged), written(*Expected));
  }

  // One unit alone is described as it is.
  auto Alone = mergeUnits(units(Listing), "polls \u00e9");
  ASSERT_TRUE(bool(Alone));
  auto Original = readInterface(Poll);
  EXPECT_EQ(written(*Alone), written(*Original));

  // Without an action list, the tables are still described.
  auto NoActions = mergeUnits(units(Tables + Nothing), "");
  ASSERT_TRUE(bool(NoActions));
  EXPECT_TRUE(NoActions->Actions.empty());
  EXPECT_EQ(NoActions->Tables.size(), 2u);
  EXPECT_EQ(NoActions->Structs.size(), 2u);
}

TEST(Units, ConflictsNameBothUnits) {
  const struct {
    std::string Section;
    const char *Message;
  } Cases[] = {
      {record("a.cpp", Poll) + record("b.cpp", Empty) + record("c.cpp", Poll),
       "a.cpp and c.cpp both hold an action list (CORVANE_ACTIONS); a contract has one"},
      {record("a.cpp", Poll) + record("b.cpp", R"({"structs": [{"name": "Poll", "fields": [
                                {"name": "question", "type": "string"}]}]})"),
       "struct 'Poll' differs between a.cpp and b.cpp: struct Poll {question: string, votes: "
       "map<uint8,uint64>} and struct Poll {question: string}"},
      {record("x/a.cpp", Storage) +
           record("b\ncpp", R"({"tables": [{"name": "polls", "key": "string", "value": "bool"}]})"),
       "table 'polls' has other types in x/a.cpp (uint64 -> Poll) than in b\\x0acpp (string -> "
       "bool)"},
  };
  for (const auto &C : Cases) {
    auto Merged = mergeUnits(units(C.Section), "");
    ASSERT_FALSE(bool(Merged)) << C.Message;
    EXPECT_EQ(errorOf(Merged.takeError()), C.Message);
  }
}

} // namespace
