//===- Run.cpp - Running a transaction's calls -----------------------------===//

#include "ContractInstance.h"
#include "Failure.h"
#include "Interpreter.h"

#include "llvm/ADT/ScopeExit.h"

using namespace llvm;

namespace zo::engine {

ContractInstance::~ContractInstance() = default;

Expected<std::unique_ptr<ContractInstance>> instantiate(const ContractCode &Code, Host &H) {
  Expected<std::unique_ptr<Interpreter>> I = Interpreter::create(Code, H);
  if (!I)
    return I.takeError();
  return std::unique_ptr<ContractInstance>(std::move(*I));
}

Error runCalls(const ContractCode &Code, Transaction &T, raw_ostream &Diagnostics,
               const RunOptions &Options, CallOutputHandler OnOutput,
               Optional<uint64_t> &Executed) {
  Host H(T, Diagnostics, Options.MaxInstructions, Options.MaxLogBytes);
  Expected<std::unique_ptr<ContractInstance>> I = instantiate(Code, H);
  if (!I)
    return I.takeError();
  ContractInstance &Contract = **I;
  auto Report = make_scope_exit([&] { Executed = Contract.instructions(); });
  if (Error E = Contract.start())
    return E;

  for (unsigned N = 0; N < Options.Calls; ++N) {
    if (Error E = Contract.callApply())
      return E;
    if (Error E = OnOutput(T.Output))
      return E;
    // The start function's output, if any, went with the first call's.
    T.Output.clear();
  }
  return Error::success();
}

} // namespace zo::engine
