//===- ContractCode.h - Reading a contract's code --------------------------===//
//
// Kept apart from running it: where the code comes from, a bare module or
// a .ctrx container, is no concern of the interpreter.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_ENGINE_CONTRACTCODE_H
#define ZO_ENGINE_CONTRACTCODE_H

#include "Interface.h"

#include "llvm/ADT/ArrayRef.h"
#include "llvm/ADT/Optional.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"
#include "llvm/Support/MemoryBuffer.h"

#include <memory>
#include <string>

namespace zo::engine {

struct ContractCode {
  /// The name diagnostics give the contract: its file name, escaped so
  /// that it cannot break a message's line.
  std::string Name;
  /// Holds the module: the file itself, or the container's code section.
  std::unique_ptr<llvm::MemoryBuffer> Buffer;
  /// The WebAssembly module within Buffer.
  llvm::ArrayRef<uint8_t> Module;
  /// A container's interface description; none for a bare module.
  llvm::Optional<abi::Interface> Iface;
};

/// What a command line can run: a module or a container, or only a
/// container (an action called with arguments, a description printed).
enum class CodeExpected { ModuleOrContainer, Container };

/// Reads a module, or a container (told apart by its magic) with its
/// interface description.  A file that begins as neither is read as a
/// container when only a container is expected, so that its error is the
/// container's, reported before the command line's other words are judged.
llvm::Expected<ContractCode>
readContractCode(llvm::StringRef Path, CodeExpected Wanted = CodeExpected::ModuleOrContainer);

} // namespace zo::engine

#endif
