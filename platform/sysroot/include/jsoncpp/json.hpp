//===- jsoncpp/json.hpp - JSON values, parser and writers -------*- C++ -*-===//
//
// A JSON document as a tree of json::Value, a strict RFC 8259 parser and two
// writers.  Nothing throws: lookups that miss yield a null value or an empty
// optional, and parse() reports failure through its result.
//
// Contracts run with a small stack, so parsing, writing, copying, comparing
// and destroying never recurse: nesting costs heap memory only.  The parser
// still refuses documents nested deeper than json::kMaxDepth.
//
// Numbers keep integers exact: an integer literal that fits int64_t is held
// as Type::Int, one in (INT64_MAX, UINT64_MAX] as Type::UInt, anything else
// (fraction, exponent or out of range) as Type::Double.  Values built from
// C++ integers follow the same rule, so equal integers always compare equal.
//
// Objects keep their keys unique and sorted by byte value, so two equal
// objects are written identically whatever order their members came in.
//
//===----------------------------------------------------------------------===//

#ifndef JSONCPP_JSON_HPP
#define JSONCPP_JSON_HPP

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace json {

class Value;
using Array = std::vector<Value>;
using Object = std::map<std::string, Value, std::less<>>;

// Order matches the alternatives held by Value.
enum class Type { Null, Bool, Int, UInt, Double, String, Array, Object };

// Deepest nesting of arrays and objects that parse() accepts.
constexpr unsigned kMaxDepth = 512;

class Value {
public:
  Value() noexcept = default;
  Value(std::nullptr_t) noexcept {}
  Value(bool b) noexcept : data_(b) {}
  template <class T,
            std::enable_if_t<
                std::is_integral_v<T> && !std::is_same_v<T, bool> && std::is_signed_v<T>, int> = 0>
  Value(T i) noexcept : data_(static_cast<std::int64_t>(i)) {}
  template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                          std::is_unsigned_v<T>,
                                      int> = 0>
  Value(T u) noexcept {
    set_unsigned(u);
  }
  Value(double d) noexcept : data_(d) {}
  Value(float f) noexcept : data_(static_cast<double>(f)) {}
  Value(const char *s) : data_(std::string(s)) {}
  Value(std::string_view s) : data_(std::string(s)) {}
  Value(std::string s) noexcept : data_(std::move(s)) {}
  Value(Array a) noexcept : data_(std::move(a)) {}
  Value(Object o) noexcept : data_(std::move(o)) {}

  Value(const Value &other);
  Value(Value &&other) noexcept = default;
  Value &operator=(const Value &other);
  Value &operator=(Value &&other) noexcept;
  ~Value();

  Type type() const noexcept { return static_cast<Type>(data_.index()); }
  bool is_null() const noexcept { return type() == Type::Null; }
  bool is_bool() const noexcept { return type() == Type::Bool; }
  // Int or UInt.
  bool is_integer() const noexcept { return type() == Type::Int || type() == Type::UInt; }
  bool is_double() const noexcept { return type() == Type::Double; }
  // Int, UInt or Double.
  bool is_number() const noexcept { return is_integer() || is_double(); }
  bool is_string() const noexcept { return type() == Type::String; }
  bool is_array() const noexcept { return type() == Type::Array; }
  bool is_object() const noexcept { return type() == Type::Object; }

  // Each as_* is empty unless the value has that kind and the result is exact:
  // as_int64 and as_uint64 accept any number whose value is an integer in
  // range (a Double such as 3.0 too); as_double accepts any number, rounding
  // integers beyond 2^53 to the nearest double.
  std::optional<bool> as_bool() const noexcept;
  std::optional<std::int64_t> as_int64() const noexcept;
  std::optional<std::uint64_t> as_uint64() const noexcept;
  std::optional<double> as_double() const noexcept;
  std::optional<std::string_view> as_string() const noexcept;
  const Array *as_array() const noexcept { return std::get_if<Array>(&data_); }
  Array *as_array() noexcept { return std::get_if<Array>(&data_); }
  const Object *as_object() const noexcept { return std::get_if<Object>(&data_); }
  Object *as_object() noexcept { return std::get_if<Object>(&data_); }

  // Elements of an array or members of an object; 0 for anything else.
  std::size_t size() const noexcept;
  // The member named key, or null when this is no object or has no such key.
  const Value *find(std::string_view key) const noexcept;
  Value *find(std::string_view key) noexcept;
  bool contains(std::string_view key) const noexcept { return find(key) != nullptr; }

  // Reading: the element or member, or a null value when there is none.
  const Value &operator[](std::size_t index) const noexcept;
  const Value &operator[](std::string_view key) const noexcept;
  // Writing (chosen on a non-const value, so read through a const reference
  // or find() to leave the value untouched): a value that is not an array (resp. object) first
  // becomes an empty one; a missing element is added as null (the array grows to index + 1), a
  // missing member is added as null.
  Value &operator[](std::size_t index);
  Value &operator[](std::string_view key);
  // Appends to an array; a value that is not an array first becomes an empty one.
  void push_back(Value v);

  // Deep comparison; numbers compare by type and value (1 and 1.0 differ).
  friend bool operator==(const Value &a, const Value &b) noexcept;
  friend bool operator!=(const Value &a, const Value &b) noexcept { return !(a == b); }

private:
  void copy_tree(const Value &src);

  template <class T> void set_unsigned(T u) noexcept {
    if (static_cast<std::uint64_t>(u) <= static_cast<std::uint64_t>(INT64_MAX))
      data_ = static_cast<std::int64_t>(u);
    else
      data_ = static_cast<std::uint64_t>(u);
  }

  std::variant<std::nullptr_t, bool, std::int64_t, std::uint64_t, double, std::string, Array,
               Object>
      data_;
};

struct ParseError {
  std::size_t offset = 0; // bytes from the start of the text
  std::size_t line = 0;   // 1-based
  std::size_t column = 0; // 1-based, in bytes
  std::string message;
};

// Parses one JSON text (surrounding whitespace allowed, nothing else).  On
// success stores the document in out and returns true; otherwise leaves out
// unchanged, fills *error when given and returns false.  Strict RFC 8259: no
// comments, trailing commas, leading zeros, NaN or single quotes; strings
// must be valid UTF-8 without raw control characters, and a \u escape of a
// surrogate must be a proper high-low pair.  Duplicate object keys and
// numbers too large for a double are errors as well.
bool parse(std::string_view text, Value &out, ParseError *error = nullptr);

// Compact text, no whitespace.  A double is written with the fewest of 15,
// 16 or 17 significant digits that read back to the same double (0.1 stays
// "0.1"), with ".0" added when the text looks like an integer so that it
// reads back as a Double; NaN and infinities, which JSON cannot express,
// are written as null.  Bytes in strings that are not
// valid UTF-8 are written as U+FFFD.
std::string write(const Value &v);
// The same, with each element and member on its own line, indented by
// indent spaces per level.
std::string write_styled(const Value &v, unsigned indent = 2);

} // namespace json

#endif
