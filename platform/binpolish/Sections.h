//===- Sections.h - Dropping custom sections --------------------*- C++ -*-===//

#ifndef BINPOLISH_SECTIONS_H
#define BINPOLISH_SECTIONS_H

#include "llvm/ADT/ArrayRef.h"
#include "llvm/Support/Error.h"

#include <vector>

namespace binpolish {

/// Returns the module without its custom sections. Names, producers, DWARF,
/// source map URLs and target features all live in custom sections, and a
/// deployed contract needs none of them. Dropping them before binaryen reads
/// the module also spares it from updating debug info it would not write.
llvm::Expected<std::vector<char>>
stripCustomSections(llvm::ArrayRef<uint8_t> Module);

} // namespace binpolish

#endif
