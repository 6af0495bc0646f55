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
// language) are compiled as C17 with the same flags less the C++-only ones,
// so a contract may mix C and C++ sources.
//
// A command that links (unless -x names a language) compiles each source on
// its own to an object in a private directory, which the link takes in the
// source's place, as clang itself would; so every link is a link of
// objects, whether they were compiled in the same command or apart.  Around
// the link it sees to the contract's interface (LinkedInterface.h):
//
//   before   the objects must agree on one interface: two action lists
//            (CORVANE_ACTIONS), or a struct or table described differently,
//            stop the command, naming both;
//   during   when no object holds an action list and the entry is apply,
//            wasm-ld's complaint about the missing entry becomes one error
//            that says what a contract must do;
//   after    the interface records are removed from the module, and the
//            description that the interface plug-in was told to write is
//            written from them, merged.
//
// clang runs wasm-opt after an optimised link when it finds one on PATH;
// the compiler runs with PATH set to LLVM's own tool directory, so a
// wasm-opt elsewhere never touches the module.
//
//===----------------------------------------------------------------------===//

#include "Escape.h"
#include "LinkedInterface.h"

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

// Options of the link whose value is the next argument.
static bool isLinkOnlyWithValue(const std::string &arg) {
  return arg == "-o" || arg == "-Xlinker" || arg == "-z" || arg == "-u" || arg == "-e" ||
         arg == "-T";
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

static std::string fileName(const std::string &path) {
  size_t slash = path.rfind('/');
  return path.substr(slash == std::string::npos ? 0 : slash + 1);
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

// Runs clang with the defaults and ARGS; returns its exit status.  With
// REPLACE, clang takes the place of this process.  With ERRORS, what clang
// writes to standard error is collected there instead.
static int runClang(const Args &args, bool links, bool replace, std::string *errors = nullptr) {
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
  int pipeFds[2];
  if (errors && pipe(pipeFds) != 0) {
    fprintf(stderr, "clang-8: cannot create a pipe: %s\n", strerror(errno));
    return 1;
  }
  pid_t pid = fork();
  if (pid < 0) {
    fprintf(stderr, "clang-8: cannot start %s: %s\n", ZO_CLANG_PATH, strerror(errno));
    return 1;
  }
  if (pid == 0) {
    if (errors) {
      dup2(pipeFds[1], STDERR_FILENO);
      close(pipeFds[0]);
      close(pipeFds[1]);
    }
    exec();
    _exit(1);
  }
  if (errors) {
    close(pipeFds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) != 0) {
      if (n > 0)
        errors->append(buffer, static_cast<size_t>(n));
      else if (errno != EINTR)
        break;
    }
    close(pipeFds[0]);
  }
  int status;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR)
      return 1;
  if (WIFEXITED(status))
    return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

// A command that compiles sources on their own.  With OBJECT, the one
// source at SOURCE to OBJECT, without the link's arguments; without, every
// C source among the inputs.  C sources are compiled as C17 without the
// C++-only flags.
static Args sourceCommand(const Command &c, size_t source, const std::string &object) {
  bool asC = object.empty() || isCSource(c.args[source]);
  Args args;
  if (asC)
    args.push_back("-std=c17");
  for (size_t i = 0; i < c.args.size(); ++i) {
    const std::string &arg = c.args[i];
    if (c.isInput(i)) {
      if (object.empty() ? isCSource(arg) : i == source)
        args.push_back(arg);
      continue;
    }
    if (asC && isCxxOnly(arg))
      continue;
    if (!object.empty()) {
      if (isLinkOnly(arg))
        continue;
      if (isLinkOnlyWithValue(arg) && i + 1 < c.args.size()) {
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

// A command that does not link: clang as it is, except that C sources
// mixed with others are compiled on their own.
static int compileOnly(const Command &c) {
  size_t cSources = 0, otherSources = 0;
  for (size_t input : c.inputs) {
    const std::string &file = c.args[input];
    bool isC = isCSource(file);
    cSources += isC;
    otherSources += !isC && !isCompiled(file);
  }
  if (cSources == 0 || c.explicitLanguage)
    return runClang(c.args, false, /*replace=*/true);
  if (otherSources == 0)
    return runClang(sourceCommand(c, 0, ""), false, /*replace=*/true);

  // Each language on its own; the C++ command keeps the other inputs.
  Args cxx;
  for (size_t i = 0; i < c.args.size(); ++i)
    if (!c.isInput(i) || !isCSource(c.args[i]))
      cxx.push_back(c.args[i]);
  int status = runClang(cxx, false, false);
  return status != 0 ? status : runClang(sourceCommand(c, 0, ""), false, false);
}

//===----------------------------------------------------------------------===//
// Linking.
//===----------------------------------------------------------------------===//

// The values that follow -Xclang -plugin-arg-ifacewriter: the description's
// path, then the message.  None without them.
static llvm::Optional<clang8::InterfaceRequest> interfaceRequest(const Command &c) {
  std::vector<std::string> values;
  for (size_t i = 0; i + 3 < c.args.size(); ++i)
    if (c.args[i] == "-Xclang" && c.args[i + 1] == "-plugin-arg-ifacewriter" &&
        c.args[i + 2] == "-Xclang")
      values.push_back(c.args[i + 3]);
  if (values.empty())
    return llvm::None;
  return clang8::InterfaceRequest{values[0], values.size() > 1 ? values[1] : std::string()};
}

// Whether the link's entry is apply, as zo++ names it: -Wl,-e,apply.
static bool entryIsApply(const Command &c) {
  for (const std::string &arg : c.args) {
    if (!startsWith(arg, "-Wl,"))
      continue;
    std::vector<std::string> parts;
    for (size_t at = 4, comma; at <= arg.size(); at = comma + 1) {
      comma = arg.find(',', at);
      if (comma == std::string::npos)
        comma = arg.size();
      parts.push_back(arg.substr(at, comma - at));
    }
    for (size_t i = 0; i < parts.size(); ++i)
      if (parts[i] == "--entry=apply" || parts[i] == "-entry=apply" ||
          ((parts[i] == "-e" || parts[i] == "--entry") && i + 1 < parts.size() &&
           parts[i + 1] == "apply"))
        return true;
  }
  return false;
}

// The file the link writes.
static std::string linkOutput(const Command &c) {
  for (size_t i = 0; i + 1 < c.args.size(); ++i)
    if (c.args[i] == "-o")
      return c.args[i + 1];
  return "a.out";
}

static int failed(llvm::Error error) {
  fprintf(stderr, "clang-8: error: %s\n", llvm::toString(std::move(error)).c_str());
  return 1;
}

// What clang wrote while linking objects none of which lists actions: when
// the link failed because apply is missing, one error that says what a
// contract needs replaces wasm-ld's, whose advice is for other programs.
static void reportLink(int status, const std::string &errors) {
  const char *const Missing = "entry symbol not defined";
  if (status == 0 || errors.find(Missing) == std::string::npos) {
    fputs(errors.c_str(), stderr);
    return;
  }
  fputs("clang-8: error: the contract has no entry point: list its actions with "
        "CORVANE_ACTIONS(...) in one of its sources, or define extern \"C\" void apply()\n",
        stderr);
  std::vector<std::string> others;
  bool otherErrors = false;
  for (size_t at = 0, end; at < errors.size(); at = end + 1) {
    end = errors.find('\n', at);
    if (end == std::string::npos)
      end = errors.size();
    std::string line = errors.substr(at, end - at);
    if (line.find(Missing) != std::string::npos)
      continue;
    bool summary = line.find("linker command failed") != std::string::npos;
    otherErrors |= !summary && line.find("error:") != std::string::npos;
    others.push_back(line);
  }
  for (const std::string &line : others)
    if (otherErrors || line.find("linker command failed") == std::string::npos)
      fprintf(stderr, "%s\n", line.c_str());
}

namespace {
// The objects a link takes, the sources' compiled into a private
// directory that goes with it.
class LinkInputs {
public:
  ~LinkInputs() {
    for (const std::string &object : compiled)
      unlink(object.c_str());
    if (!dir.empty())
      rmdir(dir.c_str());
  }

  // Compiles the source at INPUT to an object of its own; on success the
  // link takes the object in its place.
  int compile(const Command &c, size_t input, Args &link) {
    // Said once, however many sources wait for the directory.
    if (noDir || (dir.empty() && !makeDir()))
      return 1;
    std::string name = fileName(c.args[input]);
    name = name.substr(0, name.rfind('.'));
    compiled.push_back(dir + "/" + std::to_string(compiled.size()) + "-" + name + ".o");
    int status = runClang(sourceCommand(c, input, compiled.back()), false, false);
    if (status == 0) {
      link[input] = compiled.back();
      objects.push_back({compiled.back(), c.args[input]});
    }
    return status;
  }

  void add(const std::string &object) { objects.push_back({object, object}); }

  // Each object's path, and the name messages give it: the source compiled
  // in this command, or the object as given.
  std::vector<std::pair<std::string, std::string>> objects;

private:
  bool makeDir() {
    const char *tmp = getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    dir = base + "/clang-8-XXXXXX";
    if (mkdtemp(&dir[0]))
      return true;
    fprintf(stderr, "clang-8: cannot create a directory in %s: %s\n", zo::escaped(base).c_str(),
            strerror(errno));
    dir.clear();
    noDir = true;
    return false;
  }

  std::string dir;
  bool noDir = false;
  std::vector<std::string> compiled;
};
} // namespace

static int link(const Command &c) {
  LinkInputs inputs;
  Args link = c.args;
  int status = 0;
  for (size_t input : c.inputs) {
    const std::string &file = c.args[input];
    if (endsWith(file, ".o")) {
      inputs.add(file);
      continue;
    }
    if (isCompiled(file) || c.explicitLanguage)
      continue;
    // Every source is compiled, so that the errors of all are seen.
    int compiled = inputs.compile(c, input, link);
    if (status == 0)
      status = compiled;
  }
  if (status != 0)
    return status;

  // The objects must make one contract: checked before wasm-ld would stop
  // at the second apply of two action lists.
  std::vector<zo::abi::UnitInterface> units;
  bool listsActions = false;
  for (const auto &[object, name] : inputs.objects) {
    llvm::Expected<std::vector<zo::abi::UnitInterface>> found = clang8::unitsOfObject(object, name);
    if (!found)
      return failed(found.takeError());
    for (zo::abi::UnitInterface &unit : *found) {
      listsActions |= !unit.Iface->Actions.empty();
      units.push_back(std::move(unit));
    }
  }
  if (llvm::Expected<zo::abi::Interface> merged = zo::abi::mergeUnits(units, ""); !merged)
    return failed(merged.takeError());

  std::string errors;
  bool explainEntry = !listsActions && entryIsApply(c);
  status = runClang(link, true, false, explainEntry ? &errors : nullptr);
  if (explainEntry)
    reportLink(status, errors);
  if (status != 0)
    return status;
  if (llvm::Error error = clang8::finishModule(linkOutput(c), interfaceRequest(c)))
    return failed(std::move(error));
  return 0;
}

int main(int argc, char **argv) {
  if (setenv("PATH", ZO_LLVM_TOOLS_DIR, 1) != 0) {
    fprintf(stderr, "clang-8: cannot set PATH: %s\n", strerror(errno));
    return 1;
  }
  Command c = parse(argc, argv);
  return c.links ? link(c) : compileOnly(c);
}
