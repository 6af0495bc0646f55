//===- JsonText.h - JSON read strictly ------------------------------------===//
//
// LLVM's JSON parser recurses once per level, keeps the last of repeated
// member names, and accepts numbers and escapes that JSON does not (leading
// zeros, "1.", unpaired surrogates).  Arguments and storage files are read
// through these checks instead.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_SUPPORT_JSONTEXT_H
#define ZO_SUPPORT_JSONTEXT_H

#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"
#include "llvm/Support/JSON.h"

#include <map>
#include <string>

namespace zo {

/// Deeper text is refused before LLVM's parser sees it, which recurses
/// once per level.
constexpr unsigned MaxJsonDepth = 256;

/// The text of each number of a parsed value, keyed by its address.
using NumberTexts = std::map<const llvm::json::Value *, std::string>;

/// Deepest nesting of arrays and objects in \p Text outside strings,
/// counted up to just past \p Limit.
unsigned jsonDepth(llvm::StringRef Text, unsigned Limit);

/// Checks \p Text, from which LLVM's parser made \p V, for what that parser
/// lets through: a json::ParseError for text that is not JSON, another
/// error for a repeated member name.  Records the numbers' texts in
/// \p Numbers if given.
llvm::Error checkJsonText(llvm::StringRef Text, const llvm::json::Value &V,
                          NumberTexts *Numbers = nullptr);

} // namespace zo

#endif
