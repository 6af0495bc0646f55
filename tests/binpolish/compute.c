// Contract-like code without imports, so that wasm-interp can run every
// export before and after polishing. Inputs come from memory, where the
// optimizer cannot fold them away.
typedef unsigned long long u64;

static volatile int seeds[4] = {-3, 200, 77, -129};
static char text[] = "polish me, but keep my meaning";

static int fib(int n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }

__attribute__((export_name("fib"))) int run_fib(void) { return fib(seeds[2] % 20); }

__attribute__((export_name("narrow"))) int narrow(void) {
  int sum = 0;
  for (int i = 0; i < 4; ++i)
    sum += (signed char)seeds[i] * (short)(seeds[i] << 9);
  return sum;
}

__attribute__((export_name("widen"))) long long widen(void) {
  long long acc = 0;
  for (int i = 0; i < 4; ++i)
    acc = acc * 31 + (int)(u64)(seeds[i] * 1234567LL);
  return acc;
}

__attribute__((export_name("hash"))) u64 hash(void) {
  u64 h = 1469598103934665603ULL;
  for (const char *p = text; *p; ++p)
    h = (h ^ (unsigned char)*p) * 1099511628211ULL;
  return h;
}

__attribute__((export_name("classify"))) int classify(void) {
  int r = 0;
  for (int i = 0; i < 4; ++i) {
    switch (seeds[i] & 7) {
    case 0:
      r += 1;
      break;
    case 1:
      r += 10;
      break;
    case 5:
      r += 100;
      break;
    default:
      r -= 1000;
      break;
    }
  }
  return r;
}

__attribute__((export_name("ratio"))) double ratio(void) {
  return (double)seeds[1] / (double)seeds[0] + (float)seeds[3] * 0.5f;
}
