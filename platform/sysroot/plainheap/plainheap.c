/*===- plainheap.c - The simple heap: a bump allocator ---------------------===
 *
 * Memory is handed out from __heap_base upwards and never reused: free does
 * nothing.  A contract call is short, so this is smaller and faster than a
 * general allocator for contracts that allocate little.  Each block is
 * preceded by its size, so realloc can copy it.
 *
 *===----------------------------------------------------------------------===*/

#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

extern unsigned char __heap_base;

#define PAGE_SIZE 65536u
#define HEADER 16u /* keeps every block 16-byte aligned */

static uintptr_t next;

static void *bump(size_t size, size_t alignment) {
  if (!next)
    next = (uintptr_t)&__heap_base;
  if (alignment < HEADER)
    alignment = HEADER;
  uintptr_t block = (next + HEADER + alignment - 1) & ~(uintptr_t)(alignment - 1);
  if (block < next || size > SIZE_MAX - block) {
    errno = ENOMEM;
    return NULL;
  }
  uintptr_t end = block + size;
  uintptr_t limit = __builtin_wasm_memory_size(0) * PAGE_SIZE;
  if (end > limit) {
    size_t pages = (end - limit + PAGE_SIZE - 1) / PAGE_SIZE;
    if (__builtin_wasm_memory_grow(0, pages) == SIZE_MAX) {
      errno = ENOMEM;
      return NULL;
    }
  }
  ((size_t *)block)[-1] = size;
  next = end;
  return (void *)block;
}

void *malloc(size_t size) { return bump(size, HEADER); }

void free(void *block) { (void)block; }

void *calloc(size_t count, size_t size) {
  if (size && count > SIZE_MAX / size) {
    errno = ENOMEM;
    return NULL;
  }
  /* Memory past the bump pointer has never been handed out, and grown
   * memory is zero, but a contract may have written there through a stray
   * pointer: clear it. */
  void *block = bump(count * size, HEADER);
  if (block)
    memset(block, 0, count * size);
  return block;
}

size_t malloc_usable_size(void *block) { return block ? ((size_t *)block)[-1] : 0; }

void *realloc(void *block, size_t size) {
  if (!block)
    return malloc(size);
  size_t old = malloc_usable_size(block);
  if (size <= old) {
    ((size_t *)block)[-1] = size;
    return block;
  }
  void *grown = malloc(size);
  if (grown)
    memcpy(grown, block, old);
  return grown;
}

void *aligned_alloc(size_t alignment, size_t size) {
  if (alignment == 0 || (alignment & (alignment - 1)) != 0) {
    errno = EINVAL;
    return NULL;
  }
  return bump(size, alignment);
}

int posix_memalign(void **result, size_t alignment, size_t size) {
  if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0)
    return EINVAL;
  void *block = bump(size, alignment);
  if (!block)
    return ENOMEM;
  *result = block;
  return 0;
}

/* The names by which the rest of the C library calls the allocator. */
void *__libc_malloc(size_t size) __attribute__((alias("malloc")));
void *__libc_calloc(size_t count, size_t size) __attribute__((alias("calloc")));
void __libc_free(void *block) __attribute__((alias("free")));
