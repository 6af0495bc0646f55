//===- LinkedInterface.h - The contract interface of a link ----------------===//
//
// The interface plug-in records each translation unit's interface in the
// object compiled from it (lib/abi/Units.h).  A link joins the records of
// every object it takes into one custom section of the module; from them
// the launcher writes the contract's description and then removes the
// section, which no deployed module carries.
//
//===----------------------------------------------------------------------===//

#ifndef CLANG8_LINKEDINTERFACE_H
#define CLANG8_LINKEDINTERFACE_H

#include "Units.h"

#include "llvm/ADT/Optional.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"

#include <string>
#include <vector>

namespace clang8 {

/// What the command line tells the interface plug-in: the description's
/// path and the contract's message.
struct InterfaceRequest {
  std::string Path;
  std::string Message;
};

/// The units recorded in the WebAssembly object or module at \p Path, each
/// named \p Name; none when the file is not WebAssembly (a bitcode object,
/// say) or cannot be read, which the link itself reports.
llvm::Expected<std::vector<zo::abi::UnitInterface>> unitsOfObject(llvm::StringRef Path,
                                                                  llvm::StringRef Name);

/// After a link that wrote \p Module: removes the records from it and, when
/// \p Request asks for a description and the module has records, writes
/// the merged description there.  A relocatable output keeps its records,
/// as a later link needs them.
llvm::Error finishModule(llvm::StringRef Module, const llvm::Optional<InterfaceRequest> &Request);

} // namespace clang8

#endif
