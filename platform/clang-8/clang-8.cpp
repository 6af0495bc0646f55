//===- clang-8.cpp - The contract compiler: clang 14 aimed at wasm32 ------===//
//
// zo++ runs "clang-8" from its own directory.  This launcher is that
// compiler: it runs the host's clang 14 with three defaults put in front of
// the caller's arguments, so that the caller's own options still win:
//
//   --target=wasm32-wasi   32-bit WebAssembly;
//   -flegacy-pass-manager  so that pass plug-ins loaded with -Xclang -load
//                          run (clang 14 ignores them under the new one);
//   -fuse-ld=WASM_LD       the WebAssembly linker, found when configured.
//
// clang runs wasm-opt after an optimised link when it finds one on PATH;
// the compiler runs with PATH set to LLVM's own tool directory, so a
// wasm-opt elsewhere never touches the module.
//
//===----------------------------------------------------------------------===//

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

static bool namesTarget(const char *arg) {
  return !strcmp(arg, "-target") || !strcmp(arg, "--target") ||
         !strncmp(arg, "--target=", 9) || !strncmp(arg, "-target=", 8);
}

int main(int argc, char **argv) {
  std::vector<const char *> args = {ZO_CLANG_PATH};
  bool hasTarget = false;
  for (int i = 1; i < argc; ++i)
    hasTarget |= namesTarget(argv[i]);
  if (!hasTarget)
    args.push_back("--target=wasm32-wasi");
  args.push_back("-flegacy-pass-manager");
  args.push_back("-fuse-ld=" ZO_WASM_LD_PATH);
  for (int i = 1; i < argc; ++i)
    args.push_back(argv[i]);
  args.push_back(nullptr);

  if (setenv("PATH", ZO_LLVM_TOOLS_DIR, 1) != 0) {
    fprintf(stderr, "clang-8: cannot set PATH: %s\n", strerror(errno));
    return 1;
  }
  execv(ZO_CLANG_PATH, const_cast<char *const *>(args.data()));
  fprintf(stderr, "clang-8: cannot run %s: %s\n", ZO_CLANG_PATH, strerror(errno));
  return 1;
}
