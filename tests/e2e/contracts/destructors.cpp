// More registered destructors than the runtime's first list holds, and a
// destructor that registers another one while the list is being run.
#include <corvane/contract.hpp>

#include <cstdint>
#include <cstdlib>

extern "C" int __cxa_atexit(void (*)(void *), void *, void *);
extern "C" void *__dso_handle;

namespace {

void say(void *number) { corvane::output(std::to_string(reinterpret_cast<uintptr_t>(number)) + ","); }

void lastWords() { corvane::output("last;"); }

struct Late {
  ~Late() {
    corvane::output("late;");
    atexit(lastWords);
  }
};

struct Many {
  Many() {
    for (uintptr_t i = 0; i < 100; ++i)
      __cxa_atexit(say, reinterpret_cast<void *>(i), &__dso_handle);
  }
};

Late late;
Many many;

} // namespace

extern "C" void apply() { corvane::output("body;"); }
