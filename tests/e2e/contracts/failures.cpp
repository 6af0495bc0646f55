// Ways for a call to fail, chosen by its input.
#include <corvane/contract.hpp>

#include <cassert>

#ifdef TELEPORT
// A host function no host provides.
__attribute__((import_module("env"), import_name("corvane_teleport"))) void teleport();
#endif

extern "C" void apply() {
  std::string how = corvane::input();
  if (how == "trap")
    __builtin_trap();
  if (how == "abort")
    corvane::abort("broken on purpose");
  if (how == "assert")
    assert(how.empty());
#ifdef TELEPORT
  if (how == "teleport")
    teleport();
#endif
  corvane::output("fine");
}
