//===- WireTest.cpp - The host codec and the SDK's, against one table -----===//
//
// Every vector of tests/wire/vectors.txt is checked against the runner's
// codec here, and against the SDK's codec compiled natively in
// SdkWire.cpp; the end-to-end tests check it inside a contract.
//
//===----------------------------------------------------------------------===//

#include "Codec.h"
#include "Interface.h"
#include "SdkWire.h"
#include "Vectors.h"

#include "llvm/ADT/StringExtras.h"

#include <gtest/gtest.h>

namespace {

using namespace zo::abi;
using zotest::WireVector;

std::vector<WireVector> vectors() { return zotest::readWireVectors(ZO_WIRE_VECTORS); }

/// An interface that knows the vectors' struct.
Interface pointInterface() {
  Interface I;
  zo::abi::StructType *Point = *I.addStruct("Point");
  Point->Fields = {{"x", *I.parseType("int32")}, {"label", *I.parseType("string")}};
  return I;
}

TEST(WireVectors, HostCodec) {
  Interface I = pointInterface();
  for (const WireVector &V : vectors()) {
    SCOPED_TRACE("vectors.txt:" + std::to_string(V.Line) + ": " + V.Type);
    auto T = I.parseType(V.Type);
    ASSERT_TRUE(bool(T)) << llvm::toString(T.takeError());
    auto Decoded = decodeValue(**T, V.Bytes);
    if (V.malformed()) {
      EXPECT_FALSE(bool(Decoded)) << "decoded " << (Decoded ? *Decoded : "");
      llvm::consumeError(Decoded.takeError());
      continue;
    }
    ASSERT_TRUE(bool(Decoded)) << llvm::toString(Decoded.takeError());
    EXPECT_EQ(*Decoded, V.Json);
    auto Encoded = encodeValue(**T, V.Json);
    ASSERT_TRUE(bool(Encoded)) << llvm::toString(Encoded.takeError());
    EXPECT_EQ(llvm::toHex(*Encoded, true), llvm::toHex(V.Bytes, true));
  }
}

TEST(WireVectors, SdkCodecCompiledNatively) {
  size_t Known = 0;
  for (const WireVector &V : vectors()) {
    SCOPED_TRACE("vectors.txt:" + std::to_string(V.Line) + ": " + V.Type);
    zotest::SdkRoundTrip R = zotest::sdkRoundTrip(V.Type, V.Bytes);
    ASSERT_TRUE(R.KnownType) << "add the type to WireTypes.hpp";
    ++Known;
    EXPECT_EQ(R.Decoded, !V.malformed());
    if (R.Decoded) {
      EXPECT_EQ(llvm::toHex(R.Encoded, true), llvm::toHex(V.Bytes, true));
    }
  }
  EXPECT_GT(Known, 30u);
}

TEST(WireVectors, HostOrdersMapKeysAsTheSdkDoes) {
  // The host sorts what a caller writes in any order; the SDK then reads
  // the same bytes a contract would have written.
  Interface I = pointInterface();
  auto Encoded = encodeValue(**I.parseType("map<int32,bool>"), "[[2,false],[-1,true]]");
  ASSERT_TRUE(bool(Encoded));
  EXPECT_EQ(llvm::toHex(*Encoded, true), "02ffffffff010200000000");
  EXPECT_TRUE(zotest::sdkRoundTrip("map<int32,bool>", *Encoded).Decoded);
  auto Repeated = encodeValue(**I.parseType("map<string,bool>"), R"({"a": true, "a": false})");
  EXPECT_FALSE(bool(Repeated));
  llvm::consumeError(Repeated.takeError());
}

} // namespace
