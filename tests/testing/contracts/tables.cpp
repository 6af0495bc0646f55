// One table for each type of the wire-format vectors, keyed and valued by
// that type; store_ID(value) stores the value under itself and returns it.
#include "WireTypes.hpp"

#include <corvane/actions.hpp>

#define ZO_TABLE(id, text)                                                                         \
  CORVANE_TABLE(t_##id, wire_types::id, wire_types::id);                                           \
  wire_types::id store_##id(const wire_types::id &value) {                                         \
    t_##id.set(value, value);                                                                      \
    return value;                                                                                  \
  }
ZO_WIRE_TYPES(ZO_TABLE)

CORVANE_ACTIONS(store_bool_, store_int8, store_uint8, store_int16, store_uint16, store_int32,
                store_uint32, store_int64, store_uint64, store_string, store_vector_uint8,
                store_vector_string, store_map_string_uint64, store_map_int32_bool,
                store_map_bool_string, store_point, store_vector_point,
                store_map_uint64_vector_string)
