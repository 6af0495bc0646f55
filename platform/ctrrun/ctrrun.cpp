//===- ctrrun.cpp - Run a Corvane contract ---------------------------------===//
//
// Loads a contract module into wabt's interpreter, provides the Corvane host
// interface, calls `apply` and prints what the call wrote.
//
//===----------------------------------------------------------------------===//

#include "ContractCode.h"
#include "Failure.h"
#include "Host.h"
#include "Interpreter.h"
#include "Storage.h"

#include "llvm/ADT/ScopeExit.h"
#include "llvm/Support/CommandLine.h"
#include "llvm/Support/InitLLVM.h"
#include "llvm/Support/MemoryBuffer.h"
#include "llvm/Support/raw_ostream.h"

using namespace llvm;
using namespace ctrrun;

namespace {
cl::OptionCategory Category("ctrrun options");

cl::opt<std::string> ModulePath(cl::Positional, cl::Required, cl::desc("<module>"),
                                cl::cat(Category));
cl::opt<std::string> InputText(cl::Positional, cl::Optional, cl::desc("[input]"),
                               cl::cat(Category));
cl::opt<std::string> InputFile("input-file", cl::desc("Read the call input from <file>"),
                               cl::value_desc("file"), cl::cat(Category));
cl::opt<std::string> StoragePath("storage",
                                 cl::desc("Load contract storage from <file> and save it "
                                          "back after a successful run"),
                                 cl::value_desc("file"), cl::cat(Category));
cl::opt<std::string> Caller("caller", cl::desc("The calling account (default: alice)"),
                            cl::value_desc("name"), cl::init("alice"), cl::cat(Category));
cl::list<std::string> Auth("auth",
                           cl::desc("An account whose authorization the call carries; "
                                    "may repeat (default: the caller)"),
                           cl::value_desc("name"), cl::cat(Category));
cl::opt<unsigned> Calls("calls", cl::desc("Call apply <n> times in one transaction"),
                        cl::value_desc("n"), cl::init(1), cl::cat(Category));
cl::opt<unsigned long long>
    MaxInstructions("max-instructions",
                    cl::desc("Fail when the contract executes more instructions"),
                    cl::value_desc("n"), cl::init(10000000000ULL), cl::cat(Category));
} // namespace

static Expected<std::string> readInput() {
  if (InputFile.getNumOccurrences() && InputText.getNumOccurrences())
    return fail(ExitStatus::Usage, "give the input either as an argument or with "
                                   "--input-file, not both");
  if (!InputFile.getNumOccurrences())
    return InputText.getValue();
  ErrorOr<std::unique_ptr<MemoryBuffer>> Buffer =
      MemoryBuffer::getFile(InputFile, /*IsText=*/false, /*RequiresNullTerminator=*/false);
  if (!Buffer)
    return fail(ExitStatus::File, InputFile + ": " + Buffer.getError().message());
  return (*Buffer)->getBuffer().str();
}

// Runs the transaction.  Executed is set once the contract is instantiated,
// whether or not its calls succeed.
static Error run(Optional<uint64_t> &Executed) {
  if (Calls == 0)
    return fail(ExitStatus::Usage, "--calls must be at least 1");

  Transaction T;
  Expected<std::string> Input = readInput();
  if (!Input)
    return Input.takeError();
  T.Input = std::move(*Input);
  T.Caller = Caller;
  T.Authorizations = Auth.getNumOccurrences() ? std::vector<std::string>(Auth)
                                              : std::vector<std::string>{Caller};
  Storage Loaded;
  if (!StoragePath.empty()) {
    Expected<Storage> Read = loadStorage(StoragePath);
    if (!Read)
      return Read.takeError();
    Loaded = std::move(*Read);
    T.Store = Loaded;
  }

  Expected<ContractCode> Code = readContractCode(ModulePath);
  if (!Code)
    return Code.takeError();
  Host H(T, errs());
  Expected<std::unique_ptr<Interpreter>> I = Interpreter::create(*Code, H, MaxInstructions);
  if (!I)
    return I.takeError();
  Interpreter &Contract = **I;
  auto Report = make_scope_exit([&] { Executed = Contract.instructions(); });
  if (Error E = Contract.start())
    return E;

  for (unsigned N = 0; N < Calls; ++N) {
    Error E = Contract.callApply();
    if (E && T.AbortMessage) {
      consumeError(std::move(E));
      return fail(ExitStatus::Abort, "contract aborted: " + *T.AbortMessage);
    }
    if (E)
      return E;
  }

  // The transaction commits: storage first, so that output is only ever
  // printed for a call whose effects were kept.  An unchanged store is not
  // rewritten (nor created).
  if (!StoragePath.empty() && T.Store != Loaded)
    if (Error E = saveStorage(StoragePath, T.Store))
      return E;
  outs() << T.Output;
  outs().flush();
  return Error::success();
}

int main(int argc, char **argv) {
  InitLLVM X(argc, argv);
  cl::HideUnrelatedOptions(Category);
  cl::ParseCommandLineOptions(argc, argv,
                              "Corvane contract runner: calls a contract's `apply` export\n");

  Optional<uint64_t> Executed;
  Error E = run(Executed);
  if (Executed)
    errs() << "instructions: " << *Executed << '\n';
  int Status = int(ExitStatus::Success);
  handleAllErrors(std::move(E), [&](const Failure &F) {
    errs() << "ctrrun: " << F.message() << '\n';
    Status = int(F.status());
  });
  return Status;
}
