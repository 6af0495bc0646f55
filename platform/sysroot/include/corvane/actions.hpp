//===- corvane/actions.hpp - Typed actions and storage tables -------------===//
//
// A contract lists the functions callers may run, once:
//
//   uint64_t balance(const std::string &account) { ... }
//   void transfer(const std::string &from, const std::string &to, uint64_t n);
//   CORVANE_ACTIONS(balance, transfer)
//
// CORVANE_ACTIONS defines apply().  The call input names the action and
// carries its arguments; the action's result is the call output.  zo++'s
// ifacewriter plug-in reads the same list to describe the contract's
// interface, so the description and the dispatch always agree.
//
// Encoding, of call input, call output and table keys and values alike:
//   call input   the action name as a string, then the arguments in order
//   bool         one byte, 0 or 1
//   intN/uintN   N/8 bytes, little-endian, two's complement
//   string       varuint32 byte count, then the bytes
//   vector<T>    varuint32 element count, then the elements
//   map<K,V>     varuint32 entry count, then key and value of each entry,
//                ascending by key; a repeated key is malformed
//   struct       its fields in declaration order
// varuint32 is unsigned LEB128 of at most 5 bytes, in its shortest form.
//
// Structs are aggregates with 1 to 16 public fields, no bases and no virtual
// functions; they are read and written through structured bindings.  Plain
// char has no fixed signedness and is refused: use int8_t, uint8_t or
// std::string.  Map keys are bool, integers or std::string.
//
// A table is a typed view of the contract's storage:
//
//   CORVANE_TABLE(balances, std::string, uint64_t);
//   balances.set("alice", 10);
//
// Its entries live under the storage key "balances:" + encoded key.
//
//===----------------------------------------------------------------------===//

#ifndef CORVANE_ACTIONS_HPP
#define CORVANE_ACTIONS_HPP

#include <corvane/contract.hpp>
#include <corvane/detail/rules.hpp>
#include <corvane/host.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace corvane {

namespace wire {

//===----------------------------------------------------------------------===//
// Which types the encoding knows.
//===----------------------------------------------------------------------===//

template <class T>
inline constexpr bool is_integer =
    std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
    !std::is_same_v<T, wchar_t> && !std::is_same_v<T, char16_t> && !std::is_same_v<T, char32_t> &&
    sizeof(T) <= 8;

template <class T>
inline constexpr bool is_map_key =
    std::is_same_v<T, bool> || is_integer<T> || std::is_same_v<T, std::string>;

template <class T>
inline constexpr bool is_struct = std::is_class_v<T> &&std::is_aggregate_v<T> &&
                                  !std::is_polymorphic_v<T> && std::is_default_constructible_v<T>;

// Converts to any field type: T{any_field{}...} compiles for as many
// initializers as T has fields, and no more.
struct any_field {
  template <class U> operator U() const;
};

template <class T, class Indices, class = void> struct takes_initializers : std::false_type {};
template <class T, size_t... I>
struct takes_initializers<T, std::index_sequence<I...>,
                          std::void_t<decltype(T{(void(I), any_field{})...})>> : std::true_type {};

// One past the limit, so that a struct with too many fields is caught.
template <class T, size_t N = max_struct_fields + 1> constexpr size_t field_count() {
  if constexpr (N == 0 || takes_initializers<T, std::make_index_sequence<N>>::value)
    return N;
  else
    return field_count<T, N - 1>();
}

template <class F, class... Fields> bool each_field(F &f, Fields &...fields) {
  return (f(fields) && ...);
}

// Calls f on each field of the struct in declaration order while f returns
// true.
template <class T, class F> bool visit_fields(T &value, F &&f) {
  constexpr size_t N = field_count<std::remove_const_t<T>>();
  static_assert(N >= 1, "a struct in an action or table needs at least one field");
  static_assert(N <= max_struct_fields, "a struct in an action or table has at most 16 fields");
  if constexpr (N == 1) {
    auto &[a] = value;
    return each_field(f, a);
  } else if constexpr (N == 2) {
    auto &[a, b] = value;
    return each_field(f, a, b);
  } else if constexpr (N == 3) {
    auto &[a, b, c] = value;
    return each_field(f, a, b, c);
  } else if constexpr (N == 4) {
    auto &[a, b, c, d] = value;
    return each_field(f, a, b, c, d);
  } else if constexpr (N == 5) {
    auto &[a, b, c, d, e] = value;
    return each_field(f, a, b, c, d, e);
  } else if constexpr (N == 6) {
    auto &[a, b, c, d, e, g] = value;
    return each_field(f, a, b, c, d, e, g);
  } else if constexpr (N == 7) {
    auto &[a, b, c, d, e, g, h] = value;
    return each_field(f, a, b, c, d, e, g, h);
  } else if constexpr (N == 8) {
    auto &[a, b, c, d, e, g, h, i] = value;
    return each_field(f, a, b, c, d, e, g, h, i);
  } else if constexpr (N == 9) {
    auto &[a, b, c, d, e, g, h, i, j] = value;
    return each_field(f, a, b, c, d, e, g, h, i, j);
  } else if constexpr (N == 10) {
    auto &[a, b, c, d, e, g, h, i, j, k] = value;
    return each_field(f, a, b, c, d, e, g, h, i, j, k);
  } else if constexpr (N == 11) {
    auto &[a, b, c, d, e, g, h, i, j, k, l] = value;
    return each_field(f, a, b, c, d, e, g, h, i, j, k, l);
  } else if constexpr (N == 12) {
    auto &[a, b, c, d, e, g, h, i, j, k, l, m] = value;
    return each_field(f, a, b, c, d, e, g, h, i, j, k, l, m);
  } else if constexpr (N == 13) {
    auto &[a, b, c, d, e, g, h, i, j, k, l, m, n] = value;
    return each_field(f, a, b, c, d, e, g, h, i, j, k, l, m, n);
  } else if constexpr (N == 14) {
    auto &[a, b, c, d, e, g, h, i, j, k, l, m, n, o] = value;
    return each_field(f, a, b, c, d, e, g, h, i, j, k, l, m, n, o);
  } else if constexpr (N == 15) {
    auto &[a, b, c, d, e, g, h, i, j, k, l, m, n, o, p] = value;
    return each_field(f, a, b, c, d, e, g, h, i, j, k, l, m, n, o, p);
  } else if constexpr (N == 16) {
    auto &[a, b, c, d, e, g, h, i, j, k, l, m, n, o, p, q] = value;
    return each_field(f, a, b, c, d, e, g, h, i, j, k, l, m, n, o, p, q);
  }
}

//===----------------------------------------------------------------------===//
// Reading and writing.
//===----------------------------------------------------------------------===//

// Reads encoded values from a byte string.  Every read returns false when
// the bytes run out or break the encoding's rules; the caller decides what
// to report.
class reader {
public:
  explicit reader(std::string_view data) : data_(data) {}

  size_t remaining() const { return data_.size() - at_; }
  bool at_end() const { return at_ == data_.size(); }

  bool bytes(size_t count, std::string_view &out) {
    if (count > remaining())
      return false;
    out = data_.substr(at_, count);
    at_ += count;
    return true;
  }

  bool byte(uint8_t &out) {
    if (at_end())
      return false;
    out = static_cast<uint8_t>(data_[at_++]);
    return true;
  }

  bool varuint32(uint32_t &out) {
    uint32_t value = 0;
    for (unsigned shift = 0; shift < 35; shift += 7) {
      uint8_t b;
      if (!byte(b))
        return false;
      // The fifth byte holds the top 4 bits; a zero last byte after the
      // first is a longer form of a shorter encoding.
      if (shift == 28 && b > 0x0F)
        return false;
      value |= static_cast<uint32_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) {
        if (b == 0 && shift != 0)
          return false;
        out = value;
        return true;
      }
    }
    return false;
  }

  bool text(std::string_view &out) {
    uint32_t size;
    return varuint32(size) && bytes(size, out);
  }

private:
  std::string_view data_;
  size_t at_ = 0;
};

inline void put_varuint32(std::string &out, uint32_t value) {
  do {
    uint8_t b = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
    if (value)
      b = static_cast<uint8_t>(b | 0x80);
    out.push_back(static_cast<char>(b));
  } while (value);
}

inline void put_size(std::string &out, size_t size) {
  put_varuint32(out, static_cast<uint32_t>(size));
}

template <class T> void encode(std::string &out, const T &value);
template <class T> bool decode(reader &in, T &value);

template <class T> struct codec {
  static_assert(!std::is_same_v<T, char>, "plain char has no fixed signedness: use int8_t, "
                                          "uint8_t or std::string");
  static_assert(std::is_same_v<T, char> || is_struct<T>,
                "actions and tables take and return bool, 8- to 64-bit "
                "integers, std::string, std::vector, std::map and "
                "aggregate structs of these");
  static void put(std::string &out, const T &value) {
    visit_fields(value, [&](const auto &field) {
      encode(out, field);
      return true;
    });
  }
  static bool get(reader &in, T &value) {
    return visit_fields(value, [&](auto &field) { return decode(in, field); });
  }
};

template <> struct codec<bool> {
  static void put(std::string &out, bool value) { out.push_back(value ? '\1' : '\0'); }
  static bool get(reader &in, bool &value) {
    uint8_t b;
    if (!in.byte(b) || b > 1)
      return false;
    value = b != 0;
    return true;
  }
};

#define CORVANE_WIRE_INTEGER(T)                                                                    \
  template <> struct codec<T> {                                                                    \
    using bits = std::make_unsigned_t<T>;                                                          \
    static void put(std::string &out, T value) {                                                   \
      bits v = static_cast<bits>(value);                                                           \
      for (size_t i = 0; i < sizeof(T); ++i)                                                       \
        out.push_back(static_cast<char>(static_cast<uint8_t>(v >> (8 * i))));                      \
    }                                                                                              \
    static bool get(reader &in, T &value) {                                                        \
      std::string_view raw;                                                                        \
      if (!in.bytes(sizeof(T), raw))                                                               \
        return false;                                                                              \
      uint64_t v = 0;                                                                              \
      for (size_t i = 0; i < sizeof(T); ++i)                                                       \
        v |= static_cast<uint64_t>(static_cast<uint8_t>(raw[i])) << (8 * i);                       \
      value = static_cast<T>(static_cast<bits>(v));                                                \
      return true;                                                                                 \
    }                                                                                              \
  };
CORVANE_WIRE_INTEGER(signed char)
CORVANE_WIRE_INTEGER(unsigned char)
CORVANE_WIRE_INTEGER(short)
CORVANE_WIRE_INTEGER(unsigned short)
CORVANE_WIRE_INTEGER(int)
CORVANE_WIRE_INTEGER(unsigned int)
CORVANE_WIRE_INTEGER(long)
CORVANE_WIRE_INTEGER(unsigned long)
CORVANE_WIRE_INTEGER(long long)
CORVANE_WIRE_INTEGER(unsigned long long)
#undef CORVANE_WIRE_INTEGER

template <> struct codec<std::string> {
  static void put(std::string &out, const std::string &value) {
    put_size(out, value.size());
    out += value;
  }
  static bool get(reader &in, std::string &value) {
    std::string_view raw;
    if (!in.text(raw))
      return false;
    value.assign(raw.data(), raw.size());
    return true;
  }
};

// Every encoded value takes at least one byte, so a count larger than the
// bytes left is malformed before anything is allocated.
template <class T> struct codec<std::vector<T>> {
  static void put(std::string &out, const std::vector<T> &value) {
    put_size(out, value.size());
    for (const T &item : value)
      encode(out, item);
  }
  static bool get(reader &in, std::vector<T> &value) {
    uint32_t count;
    if (!in.varuint32(count) || count > in.remaining())
      return false;
    value.clear();
    value.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
      T item{};
      if (!decode(in, item))
        return false;
      value.push_back(std::move(item));
    }
    return true;
  }
};

template <class K, class V> struct codec<std::map<K, V>> {
  static_assert(is_map_key<K>, "map keys are bool, integers or std::string");
  static void put(std::string &out, const std::map<K, V> &value) {
    put_size(out, value.size());
    for (const auto &[key, item] : value) {
      encode(out, key);
      encode(out, item);
    }
  }
  static bool get(reader &in, std::map<K, V> &value) {
    uint32_t count;
    if (!in.varuint32(count) || count > in.remaining())
      return false;
    value.clear();
    for (uint32_t i = 0; i < count; ++i) {
      K key{};
      V item{};
      if (!decode(in, key) || !decode(in, item))
        return false;
      // Keys come strictly ascending: one map has one encoding.
      if (!value.empty() && !(value.rbegin()->first < key))
        return false;
      value.emplace_hint(value.end(), std::move(key), std::move(item));
    }
    return true;
  }
};

template <class T> void encode(std::string &out, const T &value) { codec<T>::put(out, value); }
template <class T> bool decode(reader &in, T &value) { return codec<T>::get(in, value); }

// Decodes a whole byte string as one value: trailing bytes are malformed.
template <class T> bool decode_all(std::string_view data, T &value) {
  reader in(data);
  return decode(in, value) && in.at_end();
}

} // namespace wire

//===----------------------------------------------------------------------===//
// Tables.
//===----------------------------------------------------------------------===//

// A typed view of the storage entries whose keys begin with the table's
// name and a colon.  Table names are identifiers, so no table's keys begin
// with another table's prefix.  The object holds only the name: tables
// cost nothing until used.
template <class Key, class Value> class table {
public:
  explicit constexpr table(const char *name) : name_(name) {}

  const char *name() const { return name_; }

  std::optional<Value> get(const Key &key) const {
    std::optional<std::string> stored = storage_get(storage_key(key));
    if (!stored)
      return std::nullopt;
    Value value{};
    if (!wire::decode_all(*stored, value))
      abort(std::string("corrupt value in table ") + name_);
    return value;
  }

  bool contains(const Key &key) const {
    std::string k = storage_key(key);
    return corvane_storage_get(k.data(), static_cast<uint32_t>(k.size()), nullptr, 0) >= 0;
  }

  void set(const Key &key, const Value &value) const {
    std::string encoded;
    wire::encode(encoded, value);
    storage_set(storage_key(key), encoded);
  }

  void erase(const Key &key) const { storage_erase(storage_key(key)); }

private:
  std::string storage_key(const Key &key) const {
    std::string k = name_;
    k += ':';
    wire::encode(k, key);
    if (k.size() > max_key_size)
      abort(std::string("key too long for table ") + name_);
    return k;
  }

  const char *name_;
};

//===----------------------------------------------------------------------===//
// Dispatch.
//===----------------------------------------------------------------------===//

namespace detail {

template <auto... Actions> inline constexpr size_t action_count = sizeof...(Actions);

// An argument as the action receives it and as it is kept while the action
// runs: by value or const reference; a string_view views a decoded string.
template <class A> struct argument {
  static_assert(!std::is_reference_v<A> || std::is_const_v<std::remove_reference_t<A>>,
                "action parameters are values or const references");
  static_assert(!std::is_rvalue_reference_v<A>, "action parameters are values or const references");
  using type = std::remove_cv_t<std::remove_reference_t<A>>;
};
template <class A>
using stored_t = std::conditional_t<std::is_same_v<typename argument<A>::type, std::string_view>,
                                    std::string, typename argument<A>::type>;

template <class F> struct action_traits {
  static_assert(sizeof(F) == 0, "actions are functions, named in CORVANE_ACTIONS");
};
template <class R, class... A> struct action_traits<R (*)(A...)> {
  static_assert(!std::is_reference_v<R>, "actions return values, not references");
  using result = R;
  using arguments = std::tuple<stored_t<A>...>;
};
template <class R, class... A>
struct action_traits<R (*)(A...) noexcept> : action_traits<R (*)(A...)> {};

template <auto Action> void run(std::string_view name, wire::reader &in) {
  using traits = action_traits<decltype(Action)>;
  typename traits::arguments args;
  bool read = std::apply([&](auto &...arg) { return (wire::decode(in, arg) && ...); }, args);
  if (!read || !in.at_end())
    abort("malformed arguments for " + std::string(name));
  if constexpr (std::is_void_v<typename traits::result>) {
    std::apply(Action, std::move(args));
  } else {
    std::string out;
    wire::encode(out, std::apply(Action, std::move(args)));
    output(out);
  }
}

// FNV-1a: the dispatcher compares names by their hashes first.
constexpr uint64_t name_hash(std::string_view name) {
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < name.size(); ++i) {
    hash ^= static_cast<uint8_t>(name[i]);
    hash *= 1099511628211ull;
  }
  return hash;
}

// The actions' name hashes sorted, each with the action's place in the
// list, so that a call finds its action by binary search: the same cost for
// every action, growing with the logarithm of their count.  Built at
// compile time; sorting integers rather than names keeps the evaluation of
// a long list well inside the compiler's step limit.
template <size_t N> struct action_index {
  struct entry {
    uint64_t hash;
    uint32_t place;
  };
  entry sorted[N];
  std::string_view names[N]; // in list order

  // The place of the action named `name`, or N.  The search runs the same
  // number of steps whatever the name.
  constexpr size_t find(std::string_view name) const {
    uint64_t hash = name_hash(name);
    size_t first = 0;
    for (size_t count = N; count > 1;) {
      size_t half = count / 2;
      if (sorted[first + half].hash < hash)
        first += half;
      count -= half;
    }
    if (sorted[first].hash < hash)
      ++first;
    // Names of one hash sit together, the first listed first.
    for (; first < N && sorted[first].hash == hash; ++first)
      if (names[sorted[first].place] == name)
        return sorted[first].place;
    return N;
  }
};

template <class Entry> constexpr bool sorts_before(const Entry &a, const Entry &b) {
  return a.hash != b.hash ? a.hash < b.hash : a.place < b.place;
}

template <class Entry> constexpr void sift_down(Entry *heap, size_t root, size_t end) {
  for (size_t child = 2 * root + 1; child < end; root = child, child = 2 * root + 1) {
    if (child + 1 < end && sorts_before(heap[child], heap[child + 1]))
      ++child;
    if (!sorts_before(heap[root], heap[child]))
      return;
    Entry moved = heap[root];
    heap[root] = heap[child];
    heap[child] = moved;
  }
}

// Heap sort: n log n steps in place.
template <size_t N> constexpr action_index<N> index_actions(std::string_view list) {
  action_index<N> index{};
  split_action_names(list, [&](size_t place, std::string_view name) {
    if (place < N) {
      index.names[place] = name;
      index.sorted[place] = {name_hash(name), static_cast<uint32_t>(place)};
    }
  });
  for (size_t root = N / 2; root-- > 0;)
    sift_down(index.sorted, root, N);
  for (size_t end = N; end-- > 1;) {
    auto moved = index.sorted[0];
    index.sorted[0] = index.sorted[end];
    index.sorted[end] = moved;
    sift_down(index.sorted, 0, end);
  }
  return index;
}

} // namespace detail

// Runs the action that the call input names.  `names` is the action list
// as written, in the order of Actions, for zo++'s ifacewriter plug-in to
// read; `index` is the same list sorted, from detail::index_actions.
template <auto... Actions>
void dispatch([[maybe_unused]] const char *names,
              const detail::action_index<sizeof...(Actions)> &index) {
  static_assert(sizeof...(Actions) > 0, "CORVANE_ACTIONS needs at least one action");
  using runner = void (*)(std::string_view, wire::reader &);
  static constexpr runner runners[] = {&detail::run<Actions>...};
  std::string data = input();
  wire::reader in(data);
  std::string_view action;
  if (!in.text(action))
    abort("malformed call input: no action name");
  size_t place = index.find(action);
  if (place == sizeof...(Actions))
    abort("unknown action: " + std::string(action));
  runners[place](action, in);
}

} // namespace corvane

// The contract's actions, by function name; defines apply().
#define CORVANE_ACTIONS(...)                                                                       \
  static_assert(::corvane::detail::name_count(#__VA_ARGS__) ==                                     \
                    ::corvane::detail::action_count<__VA_ARGS__>,                                  \
                "CORVANE_ACTIONS lists functions by their plain names");                           \
  extern "C" void apply() {                                                                        \
    static constexpr auto corvane_action_index =                                                   \
        ::corvane::detail::index_actions<::corvane::detail::action_count<__VA_ARGS__>>(            \
            #__VA_ARGS__);                                                                         \
    ::corvane::dispatch<__VA_ARGS__>(#__VA_ARGS__, corvane_action_index);                          \
  }

// A storage table named `name` with the given key and value types.
#define CORVANE_TABLE(name, ...)                                                                   \
  inline constexpr ::corvane::table<__VA_ARGS__> name { #name }

#endif
