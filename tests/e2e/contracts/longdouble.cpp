// long double formatted and parsed, next to double, with the default stack.
#include <corvane/contract.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" void apply() {
  long double tiny = strtold("2.5e-3000", nullptr);
  long double scanned = 0;
  sscanf("0.25", "%Lf", &scanned);
  double plain = strtod("0.125", nullptr);
  char line[160];
  snprintf(line, sizeof line, "%Lg|%s|%Lg|%Lg|%.3f|%g|%.20Lf", 1.5L, std::to_string(1.5L).c_str(),
           tiny, scanned, 2.0 / 3.0, plain, 1.0L / 3);
  corvane::output(line);
}
