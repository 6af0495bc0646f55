// Two globals with constructors and destructors around a body.
#include <corvane/contract.hpp>

struct Tracer {
  explicit Tracer(const char *name) : name(name) { corvane::output(std::string("ctor ") + name + ";"); }
  ~Tracer() { corvane::output(std::string("dtor ") + name + ";"); }
  const char *name;
};

Tracer first("A");
Tracer second("B");

extern "C" void apply() { corvane::output("body;"); }
