//===- JsonTest.cpp - JSON values, parser and writers ---------------------===//

#include "jsoncpp/json.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

json::Value parse_ok(std::string_view text) {
  json::Value v;
  json::ParseError error;
  EXPECT_TRUE(json::parse(text, v, &error))
      << text << ": " << error.line << ":" << error.column << ": " << error.message;
  return v;
}

std::uint64_t bits(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

const char document[] = R"({
  "contract": "token",
  "version": 3,
  "owner": {"name": "Zo\u00eb \u00c1vila", "since": 1700000000, "key": "ed25519:\ud83d\udd11"},
  "supply": 18446744073709551615,
  "floor": -9223372036854775808,
  "rate": 0.0125,
  "avogadro": 6.02214076e23,
  "tags": ["fungible", "capped", ""],
  "flags": {"paused": false, "burnable": true, "memo": null},
  "history": [
    {"op": "mint", "amount": 1000000, "to": "a\"b\\c\/d"},
    {"op": "burn", "amount": 2.5, "note": "line1\nline2\ttab"}
  ],
  "empty": {"list": [], "map": {}}
})";

TEST(Json, RealisticDocumentRoundTrips) {
  json::Value doc = parse_ok(document);
  const json::Value &d = doc;
  EXPECT_EQ(d["owner"]["name"].as_string(), "Zo\xc3\xab \xc3\x81vila");
  EXPECT_EQ(d["owner"]["key"].as_string(), "ed25519:\xf0\x9f\x94\x91");
  EXPECT_EQ(d["supply"].as_uint64(), UINT64_MAX);
  EXPECT_EQ(d["floor"].as_int64(), INT64_MIN);
  EXPECT_EQ(d["history"][1]["amount"].as_double(), 2.5);
  EXPECT_EQ(d["history"][0]["to"].as_string(), "a\"b\\c/d");
  EXPECT_EQ(d["tags"].size(), 3u);
  EXPECT_TRUE(d["flags"].contains("memo"));
  EXPECT_TRUE(d["flags"]["memo"].is_null());

  // Keys come out sorted, whatever their order in the text.
  EXPECT_EQ(json::write(doc),
            R"({"avogadro":6.02214076e+23,"contract":"token","empty":{"list":[],"map":{}},)"
            R"("flags":{"burnable":true,"memo":null,"paused":false},"floor":-9223372036854775808,)"
            R"("history":[{"amount":1000000,"op":"mint","to":"a\"b\\c/d"},)"
            R"({"amount":2.5,"note":"line1\nline2\ttab","op":"burn"}],)"
            R"("owner":{"key":"ed25519:)"
            "\xf0\x9f\x94\x91"
            R"(","name":"Zo)"
            "\xc3\xab \xc3\x81"
            R"(vila",)"
            R"("since":1700000000},"rate":0.0125,"supply":18446744073709551615,)"
            R"("tags":["fungible","capped",""],"version":3})");
  EXPECT_EQ(parse_ok(json::write(doc)), doc);
  EXPECT_EQ(parse_ok(json::write_styled(doc)), doc);
  EXPECT_EQ(parse_ok(json::write_styled(doc, 0)), doc);
}

TEST(Json, StyledLayout) {
  json::Value v = parse_ok(R"({"b":{},"a":[1,[2,{"x":null}]],"c":[]})");
  EXPECT_EQ(json::write_styled(v), "{\n"
                                   "  \"a\": [\n"
                                   "    1,\n"
                                   "    [\n"
                                   "      2,\n"
                                   "      {\n"
                                   "        \"x\": null\n"
                                   "      }\n"
                                   "    ]\n"
                                   "  ],\n"
                                   "  \"b\": {},\n"
                                   "  \"c\": []\n"
                                   "}");
  EXPECT_EQ(json::write_styled(json::Value(json::Array{1, 2}), 4), "[\n    1,\n    2\n]");
  EXPECT_EQ(json::write_styled(json::Value("s")), "\"s\"");
}

TEST(Json, NumbersKeepTheirKindAndValue) {
  struct {
    const char *text;
    json::Type type;
    const char *written; // how write() gives it back
  } cases[] = {
      {"0", json::Type::Int, "0"},
      {"-0", json::Type::Int, "0"},
      {"9223372036854775807", json::Type::Int, "9223372036854775807"},
      {"-9223372036854775808", json::Type::Int, "-9223372036854775808"},
      {"9223372036854775808", json::Type::UInt, "9223372036854775808"},
      {"18446744073709551615", json::Type::UInt, "18446744073709551615"},
      {"18446744073709551616", json::Type::Double, "1.8446744073709552e+19"},
      {"-9223372036854775809", json::Type::Double, "-9.223372036854776e+18"},
      {"1.0", json::Type::Double, "1.0"},
      {"1E2", json::Type::Double, "100.0"},
      {"-0.0", json::Type::Double, "-0.0"},
      {"0.1", json::Type::Double, "0.1"},
      {"1e-7", json::Type::Double, "1e-07"},
      {"0.30000000000000004", json::Type::Double, "0.30000000000000004"},
      {"5e-324", json::Type::Double, "4.94065645841247e-324"},
      {"1.7976931348623157e308", json::Type::Double, "1.7976931348623157e+308"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    json::Value v = parse_ok(c.text);
    EXPECT_EQ(v.type(), c.type);
    EXPECT_EQ(json::write(v), c.written);
    json::Value back = parse_ok(c.written);
    EXPECT_EQ(back.type(), c.type);
    if (c.type == json::Type::Double)
      EXPECT_EQ(bits(*back.as_double()), bits(*v.as_double()));
    else
      EXPECT_EQ(back, v);
  }

  // C++ integers take the same kinds, so equal numbers compare equal.
  EXPECT_EQ(json::Value(std::uint64_t(5)), parse_ok("5"));
  EXPECT_EQ(json::Value(UINT64_MAX), parse_ok("18446744073709551615"));
  EXPECT_EQ(json::Value(INT64_MIN), parse_ok("-9223372036854775808"));
  EXPECT_NE(json::Value(1), json::Value(1.0));

  // Exact conversions only.
  EXPECT_EQ(json::Value(-1).as_uint64(), std::nullopt);
  EXPECT_EQ(json::Value(UINT64_MAX).as_int64(), std::nullopt);
  EXPECT_EQ(json::Value(3.0).as_int64(), 3);
  EXPECT_EQ(json::Value(3.5).as_int64(), std::nullopt);
  EXPECT_EQ(json::Value(-9223372036854775808.0).as_int64(), INT64_MIN);
  EXPECT_EQ(json::Value(9223372036854775808.0).as_int64(), std::nullopt);
  EXPECT_EQ(json::Value(1e19).as_uint64(), 10000000000000000000ULL);
  EXPECT_EQ(json::Value(18446744073709551616.0).as_uint64(), std::nullopt);
  EXPECT_EQ(json::Value("1").as_int64(), std::nullopt);

  // JSON has no NaN or infinity.
  json::Array not_finite{std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity()};
  EXPECT_EQ(json::write(json::Value(not_finite)), "[null,null,null]");
}

TEST(Json, StringEscapes) {
  json::Value v =
      parse_ok(R"("\u00e9\u20ac\ud83d\ude00\uD834\uDD1E\n\t\b\f\r\\\/\"\u0000x\u001F")");
  static const char decoded[] = "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xf0\x9d\x84\x9e"
                                "\n\t\b\f\r\\/\"\0x\x1f";
  EXPECT_EQ(v.as_string(), std::string_view(decoded, sizeof decoded - 1));
  // Raw UTF-8 of every length passes through.
  EXPECT_EQ(parse_ok("\"a\xc3\xa9\xe2\x82\xac\xf0\x9d\x84\x9e\"").as_string(),
            "a\xc3\xa9\xe2\x82\xac\xf0\x9d\x84\x9e");

  static const char raw_bytes[] = "q\"b\\s\n\r\t\b\f\x01\x1f\x7f/\0z\xc3\xa9";
  std::string raw(raw_bytes, sizeof raw_bytes - 1);
  EXPECT_EQ(json::write(json::Value(raw)),
            "\"q\\\"b\\\\s\\n\\r\\t\\b\\f\\u0001\\u001f\x7f/\\u0000z\xc3\xa9\"");
  EXPECT_EQ(parse_ok(json::write(json::Value(raw))).as_string(), raw);

  // Bytes that are not UTF-8 become U+FFFD, so the output still parses.
  EXPECT_EQ(json::write(json::Value("a\xff"
                                    "b\xe2\x82")),
            "\"a\xef\xbf\xbd"
            "b\xef\xbf\xbd\xef\xbf\xbd\"");
  EXPECT_EQ(json::write(json::Value("\xed\xa0\x80")), "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"");
}

TEST(Json, ErrorsNameThePosition) {
  struct {
    const char *text;
    std::size_t offset, line, column;
    const char *message; // part of it
  } cases[] = {
      {"", 0, 1, 1, "unexpected end of input"},
      {"   ", 3, 1, 4, "unexpected end of input"},
      {"[1,]", 3, 1, 4, "expected a value"},
      {"[1,\r\n2,]", 7, 2, 3, "expected a value"},
      {"[1 2]", 3, 1, 4, "expected ',' or ']'"},
      {"[1", 2, 1, 3, "unexpected end of input, expected ',' or ']'"},
      {"{\"a\":1,}", 7, 1, 8, "expected a string as object key"},
      {"{\"a\" 1}", 5, 1, 6, "expected ':'"},
      {"{\n  \"a\": 1\n  \"b\": 2\n}", 13, 3, 3, "expected ',' or '}'"},
      {"{\"a\":1,\"a\":2}", 7, 1, 8, "duplicate object key"},
      {"{1:2}", 1, 1, 2, "expected a string as object key"},
      {"[01]", 1, 1, 2, "leading zero"},
      {"[-]", 2, 1, 3, "expected a digit"},
      {"[1.]", 3, 1, 4, "digit after '.'"},
      {"[1e+]", 4, 1, 5, "exponent"},
      {"[1e999]", 1, 1, 2, "out of range"},
      {"[.5]", 1, 1, 2, "unexpected character"},
      {"\"abc", 0, 1, 1, "unterminated string"},
      {"\"a\tb\"", 2, 1, 3, "control character"},
      {"[\"\\x\"]", 2, 1, 3, "invalid escape"},
      {"\"\\u12g4\"", 5, 1, 6, "hex digits"},
      {"\"\\ud800\"", 1, 1, 2, "unpaired high surrogate"},
      {"\"\\ud800\\u0041\"", 1, 1, 2, "unpaired high surrogate"},
      {"\"\\udc00\\ud800\"", 1, 1, 2, "unpaired low surrogate"},
      {"\"\xc3\x28\"", 1, 1, 2, "invalid UTF-8"},
      {"\"\xc0\xaf\"", 1, 1, 2, "invalid UTF-8"},         // overlong '/'
      {"\"\xed\xa0\x80\"", 1, 1, 2, "invalid UTF-8"},     // encoded surrogate
      {"\"\xf4\x90\x80\x80\"", 1, 1, 2, "invalid UTF-8"}, // past U+10FFFF
      {"\"ok\xe2\x82", 3, 1, 4, "invalid UTF-8"},         // cut short
      {"tru", 0, 1, 1, "invalid literal"},
      {"\n\n  [nul]", 5, 3, 4, "invalid literal"},
      {"[NaN]", 1, 1, 2, "unexpected character"},
      {"'a'", 0, 1, 1, "unexpected character"},
      {"// note\n1", 0, 1, 1, "unexpected character"},
      {"\xef\xbb\xbf{}", 0, 1, 1, "unexpected character"},
      {"[1] x", 4, 1, 5, "unexpected text after"},
      {"{\"a\":1}}", 7, 1, 8, "unexpected text after"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    json::Value out("untouched");
    json::ParseError error;
    EXPECT_FALSE(json::parse(c.text, out, &error));
    EXPECT_EQ(error.offset, c.offset);
    EXPECT_EQ(error.line, c.line);
    EXPECT_EQ(error.column, c.column);
    EXPECT_NE(error.message.find(c.message), std::string::npos) << error.message;
    EXPECT_EQ(out, json::Value("untouched"));
    EXPECT_FALSE(json::parse(c.text, out)); // no error record wanted
  }
}

TEST(Json, NestingDepthIsLimited) {
  auto nested = [](std::size_t depth, const char *open, const char *close) {
    std::string s;
    for (std::size_t i = 0; i < depth; ++i)
      s += open;
    s += "0";
    for (std::size_t i = 0; i < depth; ++i)
      s += close;
    return s;
  };
  json::Value v = parse_ok(nested(json::kMaxDepth, "[", "]"));
  EXPECT_EQ(json::write(v), nested(json::kMaxDepth, "[", "]"));
  parse_ok(nested(json::kMaxDepth, "{\"k\":", "}"));

  struct {
    std::string text;
    std::size_t offset;
  } too_deep[] = {
      {nested(json::kMaxDepth + 1, "[", "]"), json::kMaxDepth},
      {nested(json::kMaxDepth + 1, "{\"k\":", "}"), 5 * json::kMaxDepth},
      {std::string(1000000, '['), json::kMaxDepth},
  };
  for (const auto &c : too_deep) {
    json::ParseError error;
    EXPECT_FALSE(json::parse(c.text, v, &error));
    EXPECT_EQ(error.offset, c.offset);
    EXPECT_NE(error.message.find("nested deeper than 512"), std::string::npos) << error.message;
  }
}

// Copying, comparing, writing and destroying work on trees far deeper than
// any stack would hold if they recursed.
TEST(Json, DeepTreesNeedNoStack) {
  constexpr std::size_t depth = 1000000;
  json::Value root;
  json::Value *leaf = &root;
  for (std::size_t i = 0; i < depth; ++i)
    leaf = &(*leaf)[0];
  *leaf = "bottom";

  json::Value copy = root;
  EXPECT_EQ(copy, root);
  std::string text = json::write(copy);
  EXPECT_EQ(text, std::string(depth, '[') + "\"bottom\"" + std::string(depth, ']'));

  leaf = &copy;
  for (std::size_t i = 0; i < depth; ++i)
    leaf = &(*leaf)[0];
  *leaf = "changed";
  EXPECT_NE(copy, root);
  copy = std::move(root);
  EXPECT_EQ(json::write(copy), text);
}

TEST(Json, BuildingAndReading) {
  json::Value v;
  v["name"] = "token";
  v["list"].push_back(1);
  v["list"][3] = true;
  v["owner"] = json::Object{{"id", 7}, {"keys", json::Array{"k1", 2.5, nullptr}}};
  EXPECT_EQ(
      json::write(v),
      R"({"list":[1,null,null,true],"name":"token","owner":{"id":7,"keys":["k1",2.5,null]}})");

  const json::Value &c = v;
  EXPECT_TRUE(c["missing"][7]["x"].is_null());
  EXPECT_FALSE(c.contains("missing")); // reading adds nothing
  EXPECT_EQ(c.find("missing"), nullptr);
  EXPECT_EQ(c["list"][9].type(), json::Type::Null);
  EXPECT_EQ(c["list"].size(), 4u);
  EXPECT_EQ(c["name"].size(), 0u);
  EXPECT_EQ(c["list"][0].as_int64(), 1);
  EXPECT_EQ(c["list"][3].as_bool(), true);
  EXPECT_EQ(c["list"][3].as_int64(), std::nullopt);
  EXPECT_EQ(c["name"].as_bool(), std::nullopt);
  EXPECT_EQ(c["list"].as_object(), nullptr);
  EXPECT_EQ(c["owner"]["keys"][0].as_string(), "k1");

  // Equality is deep and ignores member order in the text.
  EXPECT_EQ(parse_ok(R"({"a":1,"b":[true]})"), parse_ok(R"({"b":[true],"a":1})"));
  const char *different[][2] = {
      {R"({"a":1})", R"({"b":1})"},
      {"[1,2]", "[1,2,3]"},
      {"[1]", "[1.0]"},
      {R"(["a"])", R"(["b"])"},
      {"{}", "[]"},
      {R"({"a":{"b":null}})", R"({"a":{"b":false}})"},
  };
  for (const auto &pair : different)
    EXPECT_NE(parse_ok(pair[0]), parse_ok(pair[1])) << pair[0] << " vs " << pair[1];

  // Writing through [] turns a value of another kind into a container.
  v["name"][1] = 2;
  EXPECT_EQ(json::write(v["name"]), "[null,2]");

  // Assigning a part of a value to the value itself.
  v = v["owner"];
  EXPECT_EQ(json::write(v), R"({"id":7,"keys":["k1",2.5,null]})");
  v = std::move(v["keys"]);
  EXPECT_EQ(json::write(v), R"(["k1",2.5,null])");
}

} // namespace
