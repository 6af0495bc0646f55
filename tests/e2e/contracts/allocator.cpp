// Tells a general allocator, which reuses freed memory, from the bump
// allocator, which never does.
#include <corvane/contract.hpp>

#include <cstdlib>

extern "C" void apply() {
  void *first = malloc(100);
  free(first);
  void *second = malloc(100);
  corvane::output(first == second ? "reused" : "fresh");
  free(second);
}
