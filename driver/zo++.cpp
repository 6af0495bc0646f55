//===- zo++.cpp - Corvane C++ -> WebAssembly compiler driver --------------===//
//
// zo++ compiles nothing itself.  From its options it decides which installed
// tools to run, and with which arguments: clang-8 to compile and link the
// contract, binpolish and symlister on the linked module, wamrc for a native
// image and ctrpack for the deployable container, or clang-8 and vetter for
// the security analysis.  Every tool, plug-in, sysroot and configuration file
// is found relative to the directory that holds the running executable.
//
// Tools run through /bin/sh, one command line each: argument elements are
// joined with blanks, so an element may carry shell syntax on purpose
// (">/dev/null", "-o " + path).  Text that comes from the user or from the
// file system is quoted for the shell when it holds anything beyond the
// characters of ordinary names, so a hostile file name reaches the tool as
// one argument and runs nothing.
//
// The file reads in three parts: the option table; the plan, which works
// out every tool's command line and every file name before anything runs;
// and the execution, which runs the tools in turn, checks what they leave
// and cleans up.
//
//===----------------------------------------------------------------------===//

#include "CommitId.inc"
#include "Escape.h"

#include "llvm/ADT/STLExtras.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/CommandLine.h"
#include "llvm/Support/ErrorOr.h"
#include "llvm/Support/FileSystem.h"
#include "llvm/Support/Path.h"
#include "llvm/Support/Program.h"
#include "llvm/Support/raw_ostream.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace llvm;

//===----------------------------------------------------------------------===//
// Option table, in creation order.
//===----------------------------------------------------------------------===//

static cl::OptionCategory CorvaneCompilerToolCategory("compiler options", "");

static cl::list<std::string> L_opt("L", cl::Prefix, cl::ZeroOrMore,
                                   cl::desc("Add directory to library search path"),
                                   cl::cat(CorvaneCompilerToolCategory));
static cl::list<std::string> l_opt("l", cl::Prefix, cl::ZeroOrMore,
                                   cl::desc("Root name of library to link"),
                                   cl::cat(CorvaneCompilerToolCategory));
static cl::opt<std::string> o_opt("o", cl::desc("Write output to <file>"),
                                  cl::cat(CorvaneCompilerToolCategory));
static cl::list<std::string> input_filename_opt(cl::Positional, cl::OneOrMore,
                                                cl::desc("<input file> ..."),
                                                cl::cat(CorvaneCompilerToolCategory));
static cl::opt<std::string> ifacewriter_output_opt("ifacewriter_output",
                                                   cl::desc("IFACEWRITER output"),
                                                   cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> g_opt("g", cl::desc("debug build"), cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> c_opt("c", cl::desc("Only run preprocess, compile, and assemble steps"),
                           cl::cat(CorvaneCompilerToolCategory));
static cl::list<std::string> D_opt("D", cl::Prefix, cl::ZeroOrMore,
                                   cl::desc("Define <macro> to <value> (or 1 if <value> omitted)"),
                                   cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> E_opt("E", cl::desc("Only run the preprocessor"),
                           cl::cat(CorvaneCompilerToolCategory));
static cl::list<std::string> I_opt("I", cl::Prefix, cl::ZeroOrMore,
                                   cl::desc("Add directory to include search path"),
                                   cl::cat(CorvaneCompilerToolCategory));
static cl::opt<std::string> O_opt("O", cl::Prefix, cl::ZeroOrMore,
                                  cl::desc("Optimization level s, 0-3"),
                                  cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> v_opt("v", cl::desc("Show commands to run and use verbose output"),
                           cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> w_opt("w", cl::desc("Suppress all warnings"),
                           cl::cat(CorvaneCompilerToolCategory));
static cl::list<std::string> W_opt("W", cl::Prefix, cl::ZeroOrMore,
                                   cl::desc("Enable the specified warning"),
                                   cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> gcov_opt("coverage",
                              cl::desc("Enable code instrumentation for coverage analysis"),
                              cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> zofuzz_opt("fuzz", cl::desc("Enable code instrumentation for zofuzz testing"),
                                cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> aot_opt("aot", cl::desc("Use ahead-of-time compilation"),
                             cl::cat(CorvaneCompilerToolCategory));
static cl::opt<unsigned> aot_size_level_opt("aot-size-level",
                                            cl::desc("Size level for AOT code (0-3, default: 1)"),
                                            cl::init(1), cl::cat(CorvaneCompilerToolCategory));
static cl::opt<std::string>
    aot_target_opt("aot-target", cl::desc("Target architecture for AOT code (default: x86_64)"),
                   cl::init("x86_64"), cl::cat(CorvaneCompilerToolCategory));
static cl::opt<std::string> aot_cpu_opt("aot-cpu", cl::desc("Target CPU for AOT code"),
                                        cl::cat(CorvaneCompilerToolCategory));
static cl::opt<std::string> aot_cpu_features_opt("aot-cpu-features",
                                                 cl::desc("Specify CPU features for AOT code"),
                                                 cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> aot_skip_mem_chk_opt(
    "aot-skip-mem-bound-check",
    cl::desc(
        "Skip memory boundary check when compile WASM bytecode to native code (default: false)"),
    cl::init(false), cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool>
    aot_use_new_gas_insn("aot-use-new-gas-insn",
                         cl::desc("Use the new C910 GAS instruction to count gas (default: false)"),
                         cl::init(false), cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> jit_opt("jit", cl::desc("Enable JIT"), cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> S_opt("S", cl::desc("Only run preprocess and compilation steps"),
                           cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool>
    emit_llvm_opt("emit-llvm",
                  cl::desc("Use the LLVM representation for assembler and object files"),
                  cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> dump_names_opt("dump-names", cl::desc("Dump function names"),
                                    cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool>
    debug_contract_opt("debug-contract",
                       cl::desc("Link debug version libraries to help contract debugging"),
                       cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> compress_opt("compress", cl::desc("compress wasm/AOT code"),
                                  cl::cat(CorvaneCompilerToolCategory));
static cl::opt<unsigned> stack_size_opt("stack-size", cl::desc("Stack size in wasm linear memory"),
                                        cl::init(8192), cl::cat(CorvaneCompilerToolCategory));
static cl::opt<std::string> contract_message_opt(
    "contract-message",
    cl::desc("Add auxiliary descriptive message (max 1KB) for current contract"), cl::init(""),
    cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> save_temps_opt("save-temps", cl::desc("Save intermediate compilation results"),
                                    cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool> use_host_libc("use-host-libc",
                                   cl::desc("Use some libc functions as host functions"),
                                   cl::init(true), cl::cat(CorvaneCompilerToolCategory));
static cl::opt<bool>
    use_dlmalloc("use-dlmalloc",
                 cl::desc("Use dlmalloc instead of the deprecated simple heap allocator"),
                 cl::init(true), cl::cat(CorvaneCompilerToolCategory));

static cl::OptionCategory ZoanalyzerCategory("contract security static analyzer options", "");

static cl::opt<std::string>
    vetter_other_opt("vetterOtherOption",
                     cl::desc("Enter other vetter options. 'vetter --help'for more help."),
                     cl::cat(ZoanalyzerCategory));
static cl::opt<bool> vetter_opt("vetter", cl::desc("Apply contract security static analyze"),
                                cl::cat(ZoanalyzerCategory));

static const char ProgramName[] = "zo++";
static const char Version[] = "2.24.4.2";
static const unsigned MaxStackSize = 1048576;
static const size_t MaxContractMessage = 1024;

typedef std::vector<std::string> ArgVector;

//===----------------------------------------------------------------------===//
// The plan: every tool's command line, worked out before the first tool
// runs.
//===----------------------------------------------------------------------===//

//----- Executable directory ---------------------------------------------===//

namespace whereami {

enum sys { Linux = 1 };

// Only the Linux variant exists; other selectors have no definition.
template <sys S> int32_t _getExecutablePath(char *path_buf, int32_t buf_size, int32_t *dir_len);

template <> int32_t _getExecutablePath<Linux>(char *path_buf, int32_t buf_size, int32_t *dir_len) {
  char resolved[PATH_MAX];
  if (!realpath("/proc/self/exe", resolved))
    return -1;
  int32_t length = static_cast<int32_t>(strlen(resolved));
  if (length > buf_size)
    return length;
  if (path_buf) {
    memcpy(path_buf, resolved, length);
    for (int32_t i = length - 1; i >= 0; --i) {
      if (path_buf[i] == '/') {
        *dir_len = i;
        break;
      }
    }
  }
  return length;
}

// The absolute, symlink-resolved directory of the running executable, without
// a trailing slash; empty when it can't be resolved.  Resolved once.
std::string where() {
  static std::vector<char> ret;
  static bool cached = false;
  if (cached)
    return std::string(ret.data());
  int32_t dir_len = 0;
  int32_t n = _getExecutablePath<Linux>(nullptr, 0, &dir_len);
  if (n <= 0)
    return std::string();
  ret.resize(static_cast<size_t>(n) + 1);
  _getExecutablePath<Linux>(ret.data(), n, &dir_len);
  ret[dir_len] = '\0';
  cached = true;
  return std::string(ret.data());
}

} // namespace whereami

//----- Shell text -------------------------------------------------------===//

static bool isPlainShellChar(char C) {
  if ((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9'))
    return true;
  return StringRef("_./+=:,@%^-").contains(C);
}

static std::string singleQuote(StringRef Text) {
  std::string Quoted = "'";
  for (char C : Text) {
    if (C == '\'')
      Quoted += "'\\''";
    else
      Quoted += C;
  }
  Quoted += "'";
  return Quoted;
}

// User-supplied text goes into a command line as one shell word.  Ordinary
// names pass unchanged, so their command lines stay exactly as documented.
static std::string shellWord(StringRef Text) {
  if (all_of(Text, isPlainShellChar))
    return Text.str();
  return singleQuote(Text);
}

// A file name as one argument of a tool.  A name that begins with '-'
// would be taken for an option, so it goes as ./-name; only such names
// change, and "-" alone keeps its meaning of standard input.
static std::string pathWord(const std::string &path) {
  if (path.size() > 1 && path[0] == '-')
    return shellWord("./" + path);
  return shellWord(path);
}

// A line of text that shows a command or a file name, which may hold any
// byte: exactly the text when it holds no control character, else escaped,
// so that it stays one line and cannot forge another.
static std::string shownOnOneLine(StringRef Text) {
  auto isControl = [](char C) { return static_cast<unsigned char>(C) < 0x20 || C == 0x7f; };
  if (none_of(Text, isControl))
    return Text.str();
  return zo::escaped(Text);
}

static bool isContinuationByte(char C) { return (static_cast<unsigned char>(C) & 0xC0) == 0x80; }

// The contract message as one shell word: cut at 1024 bytes, backing off to
// the start of a UTF-8 character cut in two, and single-quoted whatever it
// holds.  A character has at most three continuation bytes; stray ones are
// not a character, and the cut stays at 1024 for them.
static std::string contractMessageWord(StringRef message) {
  if (message.size() > MaxContractMessage) {
    size_t cut = MaxContractMessage;
    while (cut > MaxContractMessage - 3 && isContinuationByte(message[cut]))
      --cut;
    if (isContinuationByte(message[cut]))
      cut = MaxContractMessage;
    message = message.take_front(cut);
  }
  return singleQuote(message);
}

//----- File names -------------------------------------------------------===//

bool ends_with(const std::string &text, const std::string &suffix) {
  if (text.size() < suffix.size())
    return false;
  return text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string replace_suffix(const std::string &text, const std::string &marker,
                           const std::string &replacement) {
  size_t pos = text.rfind(marker);
  if (pos == std::string::npos)
    return text + replacement;
  return text.substr(0, pos) + replacement;
}

// An output name derived from another path: the rule of replace_suffix
// applied to the file name alone, so that a marker in a directory name
// (x.cpp.d/a.cc) never moves the output out of its directory.
static std::string derivedName(const std::string &path, const std::string &marker,
                               const std::string &replacement) {
  size_t slash = path.rfind('/');
  size_t name = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, name) + replace_suffix(path.substr(name), marker, replacement);
}

static bool fileExists(const std::string &path) {
  return !sys::fs::access(path, sys::fs::AccessMode::Exist);
}

//----- Compiler flags ---------------------------------------------------===//

static const char *const StrictWarnings[] = {
    "shift-negative-value", "shift-count-negative", "shift-count-overflow", "shift-overflow",
    "shift-sign-overflow",  "return-type",          "uninitialized",        "null-dereference",
    "sign-compare",         "sign-conversion"};

static void addPassPlugin(ArgVector &flags, const std::string &path) {
  if (!fileExists(path))
    return;
  flags.insert(flags.end(), {"-Xclang", "-load", "-Xclang", shellWord(path)});
}

// The base flags with the given inputs in the place of the input files.
static ArgVector compileOptionsFor(ArrayRef<std::string> inputs) {
  ArgVector flags = {"-nostdlib",
                     "-fno-builtin",
                     "-fno-threadsafe-statics",
                     "-fno-rtti",
                     "-fno-exceptions",
                     "-DBOOST_DISABLE_ASSERTS",
                     "-DBOOST_EXCEPTION_DISABLE",
                     "-DRAPIDXML_NO_EXCEPTIONS",
                     "-DRAPIDXML_NO_STREAMS",
                     "-DRAPIDJSON_HAS_STDSTRING",
                     "--std=c++17"};

  std::string dir = whereami::where();
  flags.push_back("--sysroot=" + shellWord(dir + "/../wasm-sysroot"));
  addPassPlugin(flags, dir + "/entryhooks" + ".so");
  if (zofuzz_opt)
    addPassPlugin(flags, dir + "/fuzzhooks" + ".so");

  flags.push_back("-Wall");
  flags.push_back("-Wextra");
  bool noError = is_contained(W_opt, "no-error");
  const char *prefix = noError ? "-W" : "-Werror=";
  for (const char *warning : StrictWarnings)
    flags.push_back(std::string(prefix) + warning);

  if (g_opt)
    flags.push_back("-g");
  if (gcov_opt)
    flags.push_back("--coverage");
  if (zofuzz_opt)
    flags.push_back("-fsanitize-coverage=inline-8bit-counters");
  if (c_opt)
    flags.push_back("-c");
  if (E_opt)
    flags.push_back("-E");
  if (S_opt)
    flags.push_back("-S");
  if (emit_llvm_opt)
    flags.push_back("-emit-llvm");

  flags.push_back(O_opt.empty() ? std::string("-O3") : "-O" + shellWord(O_opt));
  if (w_opt)
    flags.push_back("-w");
  for (const std::string &warning : W_opt)
    flags.push_back("-W" + shellWord(warning));
  for (const std::string &input : inputs)
    flags.push_back(pathWord(input));
  for (const std::string &macro : D_opt)
    flags.push_back("-D" + shellWord(macro));
  for (const std::string &include : I_opt)
    flags.push_back("-I" + shellWord(include));
  return flags;
}

// The flags with which every clang-8 command line begins.
ArgVector get_compile_options() { return compileOptionsFor(input_filename_opt); }

//----- Build mode -------------------------------------------------------===//

struct Options {
  std::string output;
  bool link;
  std::string abi_output;
  ArgVector compile_args;
};

// What a build runs, in order, and the files it names.  Each tool's vector
// is complete; the run only decides whether a stage is reached.
struct BuildPlan {
  Options options;
  std::string container_file, wasm_file, abi_file, names_file, aot_file;
  // The file packed as the contract code: the native image when one is
  // compiled, else the module.
  std::string code_file;

  bool dumps_names;
  bool polishes;
  bool compiles_ahead;
  // An -o ending in .wasm asks for the module: the intermediates are kept.
  bool removes_intermediates;

  ArgVector names_args, polish_args, aot_args, pack_args;
};

// Loads the interface-description plug-in, when installed, and names the
// file it writes.
static void addInterfaceWriter(ArgVector &args, const std::string &abi_file) {
  std::string plugin_path = whereami::where() + "/ifacewriter" + ".so";
  if (!fileExists(plugin_path))
    return;
  args.push_back("-fplugin=" + shellWord(plugin_path));
  args.push_back("-Xclang");
  args.push_back("-plugin-arg-ifacewriter");
  args.push_back("-Xclang");
  args.push_back(pathWord(abi_file));
  if (!contract_message_opt.empty())
    args.push_back("-Xclang -plugin-arg-ifacewriter -Xclang " +
                   contractMessageWord(contract_message_opt));
}

// wamrc's arguments.  The x86-64 defaults are written into the options.
static ArgVector aheadOfTimeArgs(const std::string &wasm_file, const std::string &aot_file) {
  if (aot_target_opt == "x86_64") {
    if (aot_cpu_opt.empty())
      aot_cpu_opt = "skylake";
    if (aot_cpu_features_opt.empty())
      aot_cpu_features_opt = "+soft-float";
  }

  ArgVector args;
  if (aot_use_new_gas_insn)
    args.push_back("-use-new-gas-insn");
  if (aot_skip_mem_chk_opt)
    args.push_back("-skip-mem-bound-check");
  if (!aot_cpu_features_opt.empty())
    args.push_back("--cpu-features=" + shellWord(aot_cpu_features_opt));
  if (!aot_cpu_opt.empty())
    args.push_back("--cpu=" + shellWord(aot_cpu_opt));
  args.push_back("--target=" + shellWord(aot_target_opt));
  args.push_back("--size-level=" + std::to_string(aot_size_level_opt));
  args.push_back("-o");
  args.push_back(pathWord(aot_file));
  args.push_back(pathWord(wasm_file));
  if (!v_opt)
    args.push_back(">/dev/null");
  return args;
}

// ctrpack's arguments.
static ArgVector packArgs(const BuildPlan &plan) {
  ArgVector args = {"-o", pathWord(plan.container_file), pathWord(plan.code_file),
                    pathWord(plan.abi_file)};
  if (dump_names_opt)
    args.push_back(pathWord(plan.names_file));
  if (compress_opt)
    args.push_back("-compress");
  if (aot_opt) {
    args.push_back(pathWord(plan.wasm_file));
    args.push_back("-aot");
  } else if (jit_opt) {
    args.push_back("-jit");
  }
  return args;
}

// Ends the process with status 1 when the stack size is over the limit.
static BuildPlan planBuild() {
  BuildPlan plan;
  bool link = !(c_opt || E_opt || S_opt || emit_llvm_opt);
  ArgVector base = get_compile_options();

  ArgVector libraries = {"c++"};
  libraries.push_back(use_host_libc && !aot_opt && !jit_opt ? "hostlibc" : "c");
  libraries.push_back(use_dlmalloc ? "dlmalloc" : "plainheap");
  libraries.insert(libraries.end(), {"jsoncpp", "bcmath", "clang_rt.builtins", "cityhash"});
  libraries.push_back(debug_contract_opt ? "corvanedebug" : "corvane");
  if (gcov_opt)
    libraries.push_back("gcov");
  if (zofuzz_opt)
    libraries.push_back("zofuzz");
  for (const std::string &library : l_opt)
    libraries.push_back(shellWord(library));

  std::string imports_file = whereami::where() + "/../etc/corvane.imports";

  if (stack_size_opt > MaxStackSize) {
    errs() << "error: stack size exceeds limit (1 MB)\n";
    std::exit(1);
  }

  ArgVector linker_flags = {"-Wl,-e,apply", "-Wl,--gc-sections", "-Wl,--lto-O3",
                            "-Wl,--merge-data-segments", "-Wl,-stack-first"};
  linker_flags.push_back("-Wl,-zstack-size=" + std::to_string(stack_size_opt));
  linker_flags.push_back("-Wl,--allow-undefined-file=" + shellWord(imports_file));
  // A debug build of the contract libraries keeps the name section, so that
  // a trap's backtrace names its functions.
  if (!g_opt && !dump_names_opt && !jit_opt)
    linker_flags.push_back(debug_contract_opt ? "-Wl,--strip-debug" : "-Wl,--strip-all");

  ArgVector link_args;
  for (const std::string &library : libraries)
    link_args.push_back("-l" + library);
  for (const std::string &dir : L_opt)
    link_args.push_back("-L" + shellWord(dir));
  link_args.insert(link_args.end(), linker_flags.begin(), linker_flags.end());

  Options &options = plan.options;
  options.output = o_opt;
  options.link = link;
  options.abi_output = ifacewriter_output_opt;
  if (link)
    options.compile_args = link_args;
  options.compile_args.insert(options.compile_args.end(), base.begin(), base.end());

  std::string &container_file = plan.container_file;
  if (options.output.empty())
    container_file = sys::path::stem(input_filename_opt.front()).str() + ".ctrx";
  else if (ends_with(options.output, ".ctrx"))
    container_file = options.output;
  else if (ends_with(options.output, ".wasm"))
    container_file = derivedName(options.output, ".wasm", ".ctrx");
  else
    container_file = options.output + ".ctrx";
  plan.wasm_file = derivedName(container_file, ".ctrx", ".wasm");
  const std::string &wasm_file = plan.wasm_file;

  if (link)
    options.compile_args.push_back("-o " + pathWord(wasm_file));

  plan.abi_file =
      options.abi_output.empty() ? derivedName(wasm_file, ".wasm", ".abi") : options.abi_output;
  addInterfaceWriter(options.compile_args, plan.abi_file);

  // The name dump reads the module before the polish changes it; its result
  // is not needed by any later stage.
  plan.names_file = derivedName(wasm_file, ".wasm", ".names");
  plan.dumps_names = dump_names_opt;
  plan.names_args = {pathWord(wasm_file), "-o", pathWord(plan.names_file), ">/dev/null"};

  // binpolish drops every custom section: names and DWARF among them.
  plan.polishes = !g_opt && !jit_opt && !debug_contract_opt;
  plan.polish_args = {pathWord(wasm_file)};

  plan.aot_file = derivedName(wasm_file, ".wasm", ".aot");
  plan.compiles_ahead = aot_opt;
  if (aot_opt)
    plan.aot_args = aheadOfTimeArgs(wasm_file, plan.aot_file);
  plan.code_file = aot_opt ? plan.aot_file : wasm_file;

  plan.pack_args = packArgs(plan);
  plan.removes_intermediates = !save_temps_opt && !ends_with(options.output, ".wasm");
  return plan;
}

//----- Static-analysis mode ---------------------------------------------===//

// What the analysis runs for one input.
struct AnalysisPlan {
  std::string ll_file, abi_file;
  ArgVector compile_args, analyzer_args;
};

static AnalysisPlan planAnalysis(const std::string &input) {
  std::string dir = whereami::where();
  std::string plugin_path = dir + "/ifacewriter" + ".so";
  std::string flow_config_file = dir + "/../etc/corvane_export_flow_config.json";

  AnalysisPlan plan;
  plan.ll_file = derivedName(input, ".cpp", ".ll");
  plan.abi_file = derivedName(input, ".cpp", ".abi");

  // Each input is compiled on its own: it stands in the place of all of
  // them, and the analyzer wants the RTTI-free restriction lifted.
  ArgVector &args = plan.compile_args;
  args = compileOptionsFor(input);
  auto rtti = find(args, "-fno-rtti");
  if (rtti != args.end())
    args.erase(rtti);
  args.push_back("-emit-llvm -c -g -S -o ");
  args.push_back(pathWord(plan.ll_file));
  args.push_back("-fplugin=" + shellWord(plugin_path));
  args.push_back("-Xclang -plugin-arg-ifacewriter -Xclang ");
  args.push_back(pathWord(plan.abi_file));

  plan.analyzer_args = {vetter_other_opt,       "--abi", pathWord(plan.abi_file),    "-m",
                        pathWord(plan.ll_file), "-f",    shellWord(flow_config_file)};
  return plan;
}

//===----------------------------------------------------------------------===//
// Execution: running the tools, checking what they left, cleaning up.
//===----------------------------------------------------------------------===//

// Runs the installed tool with the joined arguments through /bin/sh.  True
// when the tool was found in the executable directory and exited with 0.
bool exec_subprogram(const std::string &tool, const ArgVector &args, bool verbose) {
  std::string joined;
  for (const std::string &arg : args) {
    joined += arg;
    joined += ' ';
  }

  std::string dir = whereami::where();
  ErrorOr<std::string> found = sys::findProgramByName(tool, {dir});
  if (!found) {
    errs() << ProgramName << ": failed to execute " << tool << "\n";
    return false;
  }

  std::string command = shellWord(*found) + " " + joined;
  if (verbose) {
    errs() << shownOnOneLine(command) << "\n";
    errs().flush();
  }
  outs().flush();
  return std::system(command.c_str()) == 0;
}

static int runBuild(const BuildPlan &plan) {
  if (!exec_subprogram("clang-8", plan.options.compile_args, v_opt))
    return -1;
  if (!plan.options.link)
    return 0;

  // A failed name dump does not stop the build.
  if (plan.dumps_names)
    exec_subprogram("symlister", plan.names_args, v_opt);
  if (plan.polishes) {
    if (!exec_subprogram("binpolish", plan.polish_args, v_opt))
      return -1;
    if (!fileExists(plan.wasm_file))
      return -1;
  }

  if (plan.compiles_ahead && !exec_subprogram("wamrc", plan.aot_args, v_opt))
    return -1;

  // Without an interface description there is no container: the build
  // fails, and keeps what it made.
  if (!fileExists(plan.abi_file)) {
    errs() << ProgramName << ": error: no interface description was written for "
           << plan.container_file << "; the module is kept at " << plan.wasm_file << "\n";
    return 1;
  }
  if (!exec_subprogram("ctrpack", plan.pack_args, v_opt))
    return -1;

  if (plan.removes_intermediates) {
    sys::fs::remove(plan.wasm_file, true);
    sys::fs::remove(plan.abi_file, true);
    sys::fs::remove(plan.aot_file, true);
  }
  return 0;
}

static int runAnalysis() {
  for (const std::string &input : input_filename_opt) {
    AnalysisPlan plan = planAnalysis(input);

    outs() << "Generate .ll and .abi for " << shownOnOneLine(input) << "\n";
    outs().flush();
    if (!exec_subprogram("clang-8", plan.compile_args, false))
      return -1;
    if (!fileExists(plan.ll_file) || !fileExists(plan.abi_file))
      return -1;
    outs() << "Compile done!\n";
    outs().flush();

    if (!exec_subprogram("vetter", plan.analyzer_args, false))
      return -1;
  }
  return 0;
}

int main(int argc, char **argv) {
  cl::SetVersionPrinter([](raw_ostream &OS) {
    OS << ProgramName << " version " << Version << " (" << ZO_COMMIT_ID << ")\n";
  });
  std::string overview = std::string(ProgramName) + " (Corvane C++ -> WebAssembly compiler)";
  cl::ParseCommandLineOptions(argc, argv, overview);

  if (vetter_opt)
    return runAnalysis();
  return runBuild(planBuild());
}
