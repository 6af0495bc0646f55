// The C and C++ libraries' output, the environment and exit(), as contracts
// may use them: the host provides no files, no environment and no process.
#include <corvane/contract.hpp>

#include <cstdio>
#include <cstdlib>
#include <iostream>

extern "C" void apply() {
  std::string how = corvane::input();
  printf("printf %d\n", 42);
  puts("puts");
  fprintf(stderr, "stderr %s\n", "too");
  std::cerr << "cerr " << 7 << std::endl;
  corvane::output(getenv("HOME") ? "environment" : "no environment");
  if (how == "exit")
    exit(3);
}
