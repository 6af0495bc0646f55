//===- value.cpp - json::Value ---------------------------------------------===//
//
// Copying, comparing and destroying walk the tree with a heap worklist
// instead of recursing: a contract's stack is a few KiB, and a parsed
// document may be hundreds of levels deep.
//
//===----------------------------------------------------------------------===//

#include "jsoncpp/json.hpp"

#include <utility>

namespace json {

namespace {

const Value null_value;

bool is_nonempty_container(const Value &v) {
  return (v.is_array() || v.is_object()) && v.size() != 0;
}

// Moves v's children to the end of out, leaving v an empty container.
void take_children(Value &v, std::vector<Value> &out) {
  if (Array *a = v.as_array()) {
    for (Value &child : *a)
      out.push_back(std::move(child));
    a->clear();
  } else if (Object *o = v.as_object()) {
    for (auto &member : *o)
      out.push_back(std::move(member.second));
    o->clear();
  }
}

// Doubles in [-2^63, 2^63) and [0, 2^64) convert exactly when integral.
constexpr double two63 = 9223372036854775808.0;

} // namespace

Value::~Value() {
  // Children that are scalars or empty containers end the recursion at the
  // next level, so only deeper trees need the worklist.
  bool deep = false;
  if (const Array *a = as_array()) {
    for (const Value &child : *a)
      deep = deep || is_nonempty_container(child);
  } else if (const Object *o = as_object()) {
    for (const auto &member : *o)
      deep = deep || is_nonempty_container(member.second);
  }
  if (!deep)
    return;
  std::vector<Value> pending;
  take_children(*this, pending);
  while (!pending.empty()) {
    Value v = std::move(pending.back());
    pending.pop_back();
    take_children(v, pending);
  }
}

void Value::copy_tree(const Value &src) {
  std::vector<std::pair<const Value *, Value *>> work{{&src, this}};
  while (!work.empty()) {
    auto [from, to] = work.back();
    work.pop_back();
    if (const Array *a = from->as_array()) {
      // Sized once, so the element addresses queued below stay valid.
      Array &copy = to->data_.emplace<Array>(a->size());
      for (std::size_t i = 0; i < a->size(); ++i)
        work.emplace_back(&(*a)[i], &copy[i]);
    } else if (const Object *o = from->as_object()) {
      Object &copy = to->data_.emplace<Object>();
      for (const auto &member : *o) {
        auto it = copy.emplace_hint(copy.end(), member.first, nullptr);
        work.emplace_back(&member.second, &it->second);
      }
    } else {
      to->data_ = from->data_;
    }
  }
}

Value::Value(const Value &other) { copy_tree(other); }

Value &Value::operator=(const Value &other) {
  // Copy first: other may be a part of this value.
  Value copy(other);
  return *this = std::move(copy);
}

Value &Value::operator=(Value &&other) noexcept {
  // Detach other before the old contents die (it may be one of their
  // children); the old contents go through ~Value.
  Value old(std::move(other));
  data_.swap(old.data_);
  return *this;
}

std::optional<bool> Value::as_bool() const noexcept {
  if (const bool *b = std::get_if<bool>(&data_))
    return *b;
  return std::nullopt;
}

std::optional<std::int64_t> Value::as_int64() const noexcept {
  if (const std::int64_t *i = std::get_if<std::int64_t>(&data_))
    return *i;
  if (const double *d = std::get_if<double>(&data_)) {
    if (*d >= -two63 && *d < two63 && static_cast<double>(static_cast<std::int64_t>(*d)) == *d)
      return static_cast<std::int64_t>(*d);
  }
  return std::nullopt;
}

std::optional<std::uint64_t> Value::as_uint64() const noexcept {
  if (const std::int64_t *i = std::get_if<std::int64_t>(&data_)) {
    if (*i >= 0)
      return static_cast<std::uint64_t>(*i);
    return std::nullopt;
  }
  if (const std::uint64_t *u = std::get_if<std::uint64_t>(&data_))
    return *u;
  if (const double *d = std::get_if<double>(&data_)) {
    if (*d >= 0 && *d < 2 * two63 && static_cast<double>(static_cast<std::uint64_t>(*d)) == *d)
      return static_cast<std::uint64_t>(*d);
  }
  return std::nullopt;
}

std::optional<double> Value::as_double() const noexcept {
  if (const std::int64_t *i = std::get_if<std::int64_t>(&data_))
    return static_cast<double>(*i);
  if (const std::uint64_t *u = std::get_if<std::uint64_t>(&data_))
    return static_cast<double>(*u);
  if (const double *d = std::get_if<double>(&data_))
    return *d;
  return std::nullopt;
}

std::optional<std::string_view> Value::as_string() const noexcept {
  if (const std::string *s = std::get_if<std::string>(&data_))
    return std::string_view(*s);
  return std::nullopt;
}

std::size_t Value::size() const noexcept {
  if (const Array *a = as_array())
    return a->size();
  if (const Object *o = as_object())
    return o->size();
  return 0;
}

const Value *Value::find(std::string_view key) const noexcept {
  const Object *o = as_object();
  if (!o)
    return nullptr;
  auto it = o->find(key);
  return it == o->end() ? nullptr : &it->second;
}

Value *Value::find(std::string_view key) noexcept {
  return const_cast<Value *>(static_cast<const Value *>(this)->find(key));
}

const Value &Value::operator[](std::size_t index) const noexcept {
  const Array *a = as_array();
  if (!a || index >= a->size())
    return null_value;
  return (*a)[index];
}

const Value &Value::operator[](std::string_view key) const noexcept {
  const Value *member = find(key);
  return member ? *member : null_value;
}

Value &Value::operator[](std::size_t index) {
  if (!is_array())
    *this = Value(Array());
  Array &a = *as_array();
  if (index >= a.size())
    a.resize(index + 1);
  return a[index];
}

Value &Value::operator[](std::string_view key) {
  if (!is_object())
    *this = Value(Object());
  Object &o = *as_object();
  auto it = o.find(key);
  if (it == o.end())
    it = o.emplace(std::string(key), nullptr).first;
  return it->second;
}

void Value::push_back(Value v) {
  if (!is_array())
    *this = Value(Array());
  as_array()->push_back(std::move(v));
}

bool operator==(const Value &a, const Value &b) noexcept {
  std::vector<std::pair<const Value *, const Value *>> work{{&a, &b}};
  while (!work.empty()) {
    auto [x, y] = work.back();
    work.pop_back();
    if (x->data_.index() != y->data_.index())
      return false;
    if (const Array *xa = x->as_array()) {
      const Array &ya = *y->as_array();
      if (xa->size() != ya.size())
        return false;
      for (std::size_t i = 0; i < xa->size(); ++i)
        work.emplace_back(&(*xa)[i], &ya[i]);
    } else if (const Object *xo = x->as_object()) {
      const Object &yo = *y->as_object();
      if (xo->size() != yo.size())
        return false;
      // Both are sorted by key, so members pair up in order.
      for (auto i = xo->begin(), j = yo.begin(); i != xo->end(); ++i, ++j) {
        if (i->first != j->first)
          return false;
        work.emplace_back(&i->second, &j->second);
      }
    } else if (!(x->data_ == y->data_)) {
      return false;
    }
  }
  return true;
}

} // namespace json
