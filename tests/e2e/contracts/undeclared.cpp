// Calls a function that neither the contract, its libraries nor the host
// define.
#include <corvane/contract.hpp>

extern "C" int not_declared_anywhere(int);

extern "C" void apply() { corvane::output(std::to_string(not_declared_anywhere(1))); }
