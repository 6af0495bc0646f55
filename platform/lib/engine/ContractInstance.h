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

#include "llvm/ADT/STLFunctionalExtras.h"
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

/// The contract \p Code, its imports bound to \p H, ready to start.  It
/// meters its instructions with H's.
llvm::Expected<std::unique_ptr<ContractInstance>> instantiate(const ContractCode &Code, Host &H);

/// What a transaction of calls runs with.
struct RunOptions {
  unsigned Calls = 1;
  uint64_t MaxInstructions = 10000000000ULL;
  /// Bytes of log text and event data each call may write.
  uint64_t MaxLogBytes = 1 << 20;
};

/// Receives each call's output as the call ends; an error fails the run.
using CallOutputHandler = llvm::function_ref<llvm::Error(llvm::StringRef Output)>;

/// Runs \p Options.Calls calls of `apply` over \p T, with log lines and
/// events going to \p Diagnostics, and hands each call's output to
/// \p OnOutput.  Nothing of a call stays behind in the host once it
/// ended.  \p Executed is set once the contract is instantiated, whether
/// or not its calls succeed.  An abort is a Failure with status Abort and
/// the contract's message.
llvm::Error runCalls(const ContractCode &Code, Transaction &T, llvm::raw_ostream &Diagnostics,
                     const RunOptions &Options, CallOutputHandler OnOutput,
                     llvm::Optional<uint64_t> &Executed);

} // namespace zo::engine

#endif
