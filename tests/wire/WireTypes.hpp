//===- WireTypes.hpp - The C++ types of the wire-format vectors -----------===//
//
// Each type of vectors.txt, by an identifier, as a contract declares it.
// Shared by the SDK's codec compiled natively and by the contract that
// echoes each type, so both read the vectors through the same C++ types.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_TESTS_WIRE_WIRETYPES_HPP
#define ZO_TESTS_WIRE_WIRETYPES_HPP

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct Point {
  int32_t x;
  std::string label;
};

namespace wire_types {
using bool_ = bool;
using int8 = int8_t;
using uint8 = uint8_t;
using int16 = int16_t;
using uint16 = uint16_t;
using int32 = int32_t;
using uint32 = uint32_t;
using int64 = int64_t;
using uint64 = uint64_t;
using string = std::string;
using vector_uint8 = std::vector<uint8_t>;
using vector_string = std::vector<std::string>;
using map_string_uint64 = std::map<std::string, uint64_t>;
using map_int32_bool = std::map<int32_t, bool>;
using map_bool_string = std::map<bool, std::string>;
using point = Point;
using vector_point = std::vector<Point>;
using map_uint64_vector_string = std::map<uint64_t, std::vector<std::string>>;
} // namespace wire_types

// X(identifier, type as the interface description spells it)
// clang-format off
#define ZO_WIRE_TYPES(X)                                                       \
  X(bool_, "bool")                                                             \
  X(int8, "int8")                                                              \
  X(uint8, "uint8")                                                            \
  X(int16, "int16")                                                            \
  X(uint16, "uint16")                                                          \
  X(int32, "int32")                                                            \
  X(uint32, "uint32")                                                          \
  X(int64, "int64")                                                            \
  X(uint64, "uint64")                                                          \
  X(string, "string")                                                          \
  X(vector_uint8, "vector<uint8>")                                             \
  X(vector_string, "vector<string>")                                           \
  X(map_string_uint64, "map<string,uint64>")                                   \
  X(map_int32_bool, "map<int32,bool>")                                         \
  X(map_bool_string, "map<bool,string>")                                       \
  X(point, "Point")                                                            \
  X(vector_point, "vector<Point>")                                             \
  X(map_uint64_vector_string, "map<uint64,vector<string>>")
// clang-format on

#endif
