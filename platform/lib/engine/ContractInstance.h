//===- ContractInstance.h - A contract instantiated by an execution tier -===//
//
// The engine runs a contract's calls through this interface, whichever tier
// executes the code; every tier meters the same instructions against the
// same limit, so a call costs the same wherever it runs.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_ENGINE_CONTRACTINSTANCE_H
#define ZO_ENGINE_CONTRACTINSTANCE_H

#include "ContractCode.h"
#include "Host.h"

#include "llvm/Support/Error.h"

#include <memory>

namespace zo::engine {

class ContractInstance {
public:
  virtual ~ContractInstance();

  /// Runs the module's start function, if it has one, counted like a call.
  virtual llvm::Error start() = 0;

  /// Calls the export `apply` once.
  virtual llvm::Error callApply() = 0;

  /// Instructions executed so far, over all calls.
  virtual uint64_t instructions() const = 0;
};

/// The contract \p Code, its imports bound to \p H, ready to start.
llvm::Expected<std::unique_ptr<ContractInstance>> instantiate(const ContractCode &Code, Host &H,
                                                              uint64_t MaxInstructions);

/// What a transaction of calls runs with.
struct RunOptions {
  unsigned Calls = 1;
  uint64_t MaxInstructions = 10000000000ULL;
};

/// Runs \p Options.Calls calls of `apply` over \p T, with log lines and
/// events going to \p Diagnostics.  Returns where each call's output ends
/// in T.Output.  \p Executed is set once the contract is instantiated,
/// whether or not its calls succeed.  An abort is a Failure with status
/// Abort and the contract's message.
llvm::Expected<std::vector<size_t>> runCalls(const ContractCode &Code, Transaction &T,
                                             llvm::raw_ostream &Diagnostics,
                                             const RunOptions &Options,
                                             llvm::Optional<uint64_t> &Executed);

} // namespace zo::engine

#endif
