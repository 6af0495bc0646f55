//===- ContainerTest.cpp - zo++ builds deployable containers --------------===//

#include "ContractTest.h"

#include "llvm/Support/JSON.h"

#include <sstream>

namespace zotest {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class ContainerTest : public ContractTest {
protected:
  fs::path token() const { return fs::path(ZO_EXAMPLES) / "token/token.cpp"; }

  RunResult ctrpack(const Args &args) const { return runProcess(tool("ctrpack"), args, dir()); }

  // The container's flags line, then "KIND ENCODING" for each section, from
  // the "KIND STORED ORIGINAL ENCODING SHA256" lines of ctrpack --list.
  std::vector<std::string> listing(const std::string &container) const {
    RunResult r = ctrpack({"--list", container});
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream in(r.out);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      std::string kind, stored, original, encoding;
      if (line.rfind("flags:", 0) == 0 || !(words >> kind >> stored >> original >> encoding))
        lines.push_back(line);
      else
        lines.push_back(kind + " " + encoding);
    }
    return lines;
  }

  std::vector<std::string> filesInDir() const {
    std::vector<std::string> names;
    for (const fs::path &f : fs::directory_iterator(dir()))
      names.push_back(f.filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  llvm::json::Value abi(const fs::path &file) const {
    llvm::Expected<llvm::json::Value> value = llvm::json::parse(readFile(file));
    if (!value) {
      ADD_FAILURE() << file << ": " << llvm::toString(value.takeError());
      return nullptr;
    }
    return std::move(*value);
  }

  std::vector<std::string> actionNames(const llvm::json::Value &description) const {
    std::vector<std::string> names;
    if (const llvm::json::Array *actions = description.getAsObject()->getArray("actions"))
      for (const llvm::json::Value &action : *actions)
        names.push_back(action.getAsObject()->getString("name").getValueOr("").str());
    return names;
  }
};

TEST_F(ContainerTest, ContainerIsTheOnlyOutput) {
  RunResult r = zo({"-o", "token.ctrx", token().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(filesInDir(), ElementsAre("token.ctrx"));
  EXPECT_THAT(listing("token.ctrx"), ElementsAre("flags: none", "code stored", "interface stored"));

  r = ctrpack({"--extract", "token.ctrx", "parts"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir() / "parts/code.wasm").substr(0, 4), std::string("\0asm", 4));
  EXPECT_THAT(actionNames(abi(dir() / "parts/interface.abi")),
              ElementsAre("create", "transfer", "balance", "transfers"));
}

// A contract whose name begins with '-' builds like any other: no tool
// takes one of its file names for an option (-h would print a help).
TEST_F(ContainerTest, NamesThatBeginWithADash) {
  for (const std::string name : {"-h", "-evil"}) {
    SCOPED_TRACE(name);
    fs::copy_file(token(), dir() / (name + ".cpp"));
    RunResult r = zo({"./" + name + ".cpp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    r = ctrrun({"--", name + ".ctrx", "balance", R"({"account": "bob"})"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0\n");
  }
  EXPECT_THAT(filesInDir(), ElementsAre("-evil.cpp", "-evil.ctrx", "-h.cpp", "-h.ctrx"));
}

TEST_F(ContainerTest, SameSourceSameContainer) {
  ASSERT_EQ(zo({"-o", "first.ctrx", token().string()}).status, 0);
  ASSERT_EQ(zo({"-o", "second.ctrx", token().string()}).status, 0);
  EXPECT_EQ(readFile(dir() / "first.ctrx"), readFile(dir() / "second.ctrx"));
}

TEST_F(ContainerTest, OptionsShapeTheContainer) {
  struct Case {
    Args options;
    std::vector<std::string> files, sections;
  } cases[] = {
      {{"-dump-names"},
       {"token.ctrx", "token.names"},
       {"flags: none", "code stored", "interface stored", "names stored"}},
      {{"-compress"}, {"token.ctrx"}, {"flags: compressed", "code zlib", "interface stored"}},
      {{"-jit"}, {"token.ctrx"}, {"flags: jit", "code stored", "interface stored"}},
      {{"-save-temps"},
       {"token.abi", "token.ctrx", "token.wasm"},
       {"flags: none", "code stored", "interface stored"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    for (const std::string &file : filesInDir())
      fs::remove_all(dir() / file);
    Args args = c.options;
    args.insert(args.end(), {"-o", "token.ctrx", token().string()});
    RunResult r = zo(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(filesInDir(), c.files);
    EXPECT_EQ(listing("token.ctrx"), c.sections);
  }

  // An -o ending in .wasm keeps the module and the description beside the
  // container.
  for (const std::string &file : filesInDir())
    fs::remove_all(dir() / file);
  ASSERT_EQ(zo({"-o", "token.wasm", token().string()}).status, 0);
  EXPECT_THAT(filesInDir(), ElementsAre("token.abi", "token.ctrx", "token.wasm"));
}

// The message reaches the description exactly as given, cut at 1024 bytes
// without splitting a character.
TEST_F(ContainerTest, ContractMessageArrivesIntact) {
  const std::string message = "It's a \"token\" for Zoë & Jürgen: 10 € $(rm -rf x) `y` ; \\ done";
  const std::string long_message = std::string(1023, 'm') + "\xC3\xA9";
  struct Case {
    std::string given, stored;
  } cases[] = {{message, message}, {long_message, std::string(1023, 'm')}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.given.substr(0, 30));
    RunResult r = zo({"-contract-message", c.given, "-o", "token.wasm", token().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    llvm::json::Value description = abi(dir() / "token.abi");
    EXPECT_EQ(description.getAsObject()->getString("message").getValueOr("<none>").str(), c.stored);
  }
}

TEST_F(ContainerTest, InterfaceDescriptionWhereAsked) {
  fs::create_directory(dir() / "out");
  RunResult r = zo({"-ifacewriter_output", "out/token-interface.json", "-save-temps", "-o",
                    "token.ctrx", token().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir() / "token.abi"));
  ASSERT_TRUE(fs::exists(dir() / "out/token-interface.json"));
  ASSERT_EQ(ctrpack({"--extract", "token.ctrx", "parts"}).status, 0);
  EXPECT_EQ(readFile(dir() / "parts/interface.abi"), readFile(dir() / "out/token-interface.json"));
}

TEST_F(ContainerTest, UnsupportedActionTypeFailsTheBuild) {
  RunResult r = zo({"-o", "bad.ctrx", contract("unsupported.cpp").string()});
  EXPECT_EQ(r.status, 255);
  EXPECT_THAT(r.err, HasSubstr("unsupported.cpp:4:"));
  EXPECT_THAT(r.err, HasSubstr("double"));
  EXPECT_THAT(r.err, HasSubstr("error:"));
  EXPECT_TRUE(filesInDir().empty()) << ::testing::PrintToString(filesInDir());
}

// The token's actions, called by name with JSON arguments; balances and the
// transfer count persist between calls, and a failed call changes nothing.
TEST_F(ContainerTest, TokenActions) {
  ASSERT_EQ(zo({"-o", "token.ctrx", token().string()}).status, 0);
  auto call = [&](const std::string &caller, const std::string &action,
                  const std::string &arguments) {
    return ctrrun({"--storage=token.json", "--caller=" + caller, "token.ctrx", action, arguments});
  };
  RunResult r = call("alice", "create", R"({"issuer": "alice", "supply": 1000})");
  ASSERT_EQ(r.status, 0) << r.err;
  r = call("alice", "transfer", R"({"to": "bob", "amount": 250})");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("event transfer: alice bob 250"));
  // The global counter's destructor stored the count before apply returned.
  EXPECT_THAT(r.err, HasSubstr("log: token: 1 transfer(s) stored"));

  struct Failure {
    std::string caller, action, arguments, message;
  } failures[] = {
      {"bob", "transfer", R"({"to": "carol", "amount": 251})", "overdrawn balance of bob"},
      {"alice", "create", R"({"issuer": "alice", "supply": 5})", "the token exists already"},
      {"bob", "create", R"({"issuer": "carol", "supply": 5})", "missing authority of carol"},
      {"bob", "trasfer", R"({"to": "carol", "amount": 1})", "transfer"},
      {"bob", "transfer", R"({"to": "carol"})", "amount"},
  };
  for (const Failure &f : failures) {
    SCOPED_TRACE(f.action + " " + f.arguments);
    r = call(f.caller, f.action, f.arguments);
    EXPECT_NE(r.status, 0);
    EXPECT_THAT(r.err, HasSubstr(f.message));
  }

  struct Query {
    std::string action, arguments, result;
  } queries[] = {
      {"balance", R"({"account": "alice"})", "750\n"},
      {"balance", R"({"account": "bob"})", "250\n"},
      {"balance", R"({"account": "carol"})", "0\n"},
      {"transfers", "{}", "1\n"},
  };
  for (const Query &q : queries) {
    SCOPED_TRACE(q.arguments);
    r = call("bob", q.action, q.arguments);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, q.result);
  }
}

} // namespace
} // namespace zotest
