// Echoes one value of each wire-format vector type: the SDK decodes the
// argument and encodes the same value as the result.
#include "WireTypes.hpp"

#include <corvane/actions.hpp>

#define ZO_ECHO(id, text)                                                                          \
  wire_types::id echo_##id(const wire_types::id &value) { return value; }
ZO_WIRE_TYPES(ZO_ECHO)

CORVANE_ACTIONS(echo_bool_, echo_int8, echo_uint8, echo_int16, echo_uint16, echo_int32, echo_uint32,
                echo_int64, echo_uint64, echo_string, echo_vector_uint8, echo_vector_string,
                echo_map_string_uint64, echo_map_int32_bool, echo_map_bool_string, echo_point,
                echo_vector_point, echo_map_uint64_vector_string)
