// A contract as zo++ links it before polishing: built at -O0 with debug info,
// it calls a host function, keeps a function nothing calls (which alone uses
// a second host function) and carries names, producers and DWARF.
__attribute__((import_module("env"), import_name("emit"))) void emit(int);
__attribute__((import_module("env"), import_name("unused_host"))) void unused_host(int);

static int scale(int x) { return x * 3 + 1; }

int never_called(int x) {
  unused_host(x);
  return scale(x) * 7;
}

void apply(long long receiver, long long code, long long action) {
  signed char low = (signed char)action;
  if (code == receiver)
    emit(scale((int)receiver) + low);
}
