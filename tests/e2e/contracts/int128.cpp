// 128-bit division and remainder, which compiler-rt's builtins do, on
// operands the compiler cannot fold.  "smash" is what a corrupted stack
// guard in those builtins leads to.
#include <corvane/contract.hpp>

extern "C" void __stack_chk_fail();

namespace {
std::string decimal(unsigned __int128 value) {
  std::string digits;
  do
    digits.insert(digits.begin(), char('0' + unsigned(value % 10)));
  while ((value /= 10) != 0);
  return digits;
}

std::string decimal(__int128 value) {
  return value < 0 ? "-" + decimal(-static_cast<unsigned __int128>(value))
                   : decimal(static_cast<unsigned __int128>(value));
}
} // namespace

extern "C" void apply() {
  std::string in = corvane::input();
  if (in == "smash")
    __stack_chk_fail();
  __int128 a = (static_cast<__int128>(1) << 100) + 12345 + __int128(in.size());
  __int128 b = 1000000007 + __int128(in.size());
  unsigned __int128 all = ~static_cast<unsigned __int128>(in.size());
  corvane::output(decimal(a / b) + " " + decimal(a % b) + " " + decimal(-a / b) + " " +
                  decimal(-a % b) + " " + decimal(all / static_cast<unsigned __int128>(b)) +
                  " " + decimal(all % static_cast<unsigned __int128>(b)));
}
