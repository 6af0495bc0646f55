//===- writer.cpp - Compact and indented JSON text -------------------------===//
//
// Like the parser, the writer walks containers with a heap stack.
//
//===----------------------------------------------------------------------===//

#include "jsoncpp/json.hpp"
#include "utf8.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace json {

namespace {

void write_string(std::string &out, std::string_view s) {
  static const char hex[] = "0123456789abcdef";
  out += '"';
  const auto *bytes = reinterpret_cast<const unsigned char *>(s.data());
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = bytes[i];
    if (c >= 0x80) {
      std::size_t n = detail::utf8_sequence(bytes + i, s.size() - i);
      if (n == 0) {
        out += "\xEF\xBF\xBD"; // U+FFFD keeps the output valid JSON
        ++i;
      } else {
        out.append(s.data() + i, n);
        i += n;
      }
      continue;
    }
    ++i;
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\b':
      out += "\\b";
      break;
    case '\f':
      out += "\\f";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default:
      if (c < 0x20) {
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 0xF];
      } else {
        out += static_cast<char>(c);
      }
    }
  }
  out += '"';
}

void write_double(std::string &out, double d) {
  if (!std::isfinite(d)) {
    out += "null";
    return;
  }
  // 17 significant digits always read back exactly; fewer usually do and
  // read better.
  char buf[32];
  for (int precision = 15; precision <= 17; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, d);
    if (std::strtod(buf, nullptr) == d)
      break;
  }
  out += buf;
  // Keep the value a double when it is read back.
  if (std::string_view(buf).find_first_of(".e") == std::string_view::npos)
    out += ".0";
}

void write_scalar(std::string &out, const Value &v) {
  switch (v.type()) {
  case Type::Null:
    out += "null";
    break;
  case Type::Bool:
    out += *v.as_bool() ? "true" : "false";
    break;
  case Type::Int:
    out += std::to_string(*v.as_int64());
    break;
  case Type::UInt:
    out += std::to_string(*v.as_uint64());
    break;
  case Type::Double:
    write_double(out, *v.as_double());
    break;
  case Type::String:
    write_string(out, *v.as_string());
    break;
  case Type::Array:
    out += "[]";
    break;
  case Type::Object:
    out += "{}";
    break;
  }
}

// A non-empty container being written, and how far.
struct Frame {
  const Value *container;
  std::size_t next;          // index of the next element or member
  Object::const_iterator it; // the next member, for objects
};

std::string write_text(const Value &root, bool styled, unsigned indent) {
  std::string out;
  auto newline = [&](std::size_t level) {
    if (!styled)
      return;
    out += '\n';
    out.append(level * indent, ' ');
  };
  std::vector<Frame> stack;
  const Value *v = &root;
  for (;;) {
    if (v) {
      if (v->is_array() && v->size() != 0) {
        out += '[';
        stack.push_back({v, 0, {}});
      } else if (v->is_object() && v->size() != 0) {
        out += '{';
        stack.push_back({v, 0, v->as_object()->begin()});
      } else {
        write_scalar(out, *v);
      }
      v = nullptr;
    }
    if (stack.empty())
      return out;
    Frame &top = stack.back();
    if (top.next == top.container->size()) {
      char close = top.container->is_array() ? ']' : '}';
      stack.pop_back();
      newline(stack.size());
      out += close;
      continue;
    }
    if (top.next != 0)
      out += ',';
    newline(stack.size());
    ++top.next;
    if (const Array *a = top.container->as_array()) {
      v = &(*a)[top.next - 1];
    } else {
      write_string(out, top.it->first);
      out += styled ? ": " : ":";
      v = &top.it->second;
      ++top.it;
    }
  }
}

} // namespace

std::string write(const Value &v) { return write_text(v, false, 0); }

std::string write_styled(const Value &v, unsigned indent) { return write_text(v, true, indent); }

} // namespace json
