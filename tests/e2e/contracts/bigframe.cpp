// A 16 KiB local array: more than the default stack holds.
#include <corvane/contract.hpp>

#include <cstring>

extern "C" void apply() {
  char buffer[16384];
  std::string in = corvane::input();
  memset(buffer, 'x', sizeof buffer);
  corvane::output(std::string(buffer + in.size(), 4));
}
