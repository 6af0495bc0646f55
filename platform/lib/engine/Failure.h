//===- Failure.h - ctrrun's errors and exit statuses -----------------------===//
//
// Every way a run can fail maps to one exit status, so that scripts can tell
// a broken contract from a broken command line.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_ENGINE_FAILURE_H
#define ZO_ENGINE_FAILURE_H

#include "Backtrace.h"

#include "llvm/ADT/Twine.h"
#include "llvm/Support/Error.h"

namespace zo::engine {

enum class ExitStatus : int {
  Success = 0,
  Usage = 1,        // bad command line
  File = 2,         // a file could not be read or written
  BadStorage = 3,   // the storage file is not a storage file
  BadModule = 4,    // not a valid WebAssembly module
  Unrunnable = 5,   // imports, exports or instantiation don't fit the host
  Trap = 6,         // the contract trapped
  Abort = 7,        // the contract called corvane_abort
  Exhausted = 8,    // the instruction limit was reached
  BadContainer = 9, // a corrupt container, or one whose code ctrrun cannot run
  BadCall = 10,     // an action call that does not fit the interface description
  BadResult = 11,   // a result that does not decode as its declared type
  Busy = 12,        // another run held the store longer than the lock timeout
};

class Failure : public llvm::ErrorInfo<Failure> {
public:
  static inline char ID = 0;

  Failure(ExitStatus Status, std::string Message, Backtrace Trace = {})
      : Status(Status), Message(std::move(Message)), Trace(std::move(Trace)) {}

  ExitStatus status() const { return Status; }
  /// The contract's call stack when it trapped or aborted; empty for every
  /// other failure.
  const Backtrace &trace() const { return Trace; }
  void log(llvm::raw_ostream &OS) const override { OS << Message; }
  std::error_code convertToErrorCode() const override { return llvm::inconvertibleErrorCode(); }

private:
  ExitStatus Status;
  std::string Message;
  Backtrace Trace;
};

inline llvm::Error fail(ExitStatus Status, const llvm::Twine &Message) {
  return llvm::make_error<Failure>(Status, Message.str());
}

} // namespace zo::engine

#endif
