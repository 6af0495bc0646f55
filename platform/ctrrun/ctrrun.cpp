//===- ctrrun.cpp - Run a Corvane contract ---------------------------------===//
//
// Loads a contract module, bare or from a .ctrx container, into wabt's
// interpreter, provides the Corvane host interface, calls `apply` and prints
// what the call wrote.  A container's actions are called by name with JSON
// arguments, and their results printed as JSON.
//
//===----------------------------------------------------------------------===//

#include "Codec.h"
#include "ContractCode.h"
#include "ContractInstance.h"
#include "Failure.h"
#include "Files.h"
#include "Storage.h"

#include "llvm/Support/CommandLine.h"
#include "llvm/Support/Errc.h"
#include "llvm/Support/InitLLVM.h"
#include "llvm/Support/MemoryBuffer.h"
#include "llvm/Support/raw_ostream.h"

using namespace llvm;
using namespace zo;
using namespace zo::abi;
using namespace zo::engine;

namespace {
/// The most call input ctrrun reads, as much as a call may write.
constexpr size_t MaxInputBytes = 64 << 20;

cl::OptionCategory Category("ctrrun options");

cl::opt<std::string> ModulePath(cl::Positional, cl::desc("<module or container>"),
                                cl::cat(Category));
// INPUT for a module; ACTION [JSON] for a container that lists actions.
cl::list<std::string> Words(cl::Positional, cl::ZeroOrMore,
                            cl::desc("[input | <action> [json-arguments]]"), cl::cat(Category));
cl::opt<std::string> InputFile("input-file",
                               cl::desc("Read the call input, at most 64 MiB, from <file>"),
                               cl::value_desc("file"), cl::cat(Category));
cl::opt<std::string> StoragePath("storage",
                                 cl::desc("Run the calls in one transaction on the store <file>, "
                                          "created if missing; commit it if they all succeed"),
                                 cl::value_desc("file"), cl::cat(Category));
cl::opt<std::string> DumpStorage("dump-storage",
                                 cl::desc("Print the store <file> as JSON and run nothing"),
                                 cl::value_desc("file"), cl::cat(Category));
cl::opt<unsigned> LockTimeout("lock-timeout",
                              cl::desc("Wait at most <ms> milliseconds for another run on the "
                                       "same store (default: 10000)"),
                              cl::value_desc("ms"), cl::init(StorageOptions().LockTimeoutMs),
                              cl::cat(Category));
cl::opt<std::string> Caller("caller", cl::desc("The calling account (default: alice)"),
                            cl::value_desc("name"), cl::init("alice"), cl::cat(Category));
cl::list<std::string> Auth("auth",
                           cl::desc("An account whose authorization the call carries; "
                                    "may repeat (default: the caller)"),
                           cl::value_desc("name"), cl::cat(Category));
cl::opt<std::string> Self("self", cl::desc("The contract's own account (default: contract)"),
                          cl::value_desc("name"), cl::init(Transaction().Self), cl::cat(Category));
cl::opt<unsigned long long> BlockHeight("block-height",
                                        cl::desc("The height of the block the calls are in "
                                                 "(default: 1)"),
                                        cl::value_desc("n"), cl::init(Transaction().BlockHeight),
                                        cl::cat(Category));
cl::opt<unsigned long long> BlockTime("block-time",
                                      cl::desc("The block's time, in seconds since 1970-01-01 "
                                               "UTC (default: 0)"),
                                      cl::value_desc("seconds"), cl::init(Transaction().BlockTime),
                                      cl::cat(Category));
cl::opt<bool> RawInput("raw-input",
                       cl::desc("Pass INPUT to a container's apply as it is, not as an "
                                "action call"),
                       cl::cat(Category));
cl::opt<bool> Describe("describe",
                       cl::desc("Print a container's actions and structs and run nothing"),
                       cl::cat(Category));
cl::opt<unsigned> Calls("calls", cl::desc("Call apply <n> times in one transaction"),
                        cl::value_desc("n"), cl::init(1), cl::cat(Category));
cl::opt<unsigned long long>
    MaxInstructions("max-instructions",
                    cl::desc("Fail when the contract executes more instructions"),
                    cl::value_desc("n"), cl::init(RunOptions().MaxInstructions), cl::cat(Category));
cl::opt<unsigned long long>
    MaxLogBytes("max-log-bytes",
                cl::desc("Fail a call that logs more than <n> bytes of log text and event "
                         "data (default: 1 MiB)"),
                cl::value_desc("n"), cl::init(RunOptions().MaxLogBytes), cl::cat(Category));
} // namespace

// A failed write to standard output fails the run rather than aborting
// when the stream is destroyed.
static Error flushOutput() {
  outs().flush();
  if (!outs().has_error())
    return Error::success();
  std::error_code EC = outs().error();
  outs().clear_error();
  return fail(ExitStatus::File, "standard output: " + EC.message());
}

static std::string actionList(const Interface &I) {
  std::string Text;
  for (const Action &A : I.Actions)
    Text += (Text.empty() ? "" : ", ") + signature(A);
  return Text;
}

namespace {
/// The call input, and for an action call the action whose result the
/// output holds.
struct Call {
  std::string Input;
  const Action *Called = nullptr;
};
} // namespace

static Expected<Call> prepareCall(const ContractCode &Code) {
  if (InputFile.getNumOccurrences() && !Words.empty())
    return fail(ExitStatus::Usage, "give the input either as an argument or with "
                                   "--input-file, not both");
  if (InputFile.getNumOccurrences()) {
    Expected<std::string> Input = readBoundedFile(InputFile, MaxInputBytes);
    if (!Input) {
      std::error_code EC = errorToErrorCode(Input.takeError());
      return fail(ExitStatus::File,
                  escaped(InputFile) + ": " +
                      (EC == errc::file_too_large ? "the input exceeds ctrrun's limit of " +
                                                        Twine(MaxInputBytes) + " bytes"
                                                  : EC.message()));
    }
    return Call{std::move(*Input)};
  }

  if (!Code.Iface || Code.Iface->Actions.empty() || RawInput) {
    if (Words.size() > 1)
      return fail(ExitStatus::Usage, "unexpected argument '" + escaped(Words[1]) +
                                         "': " + Code.Name + " takes one INPUT");
    return Call{Words.empty() ? std::string() : Words[0]};
  }

  const Interface &I = *Code.Iface;
  if (Words.empty())
    return fail(ExitStatus::Usage,
                "name the action to call; " + Code.Name + " offers " + actionList(I));
  if (Words.size() > 2)
    return fail(ExitStatus::Usage, "unexpected argument '" + escaped(Words[2]) +
                                       "' after the arguments of " + escaped(Words[0]));
  const Action *A = I.find(Words[0]);
  if (!A)
    return fail(ExitStatus::BadCall, Code.Name + " has no action '" + escaped(Words[0]) +
                                         "'; its actions: " + actionList(I));
  Arguments Args;
  if (Words.size() == 2)
    if (Error E = parseArguments(*A, Words[1], Args))
      return fail(ExitStatus::BadCall, toString(std::move(E)));
  Expected<std::string> Input = encodeCall(*A, Args);
  if (!Input)
    return fail(ExitStatus::BadCall, toString(Input.takeError()));
  return Call{std::move(*Input), A};
}

static Error printDescription(const ContractCode &Code) {
  if (!Code.Iface)
    return fail(ExitStatus::Usage, Code.Name + " is a module; --describe reads the "
                                               "interface description of a container");
  if (!Words.empty())
    return fail(ExitStatus::Usage, "--describe runs nothing and takes no input");
  for (const Action &A : Code.Iface->Actions)
    outs() << "action " << signature(A) << " -> " << A.Result->Name << '\n';
  for (const auto &S : Code.Iface->Structs)
    outs() << describe(*S) << '\n';
  return flushOutput();
}

// What a call wrote, as ctrrun prints it: the bytes themselves, or for an
// action call its result as a line of JSON.
static Error printCallOutput(const Call &C, StringRef Output, std::string &Printed) {
  if (!C.Called) {
    Printed += Output;
    return Error::success();
  }
  Expected<std::string> Result = decodeResult(*C.Called, Output);
  if (!Result)
    return fail(ExitStatus::BadResult, toString(Result.takeError()));
  if (!Result->empty())
    Printed += *Result + "\n";
  return Error::success();
}

static Error printStorage() {
  if (!ModulePath.empty() || !Words.empty())
    return fail(ExitStatus::Usage, "--dump-storage runs nothing and takes no module or input");
  // Printed only whole, so that a failure prints no half of a store.
  std::string Text;
  raw_string_ostream OS(Text);
  if (Error E = dumpStorage(DumpStorage, OS))
    return E;
  outs() << OS.str();
  return flushOutput();
}

// Runs the transaction.  Executed is set once the contract is instantiated,
// whether or not its calls succeed.
static Error run(Optional<uint64_t> &Executed) {
  if (DumpStorage.getNumOccurrences())
    return printStorage();
  if (ModulePath.empty())
    return fail(ExitStatus::Usage, "name the module or container to run");
  if (Calls == 0)
    return fail(ExitStatus::Usage, "--calls must be at least 1");

  // Only a container is described or called with an action and its
  // arguments: a file that is neither a module nor a container is then
  // reported as the broken container it was meant to be, not as a module
  // given a word too many.
  Expected<ContractCode> Code =
      readContractCode(ModulePath, Describe || Words.size() > 1 ? CodeExpected::Container
                                                                : CodeExpected::ModuleOrContainer);
  if (!Code)
    return Code.takeError();
  if (Describe)
    return printDescription(*Code);
  Expected<Call> C = prepareCall(*Code);
  if (!C)
    return C.takeError();

  Transaction T;
  T.Input = C->Input;
  T.Caller = Caller;
  T.Self = Self;
  T.BlockHeight = BlockHeight;
  T.BlockTime = BlockTime;
  T.Authorizations =
      Auth.getNumOccurrences() ? std::vector<std::string>(Auth) : std::vector<std::string>{Caller};
  // The store stays locked until the transaction commits or is dropped.
  std::unique_ptr<StorageFile> Store;
  if (!StoragePath.empty()) {
    Expected<std::unique_ptr<StorageFile>> Opened =
        StorageFile::open(StoragePath, StorageOptions{LockTimeout});
    if (!Opened)
      return Opened.takeError();
    Store = std::move(*Opened);
    T.Store = StorageView(Store.get());
  }

  // A result that does not decode fails the transaction like a trap would.
  std::string Printed;
  if (Error E = runCalls(
          *Code, T, errs(), RunOptions{Calls, MaxInstructions, MaxLogBytes},
          [&](StringRef Output) { return printCallOutput(*C, Output, Printed); }, Executed))
    return E;

  // The transaction commits once the output is written, so that output
  // that cannot be written leaves storage as it was.
  outs() << Printed;
  if (Error E = flushOutput())
    return E;
  if (Store && !T.Store.changes().empty())
    return Store->commit(T.Store.changes());
  return Error::success();
}

int main(int argc, char **argv) {
  InitLLVM X(argc, argv);
  cl::HideUnrelatedOptions(Category);
  cl::ParseCommandLineOptions(
      argc, argv,
      "Corvane contract runner: calls a contract's `apply` export, or one of a "
      "container's actions by name\n");

  Optional<uint64_t> Executed;
  Error E = run(Executed);
  if (Executed)
    errs() << "instructions: " << *Executed << '\n';
  int Status = int(ExitStatus::Success);
  handleAllErrors(std::move(E), [&](const Failure &F) {
    errs() << "ctrrun: " << F.message() << '\n';
    printBacktrace(errs(), F.trace());
    Status = int(F.status());
  });
  return Status;
}
