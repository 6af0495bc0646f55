//===- Run.cpp - Running a transaction's calls -----------------------------===//

#include "ContractInstance.h"
#include "Failure.h"
#include "Interpreter.h"

#include "llvm/ADT/ScopeExit.h"

using namespace llvm;

namespace zo::engine {

ContractInstance::~ContractInstance() = default;

Expected<std::unique_ptr<ContractInstance>> instantiate(const ContractCode &Code, Host &H,
                                                        uint64_t MaxInstructions) {
  Expected<std::unique_ptr<Interpreter>> I = Interpreter::create(Code, H, MaxInstructions);
  if (!I)
    return I.takeError();
  return std::unique_ptr<ContractInstance>(std::move(*I));
}

Expected<std::vector<size_t>> runCalls(const ContractCode &Code, Transaction &T,
                                       raw_ostream &Diagnostics, const RunOptions &Options,
                                       Optional<uint64_t> &Executed) {
  Host H(T, Diagnostics);
  Expected<std::unique_ptr<ContractInstance>> I = instantiate(Code, H, Options.MaxInstructions);
  if (!I)
    return I.takeError();
  ContractInstance &Contract = **I;
  auto Report = make_scope_exit([&] { Executed = Contract.instructions(); });
  if (Error E = Contract.start())
    return E;

  std::vector<size_t> CallEnds;
  for (unsigned N = 0; N < Options.Calls; ++N) {
    Error E = Contract.callApply();
    if (E && T.AbortMessage) {
      consumeError(std::move(E));
      return fail(ExitStatus::Abort, "contract aborted: " + *T.AbortMessage);
    }
    if (E)
      return E;
    CallEnds.push_back(T.Output.size());
  }
  return CallEnds;
}

} // namespace zo::engine
