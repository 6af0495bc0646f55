//===- Host.h - The Corvane host interface for wabt's interpreter ----------===//
//
// The functions a contract may import from "env" (corvane/host.h and the C
// library functions the host lends), implemented over one transaction.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_ENGINE_HOST_H
#define ZO_ENGINE_HOST_H

#include "Escape.h"
#include "Failure.h"
#include "Storage.h"

#include "llvm/ADT/ArrayRef.h"
#include "llvm/ADT/Optional.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"
#include "llvm/Support/raw_ostream.h"

#include "wabt/interp/interp.h"

#include <string>
#include <vector>

namespace zo::engine {

/// Receives what a call logs, emits and aborts with, as the contract wrote
/// it (not escaped), for hosts that keep it rather than print it.
class CallObserver {
public:
  virtual ~CallObserver();
  virtual void logged(llvm::StringRef Text) = 0;
  virtual void emitted(llvm::StringRef Name, llvm::StringRef Data) = 0;
  virtual void aborted(llvm::StringRef Message) = 0;
};

/// What the calls of one transaction see and leave behind.
struct Transaction {
  std::string Input;
  std::string Caller;
  std::vector<std::string> Authorizations;
  /// The call context: the contract's own account, and the block the call
  /// is in (its height, and its time in seconds since 1970-01-01 UTC).
  std::string Self = "contract";
  uint64_t BlockHeight = 1;
  uint64_t BlockTime = 0;
  /// The store under the transaction's changes; whoever runs the
  /// transaction commits the changes or drops them.
  StorageView Store;
  /// What the current call has written.
  std::string Output;
  /// Told of log lines, events and aborts besides the diagnostics stream.
  CallObserver *Observer = nullptr;
};

/// Why the host ended a call: the call traps, and the tier reports this
/// failure instead of the trap.
struct HostFault {
  ExitStatus Status;
  std::string Message;
};

class Host;

/// One importable host function.  All parameters are i32, as is the result
/// when there is one, unless it is wide (i64).
struct HostFunction {
  const char *Name;
  unsigned NumParams;
  bool HasResult;
  /// Takes pointers into the contract's memory.
  bool UsesMemory;
  llvm::Error (*Impl)(Host &, const wabt::interp::Values &Args, uint64_t &Result);
  bool WideResult = false;

  wabt::interp::FuncType type() const;
};

class Host {
public:
  static constexpr const char *ModuleName = "env";

  /// Log lines and events go to Diagnostics as they happen.  The host's
  /// work counts against MaxInstructions with the contract's own; each
  /// call may log at most MaxLogBytes bytes of text and event data.
  Host(Transaction &T, llvm::raw_ostream &Diagnostics, uint64_t MaxInstructions,
       uint64_t MaxLogBytes);

  static llvm::ArrayRef<HostFunction> functions();
  /// The function the host offers as Module.Name, or null.
  static const HostFunction *find(llvm::StringRef Module, llvm::StringRef Name);

  wabt::interp::HostFunc::Ptr bind(wabt::interp::Store &S, const HostFunction &F);
  /// The contract's exported memory, once it is instantiated.  The instance
  /// keeps it alive.
  void setMemory(wabt::interp::Memory *M) { Memory = M; }

  Transaction &transaction() { return T; }
  llvm::raw_ostream &diagnostics() { return Diagnostics; }

  /// Changes to the transaction, within the host's limits.
  llvm::Error output(llvm::StringRef Data);
  llvm::Error store(llvm::StringRef Key, llvm::StringRef Value);
  llvm::Error erase(llvm::StringRef Key);
  /// Writes a log line or an event, within the call's log budget.
  llvm::Error log(llvm::StringRef Line, uint64_t DataBytes);

  /// Instructions executed, the contract's and the host's, over all calls.
  uint64_t executed() const { return Executed; }
  uint64_t maxInstructions() const { return MaxInstructions; }
  /// Counts one of the contract's instructions; false once the limit is
  /// reached, which leaves the count at the limit.
  bool step() {
    if (Executed == MaxInstructions)
      return false;
    ++Executed;
    return true;
  }
  /// Charges host work as Units instructions.  Past the limit, the call
  /// ends with an Exhausted fault and the count stays at the limit.
  llvm::Error charge(uint64_t Units);
  /// Charges for touching Bytes bytes of memory or data.
  llvm::Error chargeBytes(uint64_t Bytes);

  /// Starts the next call: its log budget is full again.
  void beginCall() { LoggedBytes = 0; }
  /// Ends the call with a fault, returned as the trap that unwinds it.
  llvm::Error fault(ExitStatus Status, const llvm::Twine &Message);
  /// Ends the call with the failure \p E reports, or a plain trap.
  llvm::Error fault(llvm::Error E);
  /// The fault that ended the last call, if the host ended it.
  llvm::Optional<HostFault> takeFault();

  /// Checked views of the contract's memory.  They are valid until the
  /// memory grows, i.e. for the rest of one host call.
  llvm::Expected<llvm::MutableArrayRef<uint8_t>> bytes(uint32_t Ptr, uint32_t Len);
  llvm::Expected<llvm::StringRef> text(uint32_t Ptr, uint32_t Len);
  /// The length of the NUL-terminated string at Ptr.
  llvm::Expected<uint32_t> cstringLength(uint32_t Ptr);
  /// The byte at Ptr.
  llvm::Expected<uint8_t> byteAt(uint64_t Ptr);

private:
  llvm::Error outOfBounds(uint64_t Begin, uint64_t End) const;

  Transaction &T;
  llvm::raw_ostream &Diagnostics;
  wabt::interp::Memory *Memory = nullptr;
  uint64_t MaxInstructions;
  uint64_t Executed = 0;
  uint64_t MaxLogBytes;
  uint64_t LoggedBytes = 0;
  /// Output over all calls of the transaction.
  uint64_t OutputBytes = 0;
  llvm::Optional<HostFault> Fault;
};

} // namespace zo::engine

#endif
