// The ledger's actions; the work is done in book.cpp and sums.cpp.
#include "ledger.hpp"

uint64_t record(const std::string &memo, const std::string &amount) {
  corvane::check(bcmath::compare(amount, "0", 2).has_value(), "not a number: " + amount);
  return add_entry(Entry{memo, amount});
}

std::string total() { return sum_entries(); }

bool one_of_each() {
  return entities_here() == entities_in_book() && entities_here() == entities_in_sums();
}

CORVANE_ACTIONS(record, total, one_of_each)
