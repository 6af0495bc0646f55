// The call context as a contract sees it.
#include <corvane/actions.hpp>

#include <string>

std::string context() {
  return corvane::self() + " " + std::to_string(corvane::block_height()) + " " +
         std::to_string(corvane::block_time());
}

CORVANE_ACTIONS(context)
