/* Functions of every kind symlister tells apart: imports, an export under
   its own name, one exported under another name, and an internal helper. */
__attribute__((import_module("env"), import_name("read_action"))) int read_action(char *buffer,
                                                                                  int size);
__attribute__((import_module("host"), import_name("send"))) void send_inline(const char *data,
                                                                             int size);

__attribute__((noinline)) static int helper(const char *data, int size) {
  int sum = 0;
  for (int i = 0; i < size; ++i)
    sum = sum * 33 + data[i];
  return sum;
}

__attribute__((export_name("run"))) int entry_point(int x) { return x * 3 + 1; }

void apply(long long receiver, long long code, long long action) {
  char buffer[32];
  int size = read_action(buffer, sizeof buffer);
  if (helper(buffer, size) == (int)(receiver ^ code ^ action))
    send_inline(buffer, size);
}
