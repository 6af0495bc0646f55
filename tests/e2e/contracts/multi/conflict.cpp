// A table of the ledger's name "counters" (book.cpp) with other types.
#include "ledger.hpp"

namespace old {
CORVANE_TABLE(counters, uint64_t, uint64_t);
}

uint64_t old_count() { return old::counters.get(0).value_or(0); }
