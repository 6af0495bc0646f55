//===- Value.cpp - Values as the interface description types them --------===//

#include "Shown.h"

#include "JsonText.h"

#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/JSON.h"
#include "llvm/Support/raw_ostream.h"

using namespace llvm;

namespace corvane::testing {

namespace {
const char *kindName(Value::Kind K) {
  switch (K) {
  case Value::Kind::Null:
    return "null";
  case Value::Kind::Bool:
    return "a bool";
  case Value::Kind::Integer:
    return "an integer";
  case Value::Kind::String:
    return "a string";
  case Value::Kind::Array:
    return "an array";
  case Value::Kind::Object:
    return "an object";
  }
  return "a value";
}

Value integerFromText(StringRef Text) {
  StringRef Digits = Text;
  bool Negative = Digits.consume_front("-");
  if (Digits.empty() || !all_of(Digits, isDigit))
    throw Error("the number " + Text.str() + " is not an integer; values hold no fractions");
  uint64_t Magnitude;
  if (Digits.getAsInteger(10, Magnitude) || (Negative && Magnitude > (1ull << 63)))
    throw Error("the number " + Text.str() + " is out of the 64-bit range");
  if (!Negative)
    return Value(Magnitude);
  if (Magnitude == 1ull << 63)
    return Value(std::numeric_limits<int64_t>::min());
  return Value(-int64_t(Magnitude));
}

Value fromJson(const json::Value &V, const zo::NumberTexts &Numbers) {
  switch (V.kind()) {
  case json::Value::Null:
    return Value();
  case json::Value::Boolean:
    return Value(*V.getAsBoolean());
  case json::Value::Number:
    return integerFromText(Numbers.at(&V));
  case json::Value::String:
    return Value(V.getAsString()->str());
  case json::Value::Array: {
    Value::Array Items;
    for (const json::Value &Item : *V.getAsArray())
      Items.push_back(fromJson(Item, Numbers));
    return Value(std::move(Items));
  }
  case json::Value::Object: {
    Value::Object Members;
    for (const auto &Member : *V.getAsObject())
      Members.emplace(Member.first.str(), fromJson(Member.second, Numbers));
    return Value(std::move(Members));
  }
  }
  return Value();
}

void write(raw_ostream &OS, const Value &V) {
  switch (V.kind()) {
  case Value::Kind::Null:
    OS << "null";
    return;
  case Value::Kind::Bool:
    OS << (V.as_bool() ? "true" : "false");
    return;
  case Value::Kind::Integer:
    OS << (V.is_negative() ? "-" : "") << V.magnitude();
    return;
  case Value::Kind::String:
    OS << json::Value(json::fixUTF8(V.as_string()));
    return;
  case Value::Kind::Array: {
    OS << '[';
    ListSeparator Comma(",");
    for (const Value &Item : V.as_array()) {
      OS << Comma;
      write(OS, Item);
    }
    OS << ']';
    return;
  }
  case Value::Kind::Object: {
    OS << '{';
    ListSeparator Comma(",");
    for (const auto &[Key, Item] : V.as_object()) {
      OS << Comma << json::Value(json::fixUTF8(Key)) << ':';
      write(OS, Item);
    }
    OS << '}';
    return;
  }
  }
}
} // namespace

std::string shown(const Value &V) {
  // Enough for a message to say which value it means.
  constexpr size_t ShownChars = 40;
  std::string Text = V.json();
  return Text.size() > ShownChars ? Text.substr(0, ShownChars - 3) + "..." : Text;
}

Value Value::parse(std::string_view Json) {
  StringRef Text(Json.data(), Json.size());
  if (zo::jsonDepth(Text, zo::MaxJsonDepth) > zo::MaxJsonDepth)
    throw Error("the JSON text nests deeper than " + std::to_string(zo::MaxJsonDepth) + " levels");
  Expected<json::Value> Parsed = json::parse(Text);
  if (!Parsed)
    throw Error("not valid JSON: " + toString(Parsed.takeError()));
  zo::NumberTexts Numbers;
  if (llvm::Error E = zo::checkJsonText(Text, *Parsed, &Numbers))
    throw Error("not valid JSON: " + toString(std::move(E)));
  return fromJson(*Parsed, Numbers);
}

std::string Value::json() const {
  std::string Text;
  raw_string_ostream OS(Text);
  write(OS, *this);
  return OS.str();
}

void Value::expect(Kind K) const {
  if (kind_ != K)
    throw Error(std::string("expected ") + kindName(K) + ", got " + shown(*this));
}

bool Value::as_bool() const {
  expect(Kind::Bool);
  return bool_;
}

const std::string &Value::as_string() const {
  expect(Kind::String);
  return string_;
}

const Value::Array &Value::as_array() const {
  expect(Kind::Array);
  return array_;
}

const Value::Object &Value::as_object() const {
  expect(Kind::Object);
  return object_;
}

size_t Value::size() const {
  return kind_ == Kind::Array ? array_.size() : kind_ == Kind::Object ? object_.size() : 0;
}

bool Value::contains(std::string_view Key) const {
  return kind_ == Kind::Object && object_.find(Key) != object_.end();
}

const Value &Value::operator[](size_t Index) const {
  const Array &Items = as_array();
  if (Index >= Items.size())
    throw Error("no element " + std::to_string(Index) + " in " + shown(*this));
  return Items[Index];
}

const Value &Value::operator[](std::string_view Key) const {
  const Object &Members = as_object();
  auto Found = Members.find(Key);
  if (Found == Members.end())
    throw Error("no member \"" + std::string(Key) + "\" in " + shown(*this));
  return Found->second;
}

bool operator==(const Value &A, const Value &B) {
  if (A.kind_ != B.kind_)
    return false;
  switch (A.kind_) {
  case Value::Kind::Null:
    return true;
  case Value::Kind::Bool:
    return A.bool_ == B.bool_;
  case Value::Kind::Integer:
    return A.negative_ == B.negative_ && A.magnitude_ == B.magnitude_;
  case Value::Kind::String:
    return A.string_ == B.string_;
  case Value::Kind::Array:
    return A.array_ == B.array_;
  case Value::Kind::Object:
    return A.object_ == B.object_;
  }
  return false;
}

void detail::throw_out_of_range(const Value &V, const char *Type, size_t Bits) {
  throw Error(shown(V) + " is out of range for " + Type + std::to_string(Bits));
}

} // namespace corvane::testing
