//===- AbiTest.cpp - The interface model, its grammar and its file --------===//

#include "Interface.h"

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

} // namespace
