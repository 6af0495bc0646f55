// A thread_local object, a function-local static and a global, each with a
// destructor.  The contract's one thread ends with the call: thread_local
// objects go first, then the static ones, last constructed first.
#include <corvane/contract.hpp>

namespace {
struct Named {
  explicit Named(const char *name) : name(name) {}
  ~Named() { corvane::output(std::string(name) + ";"); }
  const char *name;
};

Named global("global");

Named &local() {
  static Named once("static");
  return once;
}

Named &perThread() {
  thread_local Named mine("thread_local");
  return mine;
}
} // namespace

extern "C" void apply() {
  local();
  perThread();
  corvane::output("body;");
}
