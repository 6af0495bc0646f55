//===- Storage.h - The contract's key-value store on disk ------------------===//
//
// A storage file is a JSON object mapping hex-encoded keys to hex-encoded
// values.  A missing file is an empty store.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_ENGINE_STORAGE_H
#define ZO_ENGINE_STORAGE_H

#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"

#include <map>
#include <string>

namespace zo::engine {

/// Keys and values are arbitrary bytes; the ordered map keeps saved files
/// stable from run to run.
using Storage = std::map<std::string, std::string>;

llvm::Expected<Storage> loadStorage(llvm::StringRef Path);

/// Replaces Path through a temporary file in the same directory, so that a
/// failed write leaves the previous contents in place.  A symbolic link is
/// written through, keeping the target's permissions.  The current
/// directory is left as it is.
llvm::Error saveStorage(llvm::StringRef Path, const Storage &Store);

} // namespace zo::engine

#endif
