// The registry's storage and rules, shared by its sources.
#pragma once

#include <corvane/actions.hpp>

#include <cstdint>
#include <string>

namespace registry {

// Who holds each name, and how many names each account holds.
CORVANE_TABLE(owners, std::string, std::string);
CORVANE_TABLE(holdings, std::string, uint32_t);

// Names are 3 to 32 lower-case letters, digits and '-'.
bool valid_name(const std::string &name);

// The most names one account may hold.
constexpr uint32_t max_names = 3;

} // namespace registry
