// State that lives in the instance: a global counter, a function-local
// static with a destructor and one without.  Storage is what calls share.
#include <corvane/contract.hpp>

namespace {
int calls;

struct Named {
  explicit Named(const char *name) : name(name) { corvane::output(std::string("make ") + name + ";"); }
  ~Named() { corvane::output(std::string("drop ") + name + ";"); }
  std::string name;
};

const Named &local() {
  static Named once("local");
  return once;
}

int next() {
  static int counter;
  return ++counter;
}
} // namespace

extern "C" void apply() {
  ++calls;
  std::string stored = corvane::storage_get("n").value_or("");
  corvane::storage_set("n", stored + "+");
  corvane::output("calls=" + std::to_string(calls) + ";next=" + std::to_string(next()) +
                  ";" + local().name + ";stored=" + stored + ";");
}
