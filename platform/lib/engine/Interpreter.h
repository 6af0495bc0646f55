//===- Interpreter.h - A contract instantiated in wabt's interpreter -------===//

#ifndef ZO_ENGINE_INTERPRETER_H
#define ZO_ENGINE_INTERPRETER_H

#include "Backtrace.h"
#include "ContractCode.h"
#include "ContractInstance.h"
#include "Failure.h"
#include "Host.h"

#include "llvm/Support/Error.h"

#include "wabt/interp/interp.h"

#include <memory>

namespace zo::engine {

/// The reference tier: wabt's interpreter, stepped one instruction at a
/// time to count them.
class Interpreter final : public ContractInstance {
public:
  /// Validates the module, links its imports to H and instantiates it, all
  /// but the start function.
  static llvm::Expected<std::unique_ptr<Interpreter>> create(const ContractCode &Code, Host &H);

  /// Runs the module's start function, if it has one, counted like a call.
  llvm::Error start() override;

  /// Calls the export `apply` once.  Every call after the first runs in a
  /// fresh instance, start function included: no memory, global or table
  /// carries over from one call to the next.
  llvm::Error callApply() override;

  /// Instructions executed so far, the host's work included, over all
  /// calls.
  uint64_t instructions() const override { return H.executed(); }

private:
  explicit Interpreter(Host &H) : H(H) {}

  llvm::Error instantiate();
  llvm::Error run(const wabt::interp::DefinedFunc &F, llvm::StringRef What);
  llvm::Error exhausted(llvm::StringRef What) const;
  llvm::Error stackOverflow(wabt::interp::Thread &T);
  /// The contract's call stack in T, named and placed.
  Backtrace backtrace(wabt::interp::Thread &T);
  llvm::Error failWithTrace(ExitStatus Status, const llvm::Twine &Message, wabt::interp::Thread &T);

  // Declared first: everything below holds references into it.
  wabt::interp::Store S;
  Host &H;
  std::string Name;
  /// The module as read, for naming and placing a backtrace's frames.
  std::vector<uint8_t> Bytes;
  wabt::interp::Module::Ptr Mod;
  std::vector<wabt::interp::HostFunc::Ptr> Bound;
  wabt::interp::RefVec Imports;
  llvm::Optional<wabt::interp::Index> StartIndex;
  wabt::interp::Instance::Ptr Inst;
  wabt::interp::DefinedFunc::Ptr Apply;
  wabt::interp::DefinedFunc::Ptr Start;
  /// The stack pointer (the first global, when it is a mutable i32), and
  /// the bottom and size of the stack it points into.
  wabt::interp::Global::Ptr StackPointer;
  int64_t StackLow = 0;
  uint32_t StackSize = 0;
  unsigned Calls = 0;
};

} // namespace zo::engine

#endif
