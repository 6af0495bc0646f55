/* A small contract for packing: an import, an export and enough code that
   compression has something to find. */
__attribute__((import_module("env"), import_name("send_inline"))) void send_inline(const char *data,
                                                                                   int size);

static const char Greeting[] = "hello from a packed contract, hello again";

__attribute__((noinline)) static int checksum(const char *data, int size) {
  int sum = 0;
  for (int i = 0; i < size; ++i)
    sum = sum * 31 + data[i];
  return sum;
}

void apply(long long receiver, long long code, long long action) {
  char buffer[64];
  int size = 0;
  for (int i = 0; Greeting[i] && size < 63; ++i)
    buffer[size++] = Greeting[i] ^ (char)(receiver + code + action);
  if (checksum(buffer, size) != 0)
    send_inline(buffer, size);
}
