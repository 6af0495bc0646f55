/*===- runtime.c - What every contract needs from its runtime --------------===
 *
 * Global and thread_local destructors, abort and assert, the stack
 * protector, and the C library's file output, all reporting through the
 * host.  The C library's own versions of these are
 * left out of the sysroot's libc: its __cxa_finalize does nothing, and its
 * abort, assert and stdio would need a file system.
 *
 * `apply` runs __wasm_call_ctors on entry and __cxa_finalize(0) before it
 * returns, so the destructors that the constructors registered run on every
 * call, last registered first, each once.  __cxa_finalize(0) also ends the
 * call's output: what stdio still holds and a last line without a newline
 * reach the log.
 *
 *===----------------------------------------------------------------------===*/

#include <corvane/host.h>

#include <errno.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>

#ifdef CORVANE_DEBUG
#define DEBUG_LOG(text) corvane_log(text, sizeof(text) - 1)
#else
#define DEBUG_LOG(text) ((void)0)
#endif

/*--- Destructors ---------------------------------------------------------*/

struct exit_entry {
  void (*fn)(void *);
  void *arg;
  void *dso;
  int thread; /* a thread_local object's: runs before the others */
};

/* Contracts rarely have more globals than this; past it the list moves to
 * the heap. */
static struct exit_entry initial_entries[64];
static struct exit_entry *entries = initial_entries;
static size_t entry_count;
static size_t entry_capacity = sizeof initial_entries / sizeof initial_entries[0];

static int grow_entries(void) {
  size_t capacity = entry_capacity * 2;
  struct exit_entry *grown = malloc(capacity * sizeof *grown);
  if (!grown)
    return -1;
  memcpy(grown, entries, entry_count * sizeof *grown);
  if (entries != initial_entries)
    free(entries);
  entries = grown;
  entry_capacity = capacity;
  return 0;
}

static int add_entry(void (*fn)(void *), void *arg, void *dso, int thread) {
#ifdef CORVANE_DEBUG
  if (!fn)
    corvane_abort("__cxa_atexit: null destructor", 29);
#endif
  if (entry_count == entry_capacity && grow_entries() != 0)
    return -1;
  entries[entry_count].fn = fn;
  entries[entry_count].arg = arg;
  entries[entry_count].dso = dso;
  entries[entry_count].thread = thread;
  ++entry_count;
  return 0;
}

int __cxa_atexit(void (*fn)(void *), void *arg, void *dso) { return add_entry(fn, arg, dso, 0); }

/* A contract runs on one thread, which ends with the call: its thread_local
 * objects are destroyed then, before the static ones, as at a native exit. */
int __cxa_thread_atexit(void (*fn)(void *), void *arg, void *dso) {
  return add_entry(fn, arg, dso, 1);
}

static void call_plain(void *fn) { ((void (*)(void))fn)(); }

int atexit(void (*fn)(void)) { return __cxa_atexit(call_plain, (void *)fn, NULL); }

/* The entry to run next: the last registered thread_local destructor if
 * there is one (only at the end of the call, handle 0), else the last
 * registered destructor of the module. */
static size_t next_entry(void *dso) {
  size_t i = entry_count;
  while (!dso && i > 0)
    if (entries[--i].thread)
      return i;
  for (i = entry_count; i > 0; --i)
    if (!entries[i - 1].thread && (!dso || entries[i - 1].dso == dso))
      return i - 1;
  return entry_count;
}

static void flush_output(void);

/* A handle of 0 runs every registered destructor and ends the call's
 * output; another runs those its module registered.  Each entry leaves the
 * list before it runs, so it runs once; a destructor may register more,
 * which run next, or finalise others, which are then gone: the search
 * starts again after each call. */
void __cxa_finalize(void *dso) {
  DEBUG_LOG("corvane: running destructors");
  size_t i;
  while ((i = next_entry(dso)) != entry_count) {
    struct exit_entry entry = entries[i];
    memmove(&entries[i], &entries[i + 1], (entry_count - i - 1) * sizeof *entries);
    --entry_count;
    entry.fn(entry.arg);
  }
  if (!dso)
    flush_output();
}

/* exit() runs the destructors as well. */
void __funcs_on_exit(void) { __cxa_finalize(NULL); }

/*--- abort and assert ----------------------------------------------------*/

/* Every way a call ends as a failure leads here, so the output it wrote
 * before reaches the log first. */
__attribute__((import_module("env"), import_name("corvane_abort"), noreturn)) void
host_abort(const char *message, uint32_t len);

void corvane_abort(const char *message, uint32_t len) {
  flush_output();
  host_abort(message, len);
}

void abort(void) { corvane_abort("abort() called", 14); }

static size_t append(char *buf, size_t at, size_t size, const char *text) {
  while (*text && at + 1 < size)
    buf[at++] = *text++;
  buf[at] = '\0';
  return at;
}

void __assert_fail(const char *expr, const char *file, int line, const char *func) {
  char number[12];
  char *digits = number + sizeof number - 1;
  unsigned value = line < 0 ? 0u : (unsigned)line;
  *digits = '\0';
  do
    *--digits = (char)('0' + value % 10);
  while ((value /= 10) != 0);

  /* The location first, so that a long expression cannot push it out. */
  char message[512];
  size_t at = append(message, 0, sizeof message, "assertion failed at ");
  at = append(message, at, sizeof message, file);
  at = append(message, at, sizeof message, ":");
  at = append(message, at, sizeof message, digits);
  at = append(message, at, sizeof message, " in ");
  at = append(message, at, sizeof message, func);
  at = append(message, at, sizeof message, ": ");
  at = append(message, at, sizeof message, expr);
  corvane_abort(message, (uint32_t)at);
}

/*--- The stack protector ------------------------------------------------*/

/* compiler-rt's builtins are built with a stack protector.  Without
 * randomness the guard is a fixed value; its zero byte stops string
 * overruns, the others catch overwrites with zeros or small numbers. */
uintptr_t __stack_chk_guard = 0x5ab3c200u;

_Noreturn void __stack_chk_fail(void) { corvane_abort("stack smashing detected", 23); }

/*--- exit and the environment --------------------------------------------*/

/* A call ends by returning from apply: exit() (which has run the
 * destructors by now) ends it as a failure, with the status in the
 * message. */
_Noreturn void _Exit(int status) {
  char message[32] = "exit(";
  size_t at = 5;
  unsigned value = status < 0 ? 0u - (unsigned)status : (unsigned)status;
  char digits[12];
  size_t n = 0;
  do
    digits[n++] = (char)('0' + value % 10);
  while ((value /= 10) != 0);
  if (status < 0)
    message[at++] = '-';
  while (n > 0)
    message[at++] = digits[--n];
  message[at++] = ')';
  corvane_abort(message, (uint32_t)at);
}

_Noreturn void _exit(int status) __attribute__((alias("_Exit")));

/* A contract has no environment: getenv finds nothing. */
extern char **__wasilibc_environ;
static char *no_environment[] = {NULL};

void __wasilibc_initialize_environ(void) { __wasilibc_environ = no_environment; }

void __wasilibc_ensure_environ(void) {
  if (__wasilibc_environ == (char **)-1)
    __wasilibc_initialize_environ();
}

void __wasilibc_deinitialize_environ(void) { __wasilibc_environ = (char **)-1; }

/*--- Files ---------------------------------------------------------------*/

/* Standard output and error are the host's log, which takes lines: they
 * count as terminals, so the C library flushes them at each newline. */
int __isatty(int fd) {
  if (fd == 1 || fd == 2)
    return 1;
  errno = EBADF;
  return 0;
}

int isatty(int fd) __attribute__((weak, alias("__isatty")));

/* What the C library writes to stdout or stderr becomes host log lines,
 * one per line, without the newline; a line longer than the buffer is cut
 * into several.  Each stream keeps its unfinished line until a newline
 * comes or the call ends. */
struct log_line {
  size_t length;
  char text[1024];
};

static struct log_line log_lines[2];

static void end_line(struct log_line *line) {
  corvane_log(line->text, (uint32_t)line->length);
  line->length = 0;
}

ssize_t writev(int fd, const struct iovec *iov, int count) {
  struct log_line *line = &log_lines[fd == 2];
  ssize_t total = 0;
  for (int i = 0; i < count; ++i) {
    const char *data = iov[i].iov_base;
    for (size_t j = 0; j < iov[i].iov_len; ++j) {
      if (data[j] == '\n') {
        end_line(line);
        continue;
      }
      if (line->length == sizeof line->text)
        end_line(line);
      line->text[line->length++] = data[j];
    }
    total += (ssize_t)iov[i].iov_len;
  }
  return total;
}

/* Flushes stdio's buffers (when the contract uses stdio at all: the
 * reference is weak), then logs the unfinished lines. */
extern void __stdio_exit(void) __attribute__((weak));

static void flush_output(void) {
  if (__stdio_exit)
    __stdio_exit();
  for (size_t i = 0; i < sizeof log_lines / sizeof log_lines[0]; ++i)
    if (log_lines[i].length > 0)
      end_line(&log_lines[i]);
}

/* Standard input is empty: a call's input comes from corvane_input_read. */
ssize_t readv(int fd, const struct iovec *iov, int count) {
  (void)fd;
  (void)iov;
  (void)count;
  return 0;
}

ssize_t read(int fd, void *buf, size_t size) {
  (void)fd;
  (void)buf;
  (void)size;
  return 0;
}

off_t __lseek(int fd, off_t offset, int whence) {
  (void)fd;
  (void)offset;
  (void)whence;
  errno = ESPIPE;
  return -1;
}

off_t lseek(int fd, off_t offset, int whence) __attribute__((weak, alias("__lseek")));

int close(int fd) {
  (void)fd;
  return 0;
}
