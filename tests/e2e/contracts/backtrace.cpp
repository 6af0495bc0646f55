// A trap or an abort three calls below apply, as the input says, for the
// backtrace ctrrun prints.  The markers name the lines the frames point at.
#include <corvane/contract.hpp>

namespace fixture {
[[gnu::noinline]] int deepest(const char *how) {
  if (how[0] == 'a')
    corvane::abort("gave up"); // abort
  volatile int *far = reinterpret_cast<volatile int *>(0x70000000);
  return *far; // trap
}

[[gnu::noinline]] int middle(const char *how) {
  return deepest(how) + 1; // middle
}

[[gnu::noinline]] int outer(const char *how) {
  return middle(how) * 3; // outer
}
} // namespace fixture

extern "C" void apply() {
  std::string how = corvane::input();
  corvane::check(fixture::outer(how.c_str()) != 7, "unlikely"); // apply
}
