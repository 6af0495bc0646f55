//===- SdkWire.cpp - The SDK's codec, compiled for the host ---------------===//

#include "SdkWire.h"
#include "WireTypes.hpp"

#include <corvane/actions.hpp>

namespace zotest {

template <class T> static SdkRoundTrip roundTrip(const std::string &Bytes) {
  SdkRoundTrip R;
  R.KnownType = true;
  T Value{};
  R.Decoded = corvane::wire::decode_all(Bytes, Value);
  if (R.Decoded)
    corvane::wire::encode(R.Encoded, Value);
  return R;
}

SdkRoundTrip sdkRoundTrip(const std::string &Type, const std::string &Bytes) {
#define ZO_ROUND_TRIP(id, text)                                                                    \
  if (Type == text)                                                                                \
    return roundTrip<wire_types::id>(Bytes);
  ZO_WIRE_TYPES(ZO_ROUND_TRIP)
#undef ZO_ROUND_TRIP
  return SdkRoundTrip();
}

} // namespace zotest
