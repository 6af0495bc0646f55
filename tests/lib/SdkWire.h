//===- SdkWire.h - The SDK's codec, compiled for the host -------*- C++ -*-===//
//
// Kept in its own translation unit: the SDK is compiled as contracts are,
// without LLVM's headers around it.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_TESTS_LIB_SDKWIRE_H
#define ZO_TESTS_LIB_SDKWIRE_H

#include <string>

namespace zotest {

struct SdkRoundTrip {
  bool KnownType = false;
  bool Decoded = false;
  /// The decoded value encoded again.
  std::string Encoded;
};

/// Decodes \p Bytes as the SDK type that \p Type names, as a whole, and
/// encodes the value again.
SdkRoundTrip sdkRoundTrip(const std::string &Type, const std::string &Bytes);

} // namespace zotest

#endif
