// A second action list, which the ledger (ledger.cpp) must refuse.
#include "ledger.hpp"

uint64_t count() { return entry_count(); }

CORVANE_ACTIONS(count)
