//===- AtomicFile.h - Replace a file without ever exposing half of it -----===//
//
// Shared by the installed tools and the interface-description plug-in.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_SUPPORT_ATOMICFILE_H
#define ZO_SUPPORT_ATOMICFILE_H

#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"

namespace zo {

/// Writes \p Bytes to \p Path through a temporary file in the same
/// directory that is then renamed over it: a reader never sees half a file,
/// and a failure leaves the old one as it was, with no temporary file
/// behind.  An existing file is replaced where a symbolic link points, so
/// the link stays, and keeps its permission bits (and, for root, its
/// owner).
llvm::Error writeFileAtomically(llvm::StringRef Path, llvm::StringRef Bytes);

} // namespace zo

#endif
