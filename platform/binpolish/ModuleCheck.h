//===- ModuleCheck.h - Validation before binaryen sees a module -*- C++ -*-===//
//
// Binaryen ends the process on a malformed module, so every module is read
// and validated with wabt first, which reports errors instead.
//
//===----------------------------------------------------------------------===//

#ifndef BINPOLISH_MODULECHECK_H
#define BINPOLISH_MODULECHECK_H

#include "llvm/ADT/ArrayRef.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"

#include <binaryen-c.h>

namespace binpolish {

/// Validates \p Bytes as a WebAssembly module and returns the smallest set
/// of features it needs, as binaryen feature flags. Binaryen may use every
/// feature it is allowed, so allowing only these keeps the polished module
/// within what the input already asked of the runtime.
llvm::Expected<BinaryenFeatures> checkModule(llvm::StringRef Name, llvm::ArrayRef<uint8_t> Bytes);

} // namespace binpolish

#endif
