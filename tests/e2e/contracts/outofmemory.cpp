// Allocations too large for the contract's memory, by the way the input
// names.  A throwing new must not return: the write after it would land
// at address 0.
#include <corvane/contract.hpp>

#include <cstdlib>
#include <new>

namespace {
constexpr size_t Huge = 300 << 20;
struct Block {
  char bytes[Huge];
};
struct alignas(64) AlignedBlock {
  char bytes[Huge];
};
} // namespace

extern "C" void apply() {
  std::string how = corvane::input();
  corvane::storage_set("k", "changed");
  char *p = nullptr;
  if (how == "new")
    p = (new Block)->bytes;
  else if (how == "new[]")
    p = new char[Huge];
  else if (how == "aligned new")
    p = (new AlignedBlock)->bytes;
  else if (how == "aligned new[]")
    p = static_cast<char *>(::operator new[](Huge, std::align_val_t(64)));
  else if (how == "nothrow new")
    p = new (std::nothrow) char[Huge];
  else if (how == "malloc")
    p = static_cast<char *>(malloc(Huge));
  if (!p) {
    corvane::output("null");
    return;
  }
  p[0] = 1;
  corvane::output("allocated");
}
