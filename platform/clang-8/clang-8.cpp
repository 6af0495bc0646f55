//===- clang-8.cpp - The contract compiler: clang 14 aimed at wasm32 ------===//
//
// zo++ runs "clang-8" from its own directory.  This launcher is that
// compiler: it runs the host's clang 14 with defaults put in front of the
// caller's arguments, so that the caller's own options still win:
//
//   --target=wasm32-wasi   32-bit WebAssembly;
//   -flegacy-pass-manager  so that pass plug-ins loaded with -Xclang -load
//                          run (clang 14 ignores them under the new one);
//   -fuse-ld=WASM_LD       the WebAssembly linker, found when configured,
//                          only when the command links.
//
// zo++ gives every source the C++ flags.  C sources (.c, unless -x names a
// language) are compiled as C17 with the same flags less the C++-only ones:
// on their own when the command links, to objects that the link then takes
// in their place, so a contract may mix C and C++ sources.
//
// clang runs wasm-opt after an optimised link when it finds one on PATH;
// the compiler runs with PATH set to LLVM's own tool directory, so a
// wasm-opt elsewhere never touches the module.
//
//===----------------------------------------------------------------------===//

#include "Escape.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using Args = std::vector<std::string>;

static bool startsWith(const std::string &s, const char *prefix) {
  return s.compare(0, strlen(prefix), prefix) == 0;
}

static bool namesTarget(const std::string &arg) {
  return arg == "-target" || arg == "--target" || startsWith(arg, "--target=") ||
         startsWith(arg, "-target=");
}

// Options whose value is the next argument, which is then no input file.
static bool takesValue(const std::string &arg) {
  static const char *const Options[] = {
      "-o",        "-Xclang",  "-Xlinker", "-Xassembler", "-Xpreprocessor",
      "-mllvm",    "-I",       "-D",       "-U",          "-include",
      "-imacros",  "-isystem", "-iquote",  "-idirafter",  "-isysroot",
      "--sysroot", "-MF",      "-MT",      "-MQ",         "-x",
      "-target",   "--target", "-L",       "-l",          "-z",
      "-u",        "-e",       "-T",       "-arch"};
  for (const char *option : Options)
    if (arg == option)
      return true;
  return false;
}

// Options after which clang does not link.
static bool stopsBeforeLink(const std::string &arg) {
  static const char *const Options[] = {"-c",  "-S",           "-E",        "-fsyntax-only", "-M",
                                        "-MM", "--precompile", "-emit-ast", "--analyze"};
  for (const char *option : Options)
    if (arg == option)
      return true;
  return false;
}

static bool isCxxOnly(const std::string &arg) {
  for (const char *std : {"-std=", "--std="})
    if (startsWith(arg, std)) {
      std::string standard = arg.substr(strlen(std));
      return startsWith(standard, "c++") || startsWith(standard, "gnu++");
    }
  static const char *const Options[] = {"-fno-rtti",
                                        "-frtti",
                                        "-fno-threadsafe-statics",
                                        "-fthreadsafe-statics",
                                        "-fno-sized-deallocation",
                                        "-fsized-deallocation"};
  for (const char *option : Options)
    if (arg == option)
      return true;
  return startsWith(arg, "-stdlib=");
}

// Arguments that only the link uses.
static bool isLinkOnly(const std::string &arg) {
  return startsWith(arg, "-l") || startsWith(arg, "-L") || startsWith(arg, "-Wl,") ||
         arg == "-nostdlib" || arg == "-nodefaultlibs" || arg == "-nostartfiles";
}

static bool endsWith(const std::string &s, const char *suffix) {
  size_t n = strlen(suffix);
  return s.size() > n && s.compare(s.size() - n, n, suffix) == 0;
}

static bool isCSource(const std::string &file) { return endsWith(file, ".c"); }

// Objects and archives go to the link as they are.
static bool isCompiled(const std::string &file) {
  return endsWith(file, ".o") || endsWith(file, ".a");
}

namespace {
struct Command {
  Args args;
  // Indices into args of the input files.
  std::vector<size_t> inputs;
  bool explicitLanguage = false;
  bool links = true;

  bool isInput(size_t index) const {
    for (size_t input : inputs)
      if (input == index)
        return true;
    return false;
  }
};
} // namespace

static Command parse(int argc, char **argv) {
  Command c;
  bool endOfOptions = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    // After "--" every argument is an input.  clang hands such a name on to
    // its compiler unguarded, which takes -a.c for an option; so it goes as
    // ./-a.c, and the "--" is dropped.
    if (endOfOptions) {
      c.args.push_back(arg.size() > 1 && arg[0] == '-' ? "./" + arg : arg);
      c.inputs.push_back(c.args.size() - 1);
      continue;
    }
    if (arg == "--") {
      endOfOptions = true;
      continue;
    }
    c.args.push_back(arg);
    if (takesValue(arg) && i + 1 < argc) {
      c.explicitLanguage |= arg == "-x";
      c.args.push_back(argv[++i]);
      continue;
    }
    c.explicitLanguage |= startsWith(arg, "-x") && !startsWith(arg, "-X");
    if (stopsBeforeLink(arg))
      c.links = false;
    if (arg == "-" || arg[0] != '-')
      c.inputs.push_back(c.args.size() - 1);
  }
  return c;
}

// Runs clang with the defaults and ARGS; returns its exit status.
static int runClang(const Args &args, bool links, bool replace) {
  std::vector<const char *> argv = {ZO_CLANG_PATH};
  bool hasTarget = false;
  for (const std::string &arg : args)
    hasTarget |= namesTarget(arg);
  if (!hasTarget)
    argv.push_back("--target=wasm32-wasi");
  argv.push_back("-flegacy-pass-manager");
  if (links)
    argv.push_back("-fuse-ld=" ZO_WASM_LD_PATH);
  for (const std::string &arg : args)
    argv.push_back(arg.c_str());
  argv.push_back(nullptr);

  auto exec = [&] {
    execv(ZO_CLANG_PATH, const_cast<char *const *>(argv.data()));
    fprintf(stderr, "clang-8: cannot run %s: %s\n", ZO_CLANG_PATH, strerror(errno));
  };
  if (replace) {
    exec();
    return 1;
  }
  pid_t pid = fork();
  if (pid < 0) {
    fprintf(stderr, "clang-8: cannot start %s: %s\n", ZO_CLANG_PATH, strerror(errno));
    return 1;
  }
  if (pid == 0) {
    exec();
    _exit(1);
  }
  int status;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR)
      return 1;
  if (WIFEXITED(status))
    return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

// The command for the C sources among its inputs: C17 without the C++-only
// flags, without the other inputs and, when OBJECT is given, compiling the
// one C source at SOURCE to OBJECT, without the link's arguments.
static Args cCommand(const Command &c, size_t source, const std::string &object) {
  Args args = {"-std=c17"};
  for (size_t i = 0; i < c.args.size(); ++i) {
    const std::string &arg = c.args[i];
    if (c.isInput(i)) {
      if (object.empty() ? isCSource(arg) : i == source)
        args.push_back(arg);
      continue;
    }
    if (isCxxOnly(arg))
      continue;
    if (!object.empty()) {
      if (isLinkOnly(arg))
        continue;
      if ((arg == "-o" || arg == "-Xlinker") && i + 1 < c.args.size()) {
        ++i;
        continue;
      }
    }
    args.push_back(arg);
    // A value that looks like an input file is still the option's.
    if (takesValue(arg) && i + 1 < c.args.size())
      args.push_back(c.args[++i]);
  }
  if (!object.empty())
    args.insert(args.end(), {"-c", "-o", object});
  return args;
}

int main(int argc, char **argv) {
  if (setenv("PATH", ZO_LLVM_TOOLS_DIR, 1) != 0) {
    fprintf(stderr, "clang-8: cannot set PATH: %s\n", strerror(errno));
    return 1;
  }
  Command c = parse(argc, argv);
  size_t cSources = 0, otherSources = 0;
  for (size_t input : c.inputs) {
    const std::string &file = c.args[input];
    bool isC = isCSource(file);
    cSources += isC;
    otherSources += !isC && !isCompiled(file);
  }
  if (cSources == 0 || c.explicitLanguage)
    return runClang(c.args, c.links, /*replace=*/true);
  if (otherSources == 0)
    return runClang(cCommand(c, 0, ""), c.links, /*replace=*/true);

  if (!c.links) {
    // Each language on its own; the C++ command keeps the other inputs.
    Args cxx;
    for (size_t i = 0; i < c.args.size(); ++i)
      if (!c.isInput(i) || !isCSource(c.args[i]))
        cxx.push_back(c.args[i]);
    int status = runClang(cxx, false, false);
    return status != 0 ? status : runClang(cCommand(c, 0, ""), false, false);
  }

  // Linking: each C source becomes an object in a private directory, which
  // the link takes in the source's place.
  const char *tmp = getenv("TMPDIR");
  std::string base = tmp && *tmp ? tmp : "/tmp";
  std::string dir = base + "/clang-8-XXXXXX";
  if (!mkdtemp(&dir[0])) {
    fprintf(stderr, "clang-8: cannot create a directory in %s: %s\n", zo::escaped(base).c_str(),
            strerror(errno));
    return 1;
  }
  Args link = c.args;
  std::vector<std::string> objects;
  int status = 0;
  for (size_t input : c.inputs) {
    const std::string &file = c.args[input];
    if (!isCSource(file))
      continue;
    size_t slash = file.rfind('/');
    std::string stem = file.substr(slash == std::string::npos ? 0 : slash + 1);
    stem.resize(stem.size() - 2);
    objects.push_back(dir + "/" + std::to_string(objects.size()) + "-" + stem + ".o");
    status = runClang(cCommand(c, input, objects.back()), false, false);
    if (status != 0)
      break;
    link[input] = objects.back();
  }
  if (status == 0)
    status = runClang(link, true, false);
  for (const std::string &object : objects)
    unlink(object.c_str());
  rmdir(dir.c_str());
  return status;
}
