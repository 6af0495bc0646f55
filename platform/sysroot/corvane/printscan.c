/*===- printscan.c - long double in printf and scanf, on demand ------------===
 *
 * wasi-libc's versions of vfprintf, vfwprintf and __floatscan that handle
 * long double use 128-bit arithmetic and buffers sized for its range: more
 * than 7 KiB of stack for any floating-point conversion, nearly all of a
 * contract's default stack.  The sysroot's C library holds both versions
 * under other names; these choose the long double one only when a long
 * double is formatted or parsed, and run it on a stack of its own.
 *
 *===----------------------------------------------------------------------===*/

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

int __vfprintf_double(FILE *restrict f, const char *restrict format, va_list ap);
int __vfprintf_long_double(FILE *restrict f, const char *restrict format, va_list ap);
int __vfwprintf_double(FILE *restrict f, const wchar_t *restrict format, va_list ap);
int __vfwprintf_long_double(FILE *restrict f, const wchar_t *restrict format, va_list ap);
double __floatscan_double(FILE *f, int precision, int point_ok);
long double __floatscan_long_double(FILE *f, int precision, int point_ok);

/* The long double versions call no code of the contract's, and none of
 * them calls another: one stack serves them all. */
static char long_double_stack[24576] __attribute__((aligned(16)));

static uintptr_t stack_pointer(void) {
  uintptr_t sp;
  __asm__ volatile(".globaltype __stack_pointer, i32\n"
                   "global.get __stack_pointer\n"
                   "local.set %0"
                   : "=r"(sp));
  return sp;
}

static void set_stack_pointer(uintptr_t sp) {
  __asm__ volatile(".globaltype __stack_pointer, i32\n"
                   "local.get %0\n"
                   "global.set __stack_pointer"
                   :
                   : "r"(sp));
}

/* What may come between a conversion's % and its length modifier. */
static int is_flag_or_width(wchar_t c) {
  return (c >= '0' && c <= '9') || c == '$' || c == '#' || c == '-' || c == '+' || c == ' ' ||
         c == '\'' || c == '.' || c == '*';
}

/* Whether a conversion of the format has the length modifier L. */
static int formats_long_double(const char *format) {
  while ((format = strchr(format, '%'))) {
    ++format;
    while (is_flag_or_width((unsigned char)*format))
      ++format;
    if (*format == 'L')
      return 1;
    if (*format)
      ++format;
  }
  return 0;
}

static int wide_formats_long_double(const wchar_t *format) {
  while ((format = wcschr(format, L'%'))) {
    ++format;
    while (is_flag_or_width(*format))
      ++format;
    if (*format == L'L')
      return 1;
    if (*format)
      ++format;
  }
  return 0;
}

int vfprintf(FILE *restrict f, const char *restrict format, va_list ap) {
  if (!formats_long_double(format))
    return __vfprintf_double(f, format, ap);
  uintptr_t saved = stack_pointer();
  set_stack_pointer((uintptr_t)(long_double_stack + sizeof long_double_stack));
  int result = __vfprintf_long_double(f, format, ap);
  set_stack_pointer(saved);
  return result;
}

int vfwprintf(FILE *restrict f, const wchar_t *restrict format, va_list ap) {
  if (!wide_formats_long_double(format))
    return __vfwprintf_double(f, format, ap);
  uintptr_t saved = stack_pointer();
  set_stack_pointer((uintptr_t)(long_double_stack + sizeof long_double_stack));
  int result = __vfwprintf_long_double(f, format, ap);
  set_stack_pointer(saved);
  return result;
}

/* Precision 2 is long double (strtold, %Lf); 0 and 1 are float and
 * double. */
long double __floatscan(FILE *f, int precision, int point_ok) {
  if (precision != 2)
    return __floatscan_double(f, precision, point_ok);
  uintptr_t saved = stack_pointer();
  set_stack_pointer((uintptr_t)(long_double_stack + sizeof long_double_stack));
  long double result = __floatscan_long_double(f, precision, point_ok);
  set_stack_pointer(saved);
  return result;
}
