//===- Leb128.h - Unsigned LEB128 of at most 32 bits -----------*- C++ -*-===//
//
// Both WebAssembly modules and the contract encoding count with varuint32.
// They differ in one rule: a module may pad a number with 0x80 bytes up to
// the 5-byte limit (wabt and engines accept that), while the contract
// encoding has exactly one form per value, its shortest, so equal values
// are equal bytes.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_SUPPORT_LEB128_H
#define ZO_SUPPORT_LEB128_H

#include "llvm/ADT/StringRef.h"

#include <cstdint>
#include <string>

namespace zo {

enum class LebForm { AnyWithinFiveBytes, ShortestOnly };

enum class LebError { None, Truncated, TooLarge, NotShortest };

/// Reads a varuint32 from the front of \p Bytes and drops it from there.
/// On an error \p Bytes is left where the number began.
LebError readVaruint32(llvm::StringRef &Bytes, uint32_t &Value, LebForm Form);

/// The error as messages name it: "truncated varuint32", ...
const char *describe(LebError E);

/// Appends the shortest form of \p Value.
void putVaruint32(std::string &Out, uint32_t Value);

} // namespace zo

#endif
