// Adds up the ledger's entries.
#include "ledger.hpp"

std::string sum_entries() {
  json::Array amounts;
  std::string sum = "0";
  for (uint64_t id = 1; id <= entry_count(); ++id) {
    std::string amount = entries.get(id)->amount;
    amounts.push_back(amount);
    sum = bcmath::add(sum, amount, 2).value_or("?");
  }
  corvane::log(json::write(amounts));
  return sum;
}

std::string entities_in_sums() { return entities_here(); }
