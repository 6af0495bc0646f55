//===- EngineTest.cpp - Running calls in process ---------------------------===//

#include "ContractInstance.h"
#include "Failure.h"
#include "WasmBytes.h"

#include "llvm/Support/raw_ostream.h"

#include <gtest/gtest.h>

namespace {

using namespace zo::engine;
using namespace zotest::wasm;

/// A contract whose apply reads its whole input into memory at 0 and hands
/// it to the host function \p Sink, (i32 ptr, i32 len) -> ().
std::string inputTo(const std::string &Sink) {
  std::string Types = leb(4) + "\x60" + leb(0) + leb(0) +              // 0: () -> ()
                      "\x60" + leb(0) + leb(1) + "\x7f" +              // 1: () -> i32
                      "\x60" + leb(2) + "\x7f\x7f" + leb(1) + "\x7f" + // 2: (i32, i32) -> i32
                      "\x60" + leb(2) + "\x7f\x7f" + leb(0);           // 3: (i32, i32) -> ()
  auto import = [](const std::string &Name, uint32_t Type) {
    return str("env") + str(Name) + '\0' + leb(Type);
  };
  std::string Imports =
      leb(3) + import("corvane_input_size", 1) + import("corvane_input_read", 2) + import(Sink, 3);
  std::string Exports = leb(2) + str("apply") + '\0' + leb(3) + str("memory") + '\2' + leb(0);
  // input_read(0, input_size()); Sink(0, input_size())
  const char Code[] = {0x41, 0, 0x10, 0, 0x10, 1, 0x1a, 0x41, 0, 0x10, 0, 0x10, 2, 0x0b};
  std::string Body = leb(0) + std::string(Code, sizeof Code);
  return Header + section(1, Types) + section(2, Imports) + section(3, leb(1) + leb(0)) +
         section(5, leb(1) + '\0' + leb(1)) + section(7, Exports) +
         section(10, leb(1) + leb(Body.size()) + Body);
}

ContractCode codeOf(const std::string &Module) {
  ContractCode Code;
  Code.Name = "m.wasm";
  Code.Buffer = llvm::MemoryBuffer::getMemBufferCopy(Module, Code.Name);
  Code.Module = llvm::arrayRefFromStringRef(Code.Buffer->getBuffer());
  return Code;
}

struct Run {
  llvm::Error Result = llvm::Error::success();
  /// Each call's output.
  std::vector<std::string> Outputs;
  Transaction T;
  llvm::Optional<uint64_t> Executed;
  std::string Diagnostics;

  ~Run() { llvm::consumeError(std::move(Result)); }
  bool succeeded() {
    if (!Result)
      return true;
    ADD_FAILURE() << llvm::toString(std::move(Result));
    Result = llvm::Error::success();
    return false;
  }
};

std::unique_ptr<Run> run(const std::string &Module, RunOptions Options,
                         const std::string &Input = "hello", CallObserver *Observer = nullptr) {
  auto R = std::make_unique<Run>();
  R->T.Input = Input;
  R->T.Observer = Observer;
  ContractCode Code = codeOf(Module);
  llvm::raw_string_ostream Diagnostics(R->Diagnostics);
  R->Result = runCalls(
      Code, R->T, Diagnostics, Options,
      [&](llvm::StringRef Output) {
        R->Outputs.push_back(Output.str());
        return llvm::Error::success();
      },
      R->Executed);
  return R;
}

/// The status and message of a failed run.
std::pair<ExitStatus, std::string> failureOf(llvm::Error E) {
  std::pair<ExitStatus, std::string> Result{ExitStatus::Success, ""};
  llvm::handleAllErrors(std::move(E), [&](const Failure &F) {
    Result = {F.status(), F.message()};
  });
  return Result;
}

TEST(Engine, EveryCallCountsTheSameAndHandsOverItsOutput) {
  auto One = run(inputTo("corvane_output_write"), {1, 1000});
  ASSERT_TRUE(One->succeeded());
  ASSERT_TRUE(One->Executed);
  EXPECT_GT(*One->Executed, 0u);

  auto Three = run(inputTo("corvane_output_write"), {3, 1000});
  ASSERT_TRUE(Three->succeeded());
  EXPECT_EQ(Three->Outputs, (std::vector<std::string>{"hello", "hello", "hello"}));
  EXPECT_EQ(*Three->Executed, 3 * *One->Executed);
}

TEST(Engine, TheLimitStopsTheCallAtExactlyItsCount) {
  llvm::Optional<uint64_t> Counted = run(inputTo("corvane_output_write"), {1, 1000})->Executed;
  ASSERT_TRUE(Counted);
  uint64_t Needed = *Counted;
  auto Enough = run(inputTo("corvane_output_write"), {1, Needed});
  EXPECT_TRUE(Enough->succeeded());

  auto Short = run(inputTo("corvane_output_write"), {1, Needed - 1});
  auto [Status, Message] = failureOf(std::move(Short->Result));
  EXPECT_EQ(Status, ExitStatus::Exhausted);
  EXPECT_EQ(Message, "apply exceeded the limit of " + std::to_string(Needed - 1) + " instructions");
  EXPECT_EQ(*Short->Executed, Needed - 1);
}

TEST(Engine, AnAbortCarriesTheContractsMessage) {
  auto Aborted = run(inputTo("corvane_abort"), {2, 1000});
  auto [Status, Message] = failureOf(std::move(Aborted->Result));
  EXPECT_EQ(Status, ExitStatus::Abort);
  EXPECT_EQ(Message, "contract aborted: hello");
  EXPECT_TRUE(Aborted->Outputs.empty());
}

// A trap two calls deep carries the call stack as data, innermost first:
// each frame's function, named from the name section when there is one
// (demangled) or else by its export, and the offset in the module of the
// instruction it was running, the call for the outer frame.
TEST(Engine, ATrapCarriesItsCallStack) {
  const std::string Apply = std::string("\0\x10\x01\x0b", 4); // call 1
  const std::string Inner = std::string("\0\x01\x00\x0b", 4); // nop; unreachable
  const std::string Module =
      Header + section(1, std::string("\x01\x60\x00\x00", 4)) +
      section(3, std::string("\x02\x00\x00", 3)) +
      section(7, leb(1) + str("apply") + '\0' + leb(0)) +
      section(10, leb(2) + leb(Apply.size()) + Apply + leb(Inner.size()) + Inner);
  const uint64_t CallAt = Module.find(Apply) + 1, UnreachableAt = Module.find(Inner) + 2;
  const std::string Names =
      section(0, str("name") + '\1' + str(leb(1) + leb(1) + str("_Z5innerv")));
  struct Case {
    std::string Module;
    std::string InnerName;
  } Cases[] = {{Module, ""}, {Module + Names, "inner()"}};
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.InnerName);
    auto R = run(C.Module, {1, 1000});
    Backtrace Trace;
    llvm::handleAllErrors(std::move(R->Result), [&](const Failure &F) {
      EXPECT_EQ(F.status(), ExitStatus::Trap);
      Trace = F.trace();
    });
    ASSERT_EQ(Trace.Frames.size(), 2u);
    EXPECT_EQ(Trace.Frames[0].FunctionIndex, 1u);
    EXPECT_EQ(Trace.Frames[0].Function, C.InnerName);
    EXPECT_EQ(Trace.Frames[0].ModuleOffset, UnreachableAt);
    EXPECT_EQ(Trace.Frames[1].FunctionIndex, 0u);
    EXPECT_EQ(Trace.Frames[1].Function, "apply");
    EXPECT_EQ(Trace.Frames[1].ModuleOffset, CallAt);
    // Without DWARF there is no line.
    EXPECT_EQ(Trace.Frames[0].Line, 0u);
    EXPECT_FALSE(sourceLine(llvm::arrayRefFromStringRef(C.Module), UnreachableAt));
  }
}

// The diagnostics stream gets escaped lines; an observer gets the bytes.
TEST(Engine, AnObserverSeesWhatTheContractWrote) {
  struct Recorder final : CallObserver {
    std::vector<std::string> Seen;
    void logged(llvm::StringRef Text) override { Seen.push_back("log " + Text.str()); }
    void emitted(llvm::StringRef Name, llvm::StringRef Data) override {
      Seen.push_back("event " + Name.str() + " " + Data.str());
    }
    void aborted(llvm::StringRef Message) override { Seen.push_back("abort " + Message.str()); }
  };
  const std::string Text = "a\\b\n";
  const struct {
    const char *Sink;
    std::string Seen, Diagnostics;
  } Cases[] = {{"corvane_log", "log " + Text, "log: a\\x5cb\\x0a\n"},
               {"corvane_abort", "abort " + Text, ""}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Sink);
    Recorder R;
    auto Ran = run(inputTo(Case.Sink), {1, 1000}, Text, &R);
    llvm::consumeError(std::move(Ran->Result));
    EXPECT_EQ(R.Seen, std::vector<std::string>{Case.Seen});
    EXPECT_EQ(Ran->Diagnostics, Case.Diagnostics);
  }
}

TEST(Engine, ImportsTheHostLacksAreRefusedBeforeAnythingRuns) {
  auto Refused = run(inputTo("corvane_no_such_function"), {1, 1000});
  auto [Status, Message] = failureOf(std::move(Refused->Result));
  EXPECT_EQ(Status, ExitStatus::Unrunnable);
  EXPECT_EQ(Message,
            "m.wasm imports env.corvane_no_such_function, which the host does not provide");
  EXPECT_FALSE(Refused->Executed);
}

} // namespace

namespace {

llvm::Optional<std::string> read(StorageView &View, llvm::StringRef Key) {
  llvm::Expected<llvm::Optional<std::string>> Value = View.get(Key);
  EXPECT_TRUE(bool(Value));
  return Value ? *Value : llvm::None;
}

// A transaction sees the store under its own changes, which reach the store
// only when committed.
TEST(Storage, ChangesOverlayTheStoreUntilCommitted) {
  MemoryStorage Store;
  StorageView First(&Store);
  First.set("a", "1");
  First.set("b", "2");
  Store.commit(First.changes());

  StorageView View(&Store);
  EXPECT_EQ(read(View, "a"), std::string("1"));
  View.set("a", "10");
  View.erase("b");
  View.set("c", "");
  View.erase("missing");
  EXPECT_EQ(read(View, "a"), std::string("10"));
  EXPECT_EQ(read(View, "b"), llvm::None);
  EXPECT_EQ(read(View, "c"), std::string(""));
  // Keys and values held: "a" "10", "b", "c" "", "missing".
  EXPECT_EQ(View.changedBytes(), 3u + 1 + 1 + 7);
  EXPECT_EQ(Store.entries().at("b"), "2") << "an uncommitted change reached the store";

  Store.commit(View.changes());
  EXPECT_EQ(Store.entries(),
            (std::map<std::string, std::string, std::less<>>{{"a", "10"}, {"c", ""}}));
  // Without a store, a view starts empty.
  StorageView Empty;
  EXPECT_EQ(read(Empty, "a"), llvm::None);
}

} // namespace
