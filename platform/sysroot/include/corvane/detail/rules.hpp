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

// One name of an action list as CORVANE_ACTIONS spells it: blanks trimmed,
// then a leading '&' and any qualification dropped.
constexpr std::string_view trimmed_action_name(std::string_view item) {
  while (!item.empty() && is_list_blank(item.front()))
    item.remove_prefix(1);
  while (!item.empty() && is_list_blank(item.back()))
    item.remove_suffix(1);
  if (!item.empty() && item.front() == '&')
    item.remove_prefix(1);
  size_t scope = item.rfind("::");
  if (scope != std::string_view::npos)
    item.remove_prefix(scope + 2);
  return item;
}

// Cuts an action list at its commas, in one pass, and calls
// each(index, name) on every name in list order.  Everything that splits a
// list goes through here, so the dispatcher and the interface description
// name the same actions in the same order.
template <class Each> constexpr void split_action_names(std::string_view list, Each &&each) {
  for (size_t index = 0;; ++index) {
    size_t comma = list.find(',');
    each(index, trimmed_action_name(list.substr(0, comma)));
    if (comma == std::string_view::npos)
      return;
    list.remove_prefix(comma + 1);
  }
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
