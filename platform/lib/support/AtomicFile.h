//===- AtomicFile.h - Replace a file without ever exposing half of it -----===//
//
// Shared by the installed tools and the interface-description plug-in.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_SUPPORT_ATOMICFILE_H
#define ZO_SUPPORT_ATOMICFILE_H

#include "llvm/ADT/SmallVector.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"

#include <system_error>

namespace zo {

/// The temporary file's name: the prefix, 16 hex digits and the suffix, 27
/// bytes whatever the target's name.  A writer killed outright (kill -9)
/// can leave one behind.
constexpr char TemporaryPrefix[] = ".zotmp-";
constexpr char TemporarySuffix[] = ".tmp";

/// Writes \p Bytes to \p Path through a temporary file in the same
/// directory, which is synced and then renamed over it, and syncs the
/// directory: a reader never sees half a file, after a crash the file is
/// the old one or the whole new one, and a failure leaves the old one as it
/// was, with no temporary file behind (but for a directory that cannot be
/// synced after the rename, which is reported with the new file in place).
/// An existing file is replaced where a symbolic link points, so the link
/// stays, and keeps its permission bits (and, for root, its owner).
llvm::Error writeFileAtomically(llvm::StringRef Path, llvm::StringRef Bytes);

/// Creates a fresh temporary file, named as above, in \p Dir, open for
/// writing in \p FD, for writers that put a file in place themselves.
std::error_code createTemporaryFile(llvm::StringRef Dir, int &FD,
                                    llvm::SmallVectorImpl<char> &Path);

/// Makes a rename in \p Dir durable.  A directory that cannot be opened for
/// reading, or a file system that cannot sync directories, leaves it to the
/// system: the rename itself is atomic either way.
std::error_code syncDirectory(llvm::StringRef Dir);

} // namespace zo

#endif
