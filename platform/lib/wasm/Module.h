//===- Module.h - Reading modules with wabt --------------------*- C++ -*-===//

#ifndef ZO_WASM_MODULE_H
#define ZO_WASM_MODULE_H

#include "llvm/ADT/ArrayRef.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"

#include "wabt/feature.h"
#include "wabt/ir.h"

#include <memory>
#include <string>

namespace zo::wasm {

/// The first error wabt found in a module, where it found it.
class ModuleError : public llvm::ErrorInfo<ModuleError> {
public:
  static inline char ID = 0;

  ModuleError(std::string Message, size_t Offset) : Message(std::move(Message)), Offset(Offset) {}

  const std::string &text() const { return Message; }
  size_t offset() const { return Offset; }
  void log(llvm::raw_ostream &OS) const override;
  std::error_code convertToErrorCode() const override { return llvm::inconvertibleErrorCode(); }

private:
  std::string Message;
  size_t Offset;
};

/// How deep blocks (block, loop, if, try) may nest in one function.  wabt's
/// IR and binaryen recurse once per level, and a valid module nested a few
/// hundred thousand levels deep overflows their stacks; compilers nest far
/// less than this.
constexpr unsigned MaxBlockDepth = 10000;

/// A module that may be valid but goes beyond a limit of the tools.
class LimitError : public llvm::ErrorInfo<LimitError> {
public:
  static inline char ID = 0;

  LimitError(std::string Message, size_t Offset) : Message(std::move(Message)), Offset(Offset) {}

  void log(llvm::raw_ostream &OS) const override;
  std::error_code convertToErrorCode() const override { return llvm::inconvertibleErrorCode(); }

private:
  std::string Message;
  size_t Offset;
};

/// A LimitError when a function of \p Bytes nests blocks deeper than
/// MaxBlockDepth.  Reads the code without building anything, so that it
/// holds on any input; what it cannot read it leaves to readModule to
/// report.
llvm::Error checkBlockDepth(llvm::ArrayRef<uint8_t> Bytes, const wabt::Features &Features);

enum class Check { Structure, Validate };

/// Reads \p Bytes with wabt, allowing \p Features, and validates it when
/// asked.  Custom sections are not judged: wabt's reading of the name
/// section would make equal names unique and reject a module over one bad
/// entry, and no custom section changes what the code does.  A function
/// nested deeper than MaxBlockDepth is a LimitError, found before wabt
/// builds anything from the module.
llvm::Expected<std::unique_ptr<wabt::Module>> readModule(llvm::StringRef Name,
                                                         llvm::ArrayRef<uint8_t> Bytes,
                                                         const wabt::Features &Features,
                                                         Check Depth);

} // namespace zo::wasm

#endif
