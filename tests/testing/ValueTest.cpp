//===- ValueTest.cpp - The test library's values, in process --------------===//

#include "Thrown.h"

#include <corvane/testing.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using corvane::testing::Error;
using corvane::testing::Value;
using ::testing::HasSubstr;
using zotest::thrown;

// Text that reads back as the same value and writes back as the same text.
TEST(Value, JsonTextRoundTrips) {
  for (const char *Text :
       {"null", "true", "false", "0", "-1", "9223372036854775807", "-9223372036854775808",
        "18446744073709551615", R"("")", R"("a\"b\\c\n\u0001é")", "[]", "[1,[2,[]],{}]",
        R"({"a":{"b":[true,null]},"z":"x"})"}) {
    SCOPED_TRACE(Text);
    Value V = Value::parse(Text);
    EXPECT_EQ(V.json(), Text);
    EXPECT_EQ(Value::parse(V.json()), V);
  }
  // Members are written in key order, blanks dropped.
  EXPECT_EQ(Value::parse(R"( { "b" : 1 , "a" : [ ] } )").json(), R"({"a":[],"b":1})");
}

TEST(Value, ParseRefusesWhatIsNotAnIntegerValuedJsonText) {
  const struct {
    const char *Text, *Message;
  } Cases[] = {
      {"1.5", "the number 1.5 is not an integer"},
      {"1e3", "the number 1e3 is not an integer"},
      {"18446744073709551616", "out of the 64-bit range"},
      {"-9223372036854775809", "out of the 64-bit range"},
      {"01", "not valid JSON"},
      {R"({"a":1,"a":2})", "not valid JSON"},
      {"[1,]", "not valid JSON"},
      {"", "not valid JSON"},
      {R"("\ud800")", "not valid JSON"},
  };
  for (const auto &Case : Cases)
    EXPECT_THAT(thrown([&] { Value::parse(Case.Text); }), HasSubstr(Case.Message)) << Case.Text;
}

TEST(Value, IntegersConvertWithinTheirRangeOnly) {
  EXPECT_EQ(Value(std::numeric_limits<int64_t>::min()).as<int64_t>(),
            std::numeric_limits<int64_t>::min());
  EXPECT_EQ(Value(std::numeric_limits<uint64_t>::max()).as<uint64_t>(),
            std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(Value(-128).as<int8_t>(), -128);
  EXPECT_EQ(Value(255).as<uint8_t>(), 255);
  EXPECT_EQ(Value(0).json(), "0");
  EXPECT_EQ(Value(int8_t(-1)), Value(-1LL));
  EXPECT_THROW(Value(-129).as<int8_t>(), Error);
  EXPECT_THROW(Value(128).as<int8_t>(), Error);
  EXPECT_THROW(Value(256).as<uint8_t>(), Error);
  EXPECT_THROW(Value(-1).as<uint64_t>(), Error);
  EXPECT_THROW(Value(std::numeric_limits<uint64_t>::max()).as<int64_t>(), Error);
  EXPECT_EQ(thrown([] { Value(300).as<uint8_t>(); }), "300 is out of range for uint8");
}

// Standard containers convert as ctrrun writes them: maps with string keys
// as objects, other maps as [key, value] pairs.
TEST(Value, StandardTypesConvertBothWays) {
  std::map<std::string, uint64_t> ByName{{"b", 2}, {"a", 1}};
  std::map<int32_t, bool> ByNumber{{-1, true}, {7, false}};
  std::vector<std::optional<std::string>> Optionals{"x", std::nullopt};

  EXPECT_EQ(Value(ByName).json(), R"({"a":1,"b":2})");
  EXPECT_EQ(Value(ByNumber).json(), "[[-1,true],[7,false]]");
  EXPECT_EQ(Value(Optionals).json(), R"(["x",null])");
  EXPECT_EQ(Value(std::vector<uint8_t>{1, 2}).json(), "[1,2]");

  EXPECT_EQ(Value(ByName).as<decltype(ByName)>(), ByName);
  EXPECT_EQ(Value(ByNumber).as<decltype(ByNumber)>(), ByNumber);
  EXPECT_EQ(Value(Optionals).as<decltype(Optionals)>(), Optionals);
  EXPECT_THROW(Value::parse("[[1]]").as<decltype(ByNumber)>(), Error);
  EXPECT_THROW(Value::parse(R"({"a":"1"})").as<decltype(ByName)>(), Error);
}

TEST(Value, AccessorsRefuseOtherKinds) {
  Value V = Value::parse(R"({"list":[1,"two"],"flag":true})");
  EXPECT_EQ(V["list"][1].as_string(), "two");
  EXPECT_TRUE(V["flag"].as_bool());
  EXPECT_EQ(V.size(), 2u);
  EXPECT_TRUE(V.contains("list"));
  EXPECT_FALSE(V["list"].contains("list"));
  EXPECT_THROW(V["missing"], Error);
  EXPECT_THROW(V["list"][2], Error);
  EXPECT_THROW(V["list"][0].as_string(), Error);
  EXPECT_THROW(V["flag"].as<int>(), Error);
  EXPECT_THROW(V.as_array(), Error);
}

} // namespace
