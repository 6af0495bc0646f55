//===- reader.cpp - Strict JSON parser -------------------------------------===//
//
// The containers still open are kept on a heap stack rather than in nested
// calls, so the parser's own stack use is the same at any depth.
//
//===----------------------------------------------------------------------===//

#include "jsoncpp/json.hpp"
#include "utf8.h"

#include <cmath>
#include <cstdlib>
#include <utility>

namespace json {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// An array or object whose closing bracket is still to come.
struct Frame {
  Value container;
  std::string key; // the member being parsed, for objects
};

class Parser {
public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool run(Value &out);
  std::size_t error_offset() const { return error_offset_; }
  const std::string &error_message() const { return error_message_; }

private:
  bool at_end() const { return pos_ == text_.size(); }
  char peek() const { return text_[pos_]; }
  bool fail_at(std::size_t offset, std::string message) {
    error_offset_ = offset;
    error_message_ = std::move(message);
    return false;
  }
  bool fail(std::string message) { return fail_at(pos_, std::move(message)); }

  void skip_whitespace();
  bool parse_scalar(Value &out);
  bool parse_literal(std::string_view word, Value v, Value &out);
  bool parse_number(Value &out);
  bool parse_string(std::string &out);
  bool parse_escape(std::string &out);
  bool parse_hex4(char32_t &unit);
  bool parse_member_key(Frame &frame);

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t error_offset_ = 0;
  std::string error_message_;
};

void Parser::skip_whitespace() {
  while (!at_end() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
    ++pos_;
}

bool Parser::run(Value &out) {
  std::vector<Frame> stack;
  for (;;) {
    // A value starts here.
    skip_whitespace();
    if (at_end())
      return fail("unexpected end of input, expected a value");
    Value v;
    char c = peek();
    if (c == '[' || c == '{') {
      if (stack.size() == kMaxDepth)
        return fail("arrays and objects nested deeper than " + std::to_string(kMaxDepth) +
                    " levels");
      ++pos_;
      char close = c == '[' ? ']' : '}';
      stack.push_back({c == '[' ? Value(Array()) : Value(Object()), std::string()});
      skip_whitespace();
      if (at_end() || peek() != close) {
        if (c == '{' && !parse_member_key(stack.back()))
          return false;
        continue;
      }
      ++pos_;
      v = std::move(stack.back().container);
      stack.pop_back();
    } else if (!parse_scalar(v)) {
      return false;
    }

    // The value is complete: store it in its container, closing every
    // container that ends right after it.
    for (;;) {
      if (stack.empty()) {
        skip_whitespace();
        if (!at_end())
          return fail("unexpected text after the JSON value");
        out = std::move(v);
        return true;
      }
      Frame &top = stack.back();
      bool is_array = top.container.is_array();
      if (is_array)
        top.container.as_array()->push_back(std::move(v));
      else
        top.container.as_object()->emplace(std::move(top.key), std::move(v));
      skip_whitespace();
      char close = is_array ? ']' : '}';
      if (at_end())
        return fail(std::string("unexpected end of input, expected ',' or '") + close + "'");
      if (peek() == ',') {
        ++pos_;
        if (!is_array) {
          skip_whitespace();
          if (!parse_member_key(top))
            return false;
        }
        break;
      }
      if (peek() != close)
        return fail(std::string("expected ',' or '") + close + "'");
      ++pos_;
      v = std::move(top.container);
      stack.pop_back();
    }
  }
}

// Reads `"key" :` into the frame, leaving the position at the member's value.
bool Parser::parse_member_key(Frame &frame) {
  if (at_end() || peek() != '"')
    return fail("expected a string as object key");
  std::size_t start = pos_;
  frame.key.clear();
  if (!parse_string(frame.key))
    return false;
  if (frame.container.contains(frame.key))
    return fail_at(start, "duplicate object key");
  skip_whitespace();
  if (at_end() || peek() != ':')
    return fail("expected ':' after object key");
  ++pos_;
  return true;
}

bool Parser::parse_scalar(Value &out) {
  char c = peek();
  if (c == '"') {
    std::string s;
    if (!parse_string(s))
      return false;
    out = Value(std::move(s));
    return true;
  }
  if (c == '-' || is_digit(c))
    return parse_number(out);
  if (c == 't')
    return parse_literal("true", Value(true), out);
  if (c == 'f')
    return parse_literal("false", Value(false), out);
  if (c == 'n')
    return parse_literal("null", Value(), out);
  return fail("unexpected character, expected a value");
}

bool Parser::parse_literal(std::string_view word, Value v, Value &out) {
  if (text_.substr(pos_, word.size()) != word)
    return fail("invalid literal");
  pos_ += word.size();
  out = std::move(v);
  return true;
}

bool Parser::parse_number(Value &out) {
  std::size_t start = pos_;
  bool negative = peek() == '-';
  if (negative)
    ++pos_;
  if (at_end() || !is_digit(peek()))
    return fail("expected a digit");
  if (peek() == '0' && pos_ + 1 < text_.size() && is_digit(text_[pos_ + 1]))
    return fail("leading zero in number");
  std::size_t digits_start = pos_;
  while (!at_end() && is_digit(peek()))
    ++pos_;
  std::size_t digits_end = pos_;
  bool integral = true;
  if (!at_end() && peek() == '.') {
    ++pos_;
    if (at_end() || !is_digit(peek()))
      return fail("expected a digit after '.'");
    while (!at_end() && is_digit(peek()))
      ++pos_;
    integral = false;
  }
  if (!at_end() && (peek() == 'e' || peek() == 'E')) {
    ++pos_;
    if (!at_end() && (peek() == '+' || peek() == '-'))
      ++pos_;
    if (at_end() || !is_digit(peek()))
      return fail("expected a digit in exponent");
    while (!at_end() && is_digit(peek()))
      ++pos_;
    integral = false;
  }

  if (integral) {
    std::uint64_t magnitude = 0;
    bool fits = true;
    for (std::size_t i = digits_start; i < digits_end && fits; ++i) {
      unsigned d = static_cast<unsigned>(text_[i] - '0');
      fits = magnitude <= (UINT64_MAX - d) / 10;
      magnitude = magnitude * 10 + d;
    }
    constexpr std::uint64_t int64_min_magnitude = std::uint64_t(INT64_MAX) + 1;
    if (fits && !negative) {
      out = Value(magnitude);
      return true;
    }
    if (fits && magnitude <= int64_min_magnitude) {
      out = Value(magnitude == int64_min_magnitude ? INT64_MIN
                                                   : -static_cast<std::int64_t>(magnitude));
      return true;
    }
  }
  // strtod needs a terminated copy; the grammar above already matched the
  // number, and the C locale (the only one a contract has) reads '.'.
  std::string literal(text_.substr(start, pos_ - start));
  double d = std::strtod(literal.c_str(), nullptr);
  if (std::isinf(d))
    return fail_at(start, "number out of range");
  out = Value(d);
  return true;
}

bool Parser::parse_string(std::string &out) {
  std::size_t start = pos_;
  ++pos_; // the opening quote
  for (;;) {
    std::size_t run = pos_;
    while (!at_end() && peek() != '"' && peek() != '\\' &&
           static_cast<unsigned char>(peek()) >= 0x20 && static_cast<unsigned char>(peek()) < 0x80)
      ++pos_;
    out.append(text_.data() + run, pos_ - run);
    if (at_end())
      return fail_at(start, "unterminated string");
    unsigned char c = static_cast<unsigned char>(peek());
    if (c == '"') {
      ++pos_;
      return true;
    }
    if (c == '\\') {
      if (!parse_escape(out))
        return false;
      continue;
    }
    if (c < 0x20)
      return fail("control character in string");
    std::size_t n = detail::utf8_sequence(
        reinterpret_cast<const unsigned char *>(text_.data()) + pos_, text_.size() - pos_);
    if (n == 0)
      return fail("invalid UTF-8 in string");
    out.append(text_.data() + pos_, n);
    pos_ += n;
  }
}

bool Parser::parse_hex4(char32_t &unit) {
  unit = 0;
  for (int i = 0; i < 4; ++i) {
    int h = at_end() ? -1 : hex_value(peek());
    if (h < 0)
      return fail("expected four hex digits after \\u");
    unit = unit * 16 + static_cast<char32_t>(h);
    ++pos_;
  }
  return true;
}

bool Parser::parse_escape(std::string &out) {
  std::size_t start = pos_;
  ++pos_; // the backslash
  if (at_end())
    return fail_at(start, "unterminated string");
  char c = peek();
  ++pos_;
  switch (c) {
  case '"':
    out += '"';
    return true;
  case '\\':
    out += '\\';
    return true;
  case '/':
    out += '/';
    return true;
  case 'b':
    out += '\b';
    return true;
  case 'f':
    out += '\f';
    return true;
  case 'n':
    out += '\n';
    return true;
  case 'r':
    out += '\r';
    return true;
  case 't':
    out += '\t';
    return true;
  case 'u':
    break;
  default:
    return fail_at(start, "invalid escape sequence");
  }
  char32_t unit;
  if (!parse_hex4(unit))
    return false;
  if (unit >= 0xDC00 && unit <= 0xDFFF)
    return fail_at(start, "unpaired low surrogate in \\u escape");
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    // UTF-8 cannot hold a lone surrogate, so the low half must follow.
    if (text_.substr(pos_, 2) != "\\u")
      return fail_at(start, "unpaired high surrogate in \\u escape");
    pos_ += 2;
    char32_t low;
    if (!parse_hex4(low))
      return false;
    if (low < 0xDC00 || low > 0xDFFF)
      return fail_at(start, "unpaired high surrogate in \\u escape");
    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  detail::append_utf8(out, unit);
  return true;
}

} // namespace

bool parse(std::string_view text, Value &out, ParseError *error) {
  Parser parser(text);
  if (parser.run(out))
    return true;
  if (error) {
    std::size_t offset = parser.error_offset();
    std::size_t line_start = 0, line = 1;
    for (std::size_t i = 0; i < offset; ++i) {
      if (text[i] == '\n') {
        ++line;
        line_start = i + 1;
      }
    }
    error->offset = offset;
    error->line = line;
    error->column = offset - line_start + 1;
    error->message = parser.error_message();
  }
  return false;
}

} // namespace json
