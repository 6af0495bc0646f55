//===- new.cpp - operator new and delete over the contract's allocator ----===//
//
// Contracts are compiled without exceptions, and clang then takes what a
// throwing operator new returns to be non-null: it drops the caller's null
// checks.  The C++ library's own operator new returns null when built
// without exceptions, so a failed allocation went on into writes through a
// null pointer.  Here a throwing form that cannot allocate ends the call as
// a failure instead, as an uncaught std::bad_alloc ends a native program.
// The library's versions are left out of the sysroot's libc++.
//
//===----------------------------------------------------------------------===//

#include <corvane/host.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void outOfMemory(std::size_t size) {
  char digits[20];
  std::size_t count = 0;
  do
    digits[count++] = static_cast<char>('0' + size % 10);
  while ((size /= 10) != 0);
  char message[64] = "out of memory: ";
  std::size_t at = sizeof "out of memory: " - 1;
  while (count > 0)
    message[at++] = digits[--count];
  for (const char *unit = " bytes"; *unit; ++unit)
    message[at++] = *unit;
  corvane_abort(message, static_cast<uint32_t>(at));
}

// Null once the new handler, if any, gives up, as the standard's nothrow
// forms do.  An alignment of 0 asks for malloc's.
void *allocate(std::size_t size, std::size_t alignment) noexcept {
  if (size == 0)
    size = 1;
  if (alignment != 0 && alignment < sizeof(void *))
    alignment = sizeof(void *);
  for (;;) {
    void *block = alignment ? std::aligned_alloc(alignment, size) : std::malloc(size);
    if (block)
      return block;
    std::new_handler handler = std::get_new_handler();
    if (!handler)
      return nullptr;
    handler();
  }
}

void *allocateOrFail(std::size_t size, std::size_t alignment) {
  void *block = allocate(size, alignment);
  if (!block)
    outOfMemory(size);
  return block;
}

std::size_t value(std::align_val_t alignment) { return static_cast<std::size_t>(alignment); }

} // namespace

void *operator new(std::size_t size) { return allocateOrFail(size, 0); }
void *operator new[](std::size_t size) { return allocateOrFail(size, 0); }
void *operator new(std::size_t size, std::align_val_t alignment) {
  return allocateOrFail(size, value(alignment));
}
void *operator new[](std::size_t size, std::align_val_t alignment) {
  return allocateOrFail(size, value(alignment));
}

void *operator new(std::size_t size, const std::nothrow_t &) noexcept { return allocate(size, 0); }
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
  return allocate(size, 0);
}
void *operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t &) noexcept {
  return allocate(size, value(alignment));
}
void *operator new[](std::size_t size, std::align_val_t alignment,
                     const std::nothrow_t &) noexcept {
  return allocate(size, value(alignment));
}

void operator delete(void *block) noexcept { std::free(block); }
void operator delete[](void *block) noexcept { std::free(block); }
void operator delete(void *block, std::size_t) noexcept { std::free(block); }
void operator delete[](void *block, std::size_t) noexcept { std::free(block); }
void operator delete(void *block, const std::nothrow_t &) noexcept { std::free(block); }
void operator delete[](void *block, const std::nothrow_t &) noexcept { std::free(block); }
void operator delete(void *block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void *block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void *block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void *block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete(void *block, std::align_val_t, const std::nothrow_t &) noexcept {
  std::free(block);
}
void operator delete[](void *block, std::align_val_t, const std::nothrow_t &) noexcept {
  std::free(block);
}
