// A ledger in three sources: ledger.cpp (the actions), book.cpp and
// sums.cpp.  Each includes every header of the SDK and of the contract
// libraries, and this one, which declares the table they share.
#ifndef LEDGER_HPP
#define LEDGER_HPP

#include <bcmath/bcmath.hpp>
#include <cityhash/city.h>
#include <corvane/actions.hpp>
#include <corvane/contract.hpp>
#include <corvane/detail/rules.hpp>
#include <corvane/host.h>
#include <jsoncpp/json.hpp>

struct Entry {
  std::string memo;
  std::string amount; // a decimal number
};

CORVANE_TABLE(entries, uint64_t, Entry);

// The addresses of what the headers define, as the source that calls this
// sees them: each source has its own copy of the function, and one
// contract must still have one of each object.
static inline std::string entities_here() {
  const void *seen[] = {&entries, &corvane::max_key_size, &corvane::max_struct_fields,
                        &corvane::wire::is_map_key<std::string>,
                        &corvane::wire::is_integer<uint64_t>, &corvane::wire::is_struct<Entry>};
  return std::string(reinterpret_cast<const char *>(seen), sizeof seen);
}

// book.cpp
uint64_t add_entry(const Entry &entry);
uint64_t entry_count();
std::string entities_in_book();

// sums.cpp
std::string sum_entries();
std::string entities_in_sums();

#endif
