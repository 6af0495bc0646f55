//===- Escape.h - Foreign bytes on one line of text -----------------------===//
//
// Names and text from contracts, description files and command lines end
// up in the tools' one-line messages; escaped, they cannot break a line or
// forge another.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_SUPPORT_ESCAPE_H
#define ZO_SUPPORT_ESCAPE_H

#include "llvm/ADT/StringRef.h"
#include "llvm/Support/raw_ostream.h"

#include <string>

namespace zo {

/// Writes \p Text as (part of) one line: control bytes, DEL and the
/// backslash become \xNN.
void writeEscaped(llvm::raw_ostream &OS, llvm::StringRef Text);
std::string escaped(llvm::StringRef Text);

} // namespace zo

#endif
