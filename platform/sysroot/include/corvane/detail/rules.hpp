//===- corvane/detail/rules.hpp - Limits and names of the interface -------===//
//
// What both sides of a contract's interface must agree on: the SDK inside
// the contract, and the host tools that describe and call it (zo++'s
// interface plug-in and the runner).  Plain C++17, so that both compile it.
// Like every SDK header it defines only inline entities, so any number of a
// contract's sources may include it and still name one object each.
//
//===----------------------------------------------------------------------===//

#ifndef CORVANE_DETAIL_RULES_HPP
#define CORVANE_DETAIL_RULES_HPP

#include <cstddef>
#include <string_view>

namespace corvane {

// The most fields a struct in an action or table may have.
inline constexpr size_t max_struct_fields = 16;

// The longest storage key, table keys included; the host refuses longer ones.
inline constexpr size_t max_key_size = 256;

namespace detail {

constexpr bool is_list_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// The index-th name of an action list as CORVANE_ACTIONS spells it: the
// list split at commas, blanks trimmed, then a leading '&' and any
// qualification dropped.  Empty past the last name.
constexpr std::string_view action_name(std::string_view list, size_t index) {
  for (; index > 0; --index) {
    size_t comma = list.find(',');
    if (comma == std::string_view::npos)
      return {};
    list.remove_prefix(comma + 1);
  }
  list = list.substr(0, list.find(','));
  while (!list.empty() && is_list_blank(list.front()))
    list.remove_prefix(1);
  while (!list.empty() && is_list_blank(list.back()))
    list.remove_suffix(1);
  if (!list.empty() && list.front() == '&')
    list.remove_prefix(1);
  size_t scope = list.rfind("::");
  if (scope != std::string_view::npos)
    list.remove_prefix(scope + 2);
  return list;
}

constexpr size_t name_count(std::string_view list) {
  size_t count = 1;
  for (char c : list)
    count += c == ',';
  return count;
}

// Action, struct, field and table names: C identifiers.
constexpr bool is_identifier(std::string_view name) {
  if (name.empty() || (name.front() >= '0' && name.front() <= '9'))
    return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
      return false;
  return true;
}

} // namespace detail
} // namespace corvane

#endif
