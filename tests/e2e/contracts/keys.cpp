// Storage keys around the length limit, chosen by the call's input "HOW N":
// raw, get and erase use a key of N bytes; table stores under the table
// key "t:" + the encoded string of N bytes, which is N + 4 bytes long for
// 128 <= N < 16384.
#include <corvane/actions.hpp>

static constexpr corvane::table<std::string, uint32_t> numbers{"t"};

extern "C" void apply() {
  std::string in = corvane::input();
  size_t space = in.find(' ');
  std::string how = in.substr(0, space);
  size_t n = 0;
  for (char c : in.substr(space + 1))
    n = n * 10 + static_cast<size_t>(c - '0');
  std::string key(n, 'k');
  if (how == "raw")
    corvane::storage_set(key, "v");
  else if (how == "get")
    corvane::output(corvane::storage_get(key).value_or(""));
  else if (how == "erase")
    corvane::storage_erase(key);
  else if (how == "table")
    numbers.set(key, 7);
  corvane::output("done");
}
