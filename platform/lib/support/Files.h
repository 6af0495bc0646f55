//===- Files.h - Reading the tools' input files ---------------------------===//
//
// Modules, containers, interface descriptions and storage are files: a
// device or a pipe given in their place would be read without end, so only
// regular files are read whole.  A call's input may come from a pipe, up to
// a limit.  Messages do not name the file: callers put it in front.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_SUPPORT_FILES_H
#define ZO_SUPPORT_FILES_H

#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"
#include "llvm/Support/MemoryBuffer.h"

#include <memory>
#include <string>

namespace zo {

/// The contents of the regular file \p Path.
llvm::Expected<std::unique_ptr<llvm::MemoryBuffer>> readRegularFile(llvm::StringRef Path);

/// The contents of \p Path, of any kind, of at most \p MaxBytes bytes.
llvm::Expected<std::string> readBoundedFile(llvm::StringRef Path, size_t MaxBytes);

} // namespace zo

#endif
