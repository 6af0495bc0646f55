// Stores the ledger's entries.
#include "ledger.hpp"

// Declared here only; the contract's description lists it all the same.
CORVANE_TABLE(counters, std::string, uint64_t);

uint64_t add_entry(const Entry &entry) {
  uint64_t id = entry_count() + 1;
  counters.set("entries", id);
  entries.set(id, entry);
  corvane::log("entry " + std::to_string(id) + " " + std::to_string(CityHash64(entry.memo.data(), entry.memo.size())));
  return id;
}

uint64_t entry_count() { return counters.get("entries").value_or(0); }

std::string entities_in_book() { return entities_here(); }
