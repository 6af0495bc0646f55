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

enum class Check { Structure, Validate };

/// Reads \p Bytes with wabt, allowing \p Features, and validates it when
/// asked.  Custom sections are not judged: wabt's reading of the name
/// section would make equal names unique and reject a module over one bad
/// entry, and no custom section changes what the code does.
llvm::Expected<std::unique_ptr<wabt::Module>> readModule(llvm::StringRef Name,
                                                         llvm::ArrayRef<uint8_t> Bytes,
                                                         const wabt::Features &Features,
                                                         Check Depth);

} // namespace zo::wasm

#endif
