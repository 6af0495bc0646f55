//===- corvane/testing.hpp - Contracts run for real in host tests --------===//
//
// A chain in the test's own process: named accounts, contracts deployed
// from their .ctrx containers, and action calls run on the contracts' real
// WebAssembly by the engine ctrrun uses, with the same host functions,
// metering and limits.  Arguments and results are encoded and decoded as
// the container's interface description (.abi) says.
//
//   corvane::testing::Chain chain;
//   chain.create_accounts({"alice", "bob"});
//   corvane::testing::Contract token = chain.deploy("token", "token.ctrx");
//   token.from("alice").call("create", "alice", 1000);
//   token.from("alice").call("transfer", "bob", 5);
//   EXPECT_EQ(token.call("balance", "bob").as<uint64_t>(), 5u);
//
// Plain C++17; link libcorvane-testing.a.  Misuse (an unknown account,
// action or table, arguments that do not fit the description, a container
// that cannot be read) throws corvane::testing::Error.  A call that fails
// in the contract does not throw: its CallResult says why.
//
//===----------------------------------------------------------------------===//

#ifndef CORVANE_TESTING_HPP
#define CORVANE_TESTING_HPP

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace corvane::testing {

/// What the library throws when a test asks for something the chain or
/// the contract's description does not have.
class Error : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class Value;

/// How a C++ type converts to and from a Value.  Specialize it for your own
/// types, a struct as an object by field name, say:
///
///   template <> struct corvane::testing::value_traits<Point> {
///     static Value to_value(const Point &p) {
///       return Value::Object{{"x", p.x}, {"label", p.label}};
///     }
///     static Point from_value(const Value &v) {
///       return {v["x"].as<int32_t>(), v["label"].as<std::string>()};
///     }
///   };
template <class T, class = void> struct value_traits;

namespace detail {
template <class T>
inline constexpr bool is_integer =
    std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
    !std::is_same_v<T, wchar_t> && !std::is_same_v<T, char16_t> && !std::is_same_v<T, char32_t>;

// Value's own constructors take these.
template <class T>
inline constexpr bool is_builtin = is_integer<T> || std::is_same_v<T, bool> ||
                                   std::is_same_v<T, std::string> || std::is_same_v<T, Value>;

template <class T, class = void> struct has_to_value : std::false_type {};
template <class T>
struct has_to_value<T, std::void_t<decltype(value_traits<T>::to_value(std::declval<const T &>()))>>
    : std::true_type {};
} // namespace detail

/// A value as the interface description types it, in JSON's shape: null,
/// bool, an integer (any 64-bit signed or unsigned value, exactly), a
/// string, an array or an object.  Maps with string keys are objects, other
/// maps arrays of [key, value] pairs, structs objects by field name, as
/// ctrrun writes them.
class Value {
public:
  enum class Kind { Null, Bool, Integer, String, Array, Object };
  using Array = std::vector<Value>;
  using Object = std::map<std::string, Value, std::less<>>;

  Value() = default;
  Value(std::nullptr_t) {}
  Value(bool b) : kind_(Kind::Bool), bool_(b) {}
  template <class T, std::enable_if_t<detail::is_integer<T>, int> = 0>
  Value(T i)
      : kind_(Kind::Integer), negative_(i < 0),
        magnitude_(i < 0 ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i)) {}
  Value(std::string s) : kind_(Kind::String), string_(std::move(s)) {}
  Value(std::string_view s) : Value(std::string(s)) {}
  Value(const char *s) : Value(std::string(s)) {}
  Value(char *s) : Value(std::string(s)) {}
  Value(Array a) : kind_(Kind::Array), array_(std::move(a)) {}
  Value(Object o) : kind_(Kind::Object), object_(std::move(o)) {}
  /// Anything value_traits converts: vectors, maps, optionals, your types.
  template <class T,
            std::enable_if_t<!detail::is_builtin<T> && detail::has_to_value<T>::value, int> = 0>
  Value(const T &v) : Value(value_traits<T>::to_value(v)) {}
  // Plain char has no fixed signedness, and a pointer would become a bool.
  Value(char) = delete;
  template <class T> Value(T *) = delete;

  /// Strict JSON (RFC 8259); numbers must be integers.  Throws Error.
  static Value parse(std::string_view json);
  /// Compact JSON, object members in key order, integers with all their
  /// digits; string bytes that are not UTF-8 become U+FFFD.
  std::string json() const;

  Kind kind() const { return kind_; }
  bool is_null() const { return kind_ == Kind::Null; }
  bool is_bool() const { return kind_ == Kind::Bool; }
  bool is_integer() const { return kind_ == Kind::Integer; }
  bool is_string() const { return kind_ == Kind::String; }
  bool is_array() const { return kind_ == Kind::Array; }
  bool is_object() const { return kind_ == Kind::Object; }

  /// Each throws Error unless the value is of that kind.
  bool as_bool() const;
  const std::string &as_string() const;
  const Array &as_array() const;
  const Object &as_object() const;
  /// An integer as its sign and absolute value.
  bool is_negative() const {
    expect(Kind::Integer);
    return negative_;
  }
  uint64_t magnitude() const {
    expect(Kind::Integer);
    return magnitude_;
  }

  /// The value as T, through value_traits: bool, integers (range-checked),
  /// std::string, std::vector, std::map, std::optional, Value, your types.
  template <class T> T as() const { return value_traits<T>::from_value(*this); }

  /// Elements of an array, members of an object; 0 otherwise.
  size_t size() const;
  bool contains(std::string_view key) const;
  /// An array's element, an object's member; Error when there is none.
  const Value &operator[](size_t index) const;
  const Value &operator[](std::string_view key) const;

  friend bool operator==(const Value &a, const Value &b);
  friend bool operator!=(const Value &a, const Value &b) { return !(a == b); }
  friend std::ostream &operator<<(std::ostream &os, const Value &v) { return os << v.json(); }

private:
  void expect(Kind k) const;

  Kind kind_ = Kind::Null;
  bool bool_ = false;
  bool negative_ = false;
  uint64_t magnitude_ = 0;
  std::string string_;
  Array array_;
  Object object_;
};

//===----------------------------------------------------------------------===//
// Conversions of the standard types.
//===----------------------------------------------------------------------===//

namespace detail {
[[noreturn]] void throw_out_of_range(const Value &v, const char *type, size_t bits);
} // namespace detail

template <> struct value_traits<Value> {
  static Value to_value(const Value &v) { return v; }
  static Value from_value(const Value &v) { return v; }
};

template <> struct value_traits<bool> {
  static Value to_value(bool b) { return b; }
  static bool from_value(const Value &v) { return v.as_bool(); }
};

template <class T> struct value_traits<T, std::enable_if_t<detail::is_integer<T>>> {
  static Value to_value(T i) { return i; }
  static T from_value(const Value &v) {
    uint64_t m = v.magnitude();
    using limits = std::numeric_limits<T>;
    bool fits = v.is_negative() ? limits::is_signed && m - 1 <= static_cast<uint64_t>(limits::max())
                                : m <= static_cast<uint64_t>(limits::max());
    if (!fits)
      detail::throw_out_of_range(v, limits::is_signed ? "int" : "uint", sizeof(T) * 8);
    return v.is_negative() ? static_cast<T>(0 - m) : static_cast<T>(m);
  }
};

template <> struct value_traits<std::string> {
  static Value to_value(const std::string &s) { return s; }
  static std::string from_value(const Value &v) { return v.as_string(); }
};

template <class T> struct value_traits<std::vector<T>> {
  static Value to_value(const std::vector<T> &items) {
    Value::Array a;
    for (const T &item : items)
      a.push_back(value_traits<T>::to_value(item));
    return a;
  }
  static std::vector<T> from_value(const Value &v) {
    std::vector<T> items;
    for (const Value &item : v.as_array())
      items.push_back(item.template as<T>());
    return items;
  }
};

template <class K, class V, class C> struct value_traits<std::map<K, V, C>> {
  // String keys make an object; any other key an array of [key, value].
  static Value to_value(const std::map<K, V, C> &m) {
    if constexpr (std::is_same_v<K, std::string>) {
      Value::Object o;
      for (const auto &[key, item] : m)
        o.emplace(key, value_traits<V>::to_value(item));
      return o;
    } else {
      Value::Array a;
      for (const auto &[key, item] : m)
        a.push_back(Value::Array{value_traits<K>::to_value(key), value_traits<V>::to_value(item)});
      return a;
    }
  }
  static std::map<K, V, C> from_value(const Value &v) {
    std::map<K, V, C> m;
    if constexpr (std::is_same_v<K, std::string>) {
      for (const auto &[key, item] : v.as_object())
        m.emplace(key, item.template as<V>());
    } else {
      for (const Value &pair : v.as_array()) {
        if (pair.size() != 2 || !pair.is_array())
          throw Error("expected a [key, value] pair, got " + pair.json());
        m.emplace(pair[0].template as<K>(), pair[1].template as<V>());
      }
    }
    return m;
  }
};

template <class T> struct value_traits<std::optional<T>> {
  static Value to_value(const std::optional<T> &o) {
    return o ? value_traits<T>::to_value(*o) : Value();
  }
  static std::optional<T> from_value(const Value &v) {
    if (v.is_null())
      return std::nullopt;
    return v.template as<T>();
  }
};

//===----------------------------------------------------------------------===//
// Calls and their results.
//===----------------------------------------------------------------------===//

/// An event a call emitted with corvane::emit.
struct Event {
  std::string name;
  std::string data;

  friend bool operator==(const Event &a, const Event &b) {
    return a.name == b.name && a.data == b.data;
  }
  friend bool operator!=(const Event &a, const Event &b) { return !(a == b); }
  friend std::ostream &operator<<(std::ostream &os, const Event &e) {
    return os << e.name << ": " << e.data;
  }
};

/// How a call ended.
enum class Status {
  ok,
  aborted,    // corvane::abort, check or require_auth; exit; a failed new
  trapped,    // a WebAssembly trap, a stack overflow, a host limit
  exhausted,  // the instruction limit
  bad_result, // the output does not decode as the action's result type
};
std::ostream &operator<<(std::ostream &os, Status s);

namespace detail {
class ChainState;
} // namespace detail

/// One call: how it ended, its result, and what it logged and emitted.  A
/// call that fails changes no storage.
class CallResult {
public:
  Status status() const { return status_; }
  bool ok() const { return status_ == Status::ok; }
  /// Why the call failed, as one line ("contract aborted: no poll 7",
  /// "stack overflow: ...", "apply exceeded the limit of N instructions");
  /// empty when it succeeded.
  const std::string &error() const { return error_; }
  /// The contract's own message when it aborted; empty otherwise.
  const std::string &abort_message() const { return abort_message_; }

  /// The result decoded as the action's result type; null for a void
  /// action or a raw call.  Throws Error when the call failed.
  const Value &value() const;
  template <class T> T as() const { return value().as<T>(); }
  /// The result as compact JSON exactly as ctrrun prints it (struct
  /// fields in declaration order); empty for void.  Throws Error when the
  /// call failed.
  std::string json() const;
  /// The bytes the call wrote, as the contract encoded them.
  const std::string &output() const { return output_; }

  /// The log lines and events of the call, in order, up to its end or
  /// failure; text as the contract wrote it.
  const std::vector<std::string> &logs() const { return logs_; }
  const std::vector<Event> &events() const { return events_; }
  /// Instructions the call executed, the host's work included, metered as
  /// ctrrun meters them.
  uint64_t instructions() const { return instructions_; }

  friend std::ostream &operator<<(std::ostream &os, const CallResult &r);

private:
  friend class detail::ChainState;
  Status status_ = Status::ok;
  std::string error_;
  std::string abort_message_;
  std::string output_;
  Value value_;
  std::string json_;
  std::vector<std::string> logs_;
  std::vector<Event> events_;
  uint64_t instructions_ = 0;
};

/// A storage table of a contract, read as its description types it.
class Table {
public:
  const std::string &name() const { return name_; }
  /// The key and value types, as the .abi spells them.
  const std::string &key_type() const;
  const std::string &value_type() const;

  /// The entry under \p key, which is encoded as the key type.
  std::optional<Value> get(const Value &key) const;
  /// The same, converted: table.get<uint64_t>("alice").
  template <class T, class K> std::optional<T> get(const K &key) const {
    std::optional<Value> v = get(Value(key));
    if (!v)
      return std::nullopt;
    return v->as<T>();
  }
  bool contains(const Value &key) const { return get(key).has_value(); }
  /// Every entry, in the order of their encoded keys.
  std::vector<std::pair<Value, Value>> rows() const;
  size_t size() const;

private:
  friend class Contract;
  Table(detail::ChainState *chain, std::string account, std::string name)
      : chain_(chain), account_(std::move(account)), name_(std::move(name)) {}
  detail::ChainState *chain_;
  std::string account_;
  std::string name_;
};

/// The block a call is in: what corvane::block_height() and
/// corvane::block_time() return.
struct Block {
  uint64_t height = 1;
  uint64_t time = 0;
};

/// A contract called by one account, carrying a set of authorizations
/// (by default the caller's only).
class Caller {
public:
  /// The accounts whose authorization the calls carry, instead of the
  /// caller's; every one must exist.  Empty: none.
  Caller &with_auth(std::vector<std::string> accounts);
  /// Calls in the block of this height and time (seconds since 1970-01-01
  /// UTC) instead of the chain's current block.
  Caller &at_block(uint64_t height, uint64_t time);

  /// Calls \p action with its arguments in parameter order, each converted
  /// to a Value and encoded as the parameter's type.
  template <class... Args> CallResult call(std::string_view action, const Args &...args) const {
    return call_values(action, {Value(args)...});
  }
  /// Calls \p action with a JSON object of its arguments by parameter
  /// name, as ctrrun takes them.
  CallResult call_json(std::string_view action, std::string_view arguments = "{}") const;
  /// Runs apply with \p input as the call input, as it is.
  CallResult call_raw(std::string_view input) const;

private:
  friend class Contract;
  Caller(detail::ChainState *chain, std::string account, std::string caller);
  CallResult call_values(std::string_view action, std::vector<Value> args) const;

  detail::ChainState *chain_;
  std::string account_;
  std::string caller_;
  std::vector<std::string> auth_;
  std::optional<Block> block_;
};

/// A deployed contract.  A handle: copies name the same contract, and it
/// must not outlive its chain.
class Contract {
public:
  /// Names no contract until one is assigned to it (in a fixture's SetUp,
  /// say); using it before throws Error.
  Contract() = default;

  const std::string &account() const { return account_; }
  /// The action names, in the order of the description; none for a bare
  /// module.
  std::vector<std::string> actions() const;

  /// Calls made by \p caller, authorized by it.
  Caller from(std::string_view caller) const;
  /// Calls made by the contract's own account, authorized by it.
  template <class... Args> CallResult call(std::string_view action, const Args &...args) const {
    return from(account_).call(action, args...);
  }
  CallResult call_json(std::string_view action, std::string_view arguments = "{}") const;
  CallResult call_raw(std::string_view input) const;

  /// A table of the description by name.
  Table table(std::string_view name) const;
  /// The contract's committed storage, raw keys and values.
  std::map<std::string, std::string> storage() const;

private:
  friend class Chain;
  Contract(detail::ChainState *chain, std::string account)
      : chain_(chain), account_(std::move(account)) {}
  detail::ChainState &chain() const;
  detail::ChainState *chain_ = nullptr;
  std::string account_;
};

/// Limits every call on a chain runs with; the defaults are ctrrun's.
struct ChainOptions {
  uint64_t max_instructions = 10000000000ULL;
  /// Bytes of log text, event names and event data per call.
  uint64_t max_log_bytes = 1 << 20;
};

/// Accounts and deployed contracts, each contract with its own storage,
/// held in memory.  Chains share nothing.
class Chain {
public:
  explicit Chain(ChainOptions options = {});
  ~Chain();
  Chain(Chain &&) noexcept;
  Chain &operator=(Chain &&) noexcept;
  Chain(const Chain &) = delete;
  Chain &operator=(const Chain &) = delete;

  /// Throws Error for an empty name or one that exists.
  void create_account(std::string_view name);
  void create_accounts(std::initializer_list<std::string_view> names);
  bool has_account(std::string_view name) const;

  /// Deploys the contract at \p path (a .ctrx container, or a bare module
  /// for call_raw) under \p account, created when missing.  Deploying again
  /// under the same account replaces the code and keeps the storage.
  /// Throws Error when the file cannot be read or the module does not fit
  /// the host.
  Contract deploy(std::string_view account, const std::string &path);
  /// The contract deployed under \p account.
  Contract contract(std::string_view account) const;

  const ChainOptions &options() const;
  void set_options(const ChainOptions &options);

  /// The block calls are in unless they name one: height 1 and time 0 at
  /// first, as in ctrrun.  A contract's own account (corvane::self()) is
  /// the account it is deployed under.
  const Block &block() const;
  void set_block(uint64_t height, uint64_t time);

private:
  std::unique_ptr<detail::ChainState> state_;
};

} // namespace corvane::testing

#endif
