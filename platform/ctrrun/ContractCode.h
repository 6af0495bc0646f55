//===- ContractCode.h - Reading a contract's code --------------------------===//
//
// Kept apart from running it: where the code comes from (a bare module
// today, a container later) is no concern of the interpreter.
//
//===----------------------------------------------------------------------===//

#ifndef CTRRUN_CONTRACTCODE_H
#define CTRRUN_CONTRACTCODE_H

#include "llvm/ADT/ArrayRef.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"
#include "llvm/Support/MemoryBuffer.h"

#include <memory>
#include <string>

namespace ctrrun {

struct ContractCode {
  /// The name diagnostics give the contract: its file name.
  std::string Name;
  std::unique_ptr<llvm::MemoryBuffer> Buffer;
  /// The WebAssembly module within Buffer.
  llvm::ArrayRef<uint8_t> Module;
};

llvm::Expected<ContractCode> readContractCode(llvm::StringRef Path);

} // namespace ctrrun

#endif
