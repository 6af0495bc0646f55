//===- Files.h - Reading ctrrun's input files -----------------------------===//
//
// Contract code and storage are files: a device or a pipe given in their
// place would be read without end.  The call input may come from a pipe,
// up to a limit.
//
//===----------------------------------------------------------------------===//

#ifndef CTRRUN_FILES_H
#define CTRRUN_FILES_H

#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"
#include "llvm/Support/MemoryBuffer.h"

#include <memory>
#include <string>

namespace ctrrun {

/// The most call input ctrrun reads, as much as a call may write.
constexpr size_t MaxInputBytes = 64 << 20;

/// The contents of the regular file \p Path.
llvm::Expected<std::unique_ptr<llvm::MemoryBuffer>> readRegularFile(llvm::StringRef Path);

/// The contents of \p Path, of any kind, of at most MaxInputBytes.
llvm::Expected<std::string> readInputFile(llvm::StringRef Path);

} // namespace ctrrun

#endif
