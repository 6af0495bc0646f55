// Types that cannot cross the contract's boundary: each is an error at the
// parameter, result or table that uses it, naming the use, the type and the
// reason, with a note at the field that is the reason, and no description
// is written.  The SDK's own templates would fail as well for these types;
// those errors only repeat these and are not shown.

// RUN: rm -f %t.abi
// RUN: %clang %iface %t.abi -fsyntax-only -ferror-limit=0 -Xclang -verify %s
// RUN: not test -e %t.abi

#include <corvane/actions.hpp>

#include <array>
#include <optional>

struct Secret {
  int32_t shown;

private:
  // Other diagnostics still come through.
  // expected-warning@+1 {{private field 'hidden' is not used}}
  int32_t hidden; // expected-note 2 {{field 'hidden' of 'Secret' declared here}}
};
struct Rate {
  float rate; // expected-note {{field 'rate' of 'Rate' declared here}}
};
struct Outer {
  std::vector<Rate> rates;
};
struct Virtual {
  virtual ~Virtual();
  int32_t a;
};
struct Base {
  int32_t a;
};
struct Derived : Base {
  int32_t b;
};
struct Empty {};
struct TooWide {
  uint8_t a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17;
};
struct Bits {
  uint32_t low : 3; // expected-note {{field 'low' of 'Bits' declared here}}
};
struct Fixed {
  const uint32_t value; // expected-note {{field 'value' of 'Fixed' declared here}}
};
struct Built {
  Built(int32_t v) : v(v) {}
  int32_t v;
};
template <class T> struct Box {
  T value;
};
union Either {
  int32_t i;
  uint32_t u;
};
enum Color { red };

// expected-error@+1 {{parameter 'd' of action 'floating' has unsupported type 'double': floating-point numbers are not supported}}
void floating(double d) { (void)d; }
// expected-error@+1 {{parameter 'p' of action 'pointer' has unsupported type 'int32_t *' (aka 'int *'): pointers are not supported}}
void pointer(int32_t *p) { (void)p; }
// expected-error@+1 {{parameter 's' of action 'mutableRef' has unsupported type 'std::string &' (aka 'basic_string<char, char_traits<char>, allocator<char>> &'): non-const references are not supported; take a value or a const reference}}
void mutableRef(std::string &s) { (void)s; }
// expected-error@+1 {{parameter 's' of action 'rvalueRef' has unsupported type 'std::string &&' (aka 'basic_string<char, char_traits<char>, allocator<char>> &&'): non-const references are not supported; take a value or a const reference}}
void rvalueRef(std::string &&s) { (void)s; }
// expected-error@+1 {{parameter 'c' of action 'plainChar' has unsupported type 'char': plain char has no fixed signedness; use int8_t, uint8_t or std::string}}
void plainChar(char c) { (void)c; }
// expected-error@+1 {{parameter 'c' of action 'wide' has unsupported type 'char32_t': character types are not supported; use std::string or an integer type}}
void wide(char32_t c) { (void)c; }
// expected-error@+1 {{parameter 'x' of action 'huge' has unsupported type '__int128': integers wider than 64 bits are not supported}}
void huge(__int128 x) { (void)x; }
// expected-error@+1 {{parameter 'c' of action 'enumeration' has unsupported type 'Color': enumerations are not supported; use an integer type}}
void enumeration(Color c) { (void)c; }
// expected-error@+1 {{parameter 'a' of action 'array' has unsupported type 'uint8_t[4]' (aka 'unsigned char[4]'): arrays are not supported; use std::vector}}
void array(uint8_t a[4]) { (void)a; }
// expected-error@+1 {{parameter 's' of action 'secret' has unsupported type 'Secret': field 'hidden' is not public}}
void secret(Secret s) { (void)s; }
// expected-error@+1 {{parameter 'o' of action 'nested' has unsupported type 'const Outer &': field 'rates' of 'Outer': vector element: field 'rate' of 'Rate': floating-point numbers are not supported}}
void nested(const Outer &o) { (void)o; }
// expected-error@+1 {{parameter 'v' of action 'virtuals' has unsupported type 'Virtual': the struct has virtual functions}}
void virtuals(Virtual v) { (void)v; }
// expected-error@+1 {{parameter 'd' of action 'derived' has unsupported type 'Derived': the struct has base classes}}
void derived(Derived d) { (void)d; }
// expected-error@+1 {{parameter 'e' of action 'empty' has unsupported type 'Empty': the struct has no fields}}
void empty(Empty e) { (void)e; }
// expected-error@+1 {{parameter 't' of action 'tooWide' has unsupported type 'TooWide': the struct has 17 fields; at most 16 are supported}}
void tooWide(TooWide t) { (void)t; }
// expected-error@+1 {{parameter 'b' of action 'bits' has unsupported type 'Bits': field 'low' is a bit-field}}
void bits(Bits b) { (void)b; }
// expected-error@+1 {{parameter 'f' of action 'fixed' has unsupported type 'Fixed': field 'value' is const and could not be decoded}}
void fixed(Fixed f) { (void)f; }
// expected-error@+1 {{parameter 'b' of action 'built' has unsupported type 'Built': the struct is not an aggregate (it has user-provided constructors)}}
void built(Built b) { (void)b; }
// expected-error@+1 {{parameter 'b' of action 'boxed' has unsupported type 'Box<int32_t>' (aka 'Box<int>'): class template specializations are not supported; use a plain struct}}
void boxed(Box<int32_t> b) { (void)b; }
// expected-error@+1 {{parameter 'e' of action 'either' has unsupported type 'Either': unions are not supported}}
void either(Either e) { (void)e; }
// expected-error@+1 {{parameter 'o' of action 'optional' has unsupported type 'std::optional<int32_t>' (aka 'optional<int>'): of the standard library only std::string, std::vector and std::map are supported}}
void optional(std::optional<int32_t> o) { (void)o; }
// expected-error@+1 {{parameter 'a' of action 'stdArray' has unsupported type 'std::array<uint8_t, 4>' (aka 'array<unsigned char, 4>'): of the standard library only std::string, std::vector and std::map are supported}}
void stdArray(std::array<uint8_t, 4> a) { (void)a; }
// expected-error@+1 {{parameter 'v' of action 'views' has unsupported type 'std::vector<std::string_view>' (aka 'vector<basic_string_view<char>>'): vector element: std::string_view is only allowed as an action parameter; use std::string}}
void views(std::vector<std::string_view> v) { (void)v; }
// expected-error@+1 {{parameter 'm' of action 'structKey' has unsupported type 'std::map<Base, int32_t>' (aka 'map<Base, int>'): map keys must be bool, integers or std::string}}
void structKey(std::map<Base, int32_t> m) { (void)m; }
// expected-error@+1 {{parameter 'm' of action 'floatValue' has unsupported type 'std::map<std::string, float>' (aka 'map<basic_string<char, char_traits<char>, allocator<char>>, float>'): map value: floating-point numbers are not supported}}
void floatValue(std::map<std::string, float> m) { (void)m; }
// expected-error@+1 {{result of action 'reference' has unsupported type 'const std::string &' (aka 'const basic_string<char, char_traits<char>, allocator<char>> &'): actions return values, not references}}
const std::string &reference();
// expected-error@+1 {{result of action 'real' has unsupported type 'float': floating-point numbers are not supported}}
float real();
// expected-error@+1 {{result of action 'view' has unsupported type 'std::string_view' (aka 'basic_string_view<char>'): std::string_view is only allowed as an action parameter; use std::string}}
std::string_view view();

// expected-error@+1 {{key of table 'rates' has unsupported type 'double': floating-point numbers are not supported}}
CORVANE_TABLE(rates, double, uint64_t);
// expected-error@+1 {{value of table 'secrets' has unsupported type 'Secret': field 'hidden' is not public}}
CORVANE_TABLE(secrets, std::string, Secret);

CORVANE_ACTIONS(floating, pointer, mutableRef, rvalueRef, plainChar, wide, huge, enumeration,
                array, secret, nested, virtuals, derived, empty, tooWide, bits, fixed, built,
                boxed, either, optional, stdArray, views, structKey, floatValue, reference, real,
                view)
