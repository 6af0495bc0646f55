// Every type an action may take and return, as the description writes it.
// The same source gives the same bytes, whether only checked, compiled or
// compiled to IR with debug information as for the analyzer.

// RUN: rm -f %t.abi %t.o.abi %t.g.abi
// RUN: %clang %iface %t.abi -fsyntax-only %s
// RUN: %abi-lines %t.abi | FileCheck %s --match-full-lines
// RUN: %clang %iface %t.o.abi -O2 -c %s -o %t.o
// RUN: %clang %iface %t.g.abi -O0 -g -emit-llvm -S -c %s -o %t.g.ll
// RUN: cmp %t.abi %t.o.abi
// RUN: cmp %t.abi %t.g.abi

#include <corvane/actions.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// CHECK:      version 1
// CHECK-NEXT: message ""

// Integers by width and signedness, whatever their name: long is 32 bits
// on wasm32, and the character types with a fixed signedness are 8-bit
// integers.
// CHECK-NEXT: action integers(a: int8, b: uint8, c: int16, d: uint16, e: int32, f: uint32, g: int64, h: uint64, i: int32, j: uint32, k: int8, l: uint8, m: uint32) -> uint64
uint64_t integers(int8_t a, uint8_t b, int16_t c, uint16_t d, int32_t e, uint32_t f, int64_t g,
                  uint64_t h, long i, unsigned long j, signed char k, unsigned char l, size_t m) {
  return static_cast<uint64_t>(a + b + c + d + e + g + i + k + l) + f + h + j + m;
}

// const references and top-level const are the value's type; string_view
// is a string.
// CHECK-NEXT: action texts(a: string, b: string, c: string, d: bool, e: uint64) -> string
std::string texts(std::string a, const std::string &b, std::string_view c, const bool d,
                  const uint64_t &e) {
  return d && e ? a + b + std::string(c) : a;
}

namespace shapes {
struct Inner {
  int64_t value;
};
} // namespace shapes

// CHECK-NEXT: action containers(a: vector<uint8>, b: vector<vector<string>>, c: map<string,uint64>, d: map<int32,vector<bool>>, e: map<bool,string>) -> map<uint64,Inner>
std::map<uint64_t, shapes::Inner> containers(std::vector<uint8_t> a,
                                             const std::vector<std::vector<std::string>> &b,
                                             std::map<std::string, uint64_t> c,
                                             std::map<int32_t, std::vector<bool>> d,
                                             std::map<bool, std::string> e);

// A struct that reaches itself through a vector, and one with the most
// fields there may be.
struct Tree {
  std::string label;
  std::vector<Tree> children;
};

struct Wide {
  uint8_t f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12, f13, f14, f15;
  std::vector<shapes::Inner> f16;
};

typedef struct {
  uint16_t x;
} Named;

// CHECK-NEXT: action structs(tree: Tree, wide: Wide, named: Named) -> void
void structs(Tree tree, const Wide &wide, Named named) { (void)tree, (void)wide, (void)named; }

// Qualified and address-of spellings name the function.
// CHECK-NEXT: action shaped(inner: Inner) -> vector<Tree>
// CHECK-NEXT: action nothing() -> bool
namespace api {
std::vector<Tree> shaped(shapes::Inner inner);
struct Holder {
  static bool nothing() { return false; }
};
} // namespace api

// Structs by name, each once, fields in declaration order.
// CHECK-NEXT: struct Inner {value: int64}
// CHECK-NEXT: struct Named {x: uint16}
// CHECK-NEXT: struct Tree {label: string, children: vector<Tree>}
// CHECK-NEXT: struct Wide {f1: uint8, f2: uint8, f3: uint8, f4: uint8, f5: uint8, f6: uint8, f7: uint8, f8: uint8, f9: uint8, f10: uint8, f11: uint8, f12: uint8, f13: uint8, f14: uint8, f15: uint8, f16: vector<Inner>}

// Tables by name, wherever declared; a struct key is fine.
// CHECK-NEXT: table counts: Tree -> uint8
// CHECK-NEXT: table names: string -> vector<string>
// CHECK-EMPTY:
CORVANE_TABLE(names, std::string, std::vector<std::string>);
namespace store {
CORVANE_TABLE(counts, Tree, uint8_t);
}

CORVANE_ACTIONS(integers, texts, containers, structs, api::shaped, &api::Holder::nothing)
