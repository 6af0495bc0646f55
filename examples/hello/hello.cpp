// The smallest contract: greets whoever calls it.
#include <corvane/contract.hpp>

extern "C" void apply() {
  std::string name = corvane::input();
  corvane::output("Hello, " + (name.empty() ? corvane::caller() : name) + "!\n");
}
