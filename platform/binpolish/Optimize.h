//===- Optimize.h - Size optimization with binaryen -------------*- C++ -*-===//

#ifndef BINPOLISH_OPTIMIZE_H
#define BINPOLISH_OPTIMIZE_H

#include "llvm/Support/Error.h"

#include <binaryen-c.h>
#include <vector>

namespace binpolish {

/// Optimizes \p Module for size, allowing binaryen only \p Features, and
/// returns the smallest encoding found; never one larger than \p Module.
/// \p Module must have been validated already.
llvm::Expected<std::vector<char>> optimizeModule(std::vector<char> Module,
                                                 BinaryenFeatures Features);

} // namespace binpolish

#endif
