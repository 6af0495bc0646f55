// Several lines in one write, lines written in pieces, and a last line
// without a newline, through stdio and (with -DIOSTREAMS) iostreams; then
// the call succeeds, aborts or fails a check, as the input says.
#include <corvane/contract.hpp>

#include <cstdio>
#ifdef IOSTREAMS
#include <iostream>
#endif

extern "C" void apply() {
  std::string how = corvane::input();
  printf("p1\np2\n");
  fputs("f1\nf", stdout);
  fwrite("2\n", 1, 2, stdout);
  fprintf(stderr, "e1\ne");
  fputs("2\n", stderr);
#ifdef IOSTREAMS
  std::cout << "c1\nc2\n";
  std::cerr << "r1\n" << 'r' << 2 << '\n';
#endif
  printf("last");
  fputs("err last", stderr);
  if (how == "abort")
    corvane::abort("stop");
  corvane::check(how != "check", "failed check");
}
