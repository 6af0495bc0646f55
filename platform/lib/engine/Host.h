//===- Host.h - The Corvane host interface for wabt's interpreter ----------===//
//
// The functions a contract may import from "env" (corvane/host.h and the C
// library functions the host lends), implemented over one transaction.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_ENGINE_HOST_H
#define ZO_ENGINE_HOST_H

#include "Escape.h"
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

/// What the calls of one transaction see and leave behind.
struct Transaction {
  std::string Input;
  std::string Caller;
  std::vector<std::string> Authorizations;
  /// The working copy; whoever runs the transaction commits it or drops it.
  Storage Store;
  std::string Output;
  /// Set by corvane_abort; the call then ends in a trap.
  llvm::Optional<std::string> AbortMessage;
};

class Host;

/// One importable host function.  All parameters are i32, as is the result
/// when there is one.
struct HostFunction {
  const char *Name;
  unsigned NumParams;
  bool HasResult;
  /// Takes pointers into the contract's memory.
  bool UsesMemory;
  llvm::Error (*Impl)(Host &, const wabt::interp::Values &Args, uint32_t &Result);

  wabt::interp::FuncType type() const;
};

class Host {
public:
  static constexpr const char *ModuleName = "env";

  /// Log lines and events go to Diagnostics as they happen.
  Host(Transaction &T, llvm::raw_ostream &Diagnostics);

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
  llvm::Error store(std::string Key, llvm::StringRef Value);
  void erase(llvm::StringRef Key);

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
  /// Keys and values in T.Store.
  uint64_t StoredBytes = 0;
};

} // namespace zo::engine

#endif
