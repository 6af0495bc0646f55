//===- symlister.cpp - Listing a module's functions -----------------------===//
//
// symlister MODULE [-o FILE] writes one line per function of a WebAssembly
// module, in index order:
//
//   INDEX NAME [import] [export]
//
// NAME comes from the name section when the module has one; otherwise an
// import is named MODULE.FIELD, an exported function by its first export,
// and any other function func[INDEX].  Bytes of a name that would break the
// line apart (controls, blanks, DEL) and the backslash are written as \xx
// (two hex digits), so every line splits on blanks into 2 to 4 fields.
//
//===----------------------------------------------------------------------===//

#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/CommandLine.h"
#include "llvm/Support/Errc.h"
#include "llvm/Support/FileSystem.h"
#include "llvm/Support/MemoryBuffer.h"
#include "llvm/Support/Path.h"
#include "llvm/Support/raw_ostream.h"

#include "wabt/binary-reader-ir.h"
#include "wabt/binary-reader.h"
#include "wabt/cast.h"
#include "wabt/ir.h"

#include <algorithm>
#include <map>

using namespace llvm;

static cl::OptionCategory SymlisterCategory("symlister options");

static cl::opt<std::string> ModulePath(cl::Positional, cl::Required,
                                       cl::desc("<module.wasm>"),
                                       cl::cat(SymlisterCategory));
static cl::opt<std::string> OutputPath("o",
                                       cl::desc("Write the list to <file> "
                                                "instead of standard output"),
                                       cl::value_desc("file"),
                                       cl::cat(SymlisterCategory));

static Error makeError(const Twine &Message) {
  return createStringError(inconvertibleErrorCode(), Message);
}

static Error withFile(StringRef Path, Error E) {
  return makeError(Path + ": " + toString(std::move(E)));
}

static Expected<std::unique_ptr<wabt::Module>> readModule(StringRef Path) {
  sys::fs::file_status Status;
  if (std::error_code EC = sys::fs::status(Path, Status))
    return errorCodeToError(EC);
  if (sys::fs::is_directory(Status))
    return errorCodeToError(make_error_code(errc::is_a_directory));
  if (!sys::fs::is_regular_file(Status))
    return makeError("not a regular file");
  ErrorOr<std::unique_ptr<MemoryBuffer>> Buffer = MemoryBuffer::getFile(
      Path, /*IsText=*/false, /*RequiresNullTerminator=*/false);
  if (!Buffer)
    return errorCodeToError(Buffer.getError());
  StringRef Bytes = (*Buffer)->getBuffer();

  // Whatever features the module uses, its functions can be listed.
  wabt::Features Features;
  Features.EnableAll();
  wabt::ReadBinaryOptions Options(Features, /*log_stream=*/nullptr,
                                  /*read_debug_names=*/true,
                                  /*stop_on_first_error=*/true,
                                  /*fail_on_custom_section_error=*/true);
  wabt::Errors Errors;
  auto Module = std::make_unique<wabt::Module>();
  std::string Name = Path.str();
  if (wabt::Failed(wabt::ReadBinaryIr(Name.c_str(), Bytes.data(), Bytes.size(),
                                      Options, &Errors, Module.get()))) {
    if (Errors.empty())
      return makeError("not a valid WebAssembly module");
    const wabt::Error &First = Errors.front();
    return makeError("not a valid WebAssembly module: " + First.message +
                     " (at offset 0x" + utohexstr(First.loc.offset) + ")");
  }
  return std::move(Module);
}

/// \p Name with every byte that could split a line or a field escaped.
static std::string escapeName(StringRef Name) {
  std::string Out;
  for (unsigned char C : Name) {
    if (C <= ' ' || C == 0x7f || C == '\\') {
      Out += '\\';
      Out += hexdigit(C >> 4, /*LowerCase=*/true);
      Out += hexdigit(C & 15, /*LowerCase=*/true);
    } else {
      Out += char(C);
    }
  }
  return Out;
}

static std::string listFunctions(const wabt::Module &Module) {
  std::map<wabt::Index, std::string> FirstExport;
  for (const wabt::Export *E : Module.exports)
    if (E->kind == wabt::ExternalKind::Func && E->var.is_index())
      FirstExport.emplace(E->var.index(), E->name);
  std::vector<const wabt::FuncImport *> Imports;
  for (const wabt::Import *I : Module.imports)
    if (const auto *F = wabt::dyn_cast<wabt::FuncImport>(I))
      Imports.push_back(F);

  std::string Out;
  raw_string_ostream OS(Out);
  for (wabt::Index I = 0; I < Module.funcs.size(); ++I) {
    // The reader names functions from the name section as "$name".
    StringRef Name = Module.funcs[I]->name;
    Name.consume_front("$");
    bool Imported = I < Imports.size();
    auto Export = FirstExport.find(I);
    std::string Synthesized;
    if (Name.empty()) {
      if (Imported)
        Synthesized = Imports[I]->module_name + "." + Imports[I]->field_name;
      else if (Export != FirstExport.end())
        Synthesized = Export->second;
      else
        Synthesized = "func[" + std::to_string(I) + "]";
      Name = Synthesized;
    }
    OS << I << ' ' << escapeName(Name);
    if (Imported)
      OS << " import";
    if (Export != FirstExport.end())
      OS << " export";
    OS << '\n';
  }
  return OS.str();
}

/// Writes \p Text to \p Path through a temporary file in its directory.
static Error writeOutput(StringRef Path, StringRef Text) {
  StringRef Dir = sys::path::parent_path(Path);
  // Every '%' of the model becomes a random digit: the model holds neither
  // the directory nor the name's own '%'.
  if (!Dir.empty())
    if (std::error_code EC = sys::fs::set_current_path(Dir))
      return makeError("cannot enter its directory: " + EC.message());
  std::string Model = sys::path::filename(Path).str();
  std::replace(Model.begin(), Model.end(), '%', '_');
  Model += ".symlister-%%%%%%";
  Expected<sys::fs::TempFile> Temp = sys::fs::TempFile::create(Model);
  if (!Temp)
    return makeError("cannot create a temporary file beside it: " +
                     toString(Temp.takeError()));
  raw_fd_ostream OS(Temp->FD, /*shouldClose=*/false);
  OS << Text;
  OS.flush();
  if (std::error_code EC = OS.error()) {
    OS.clear_error();
    return joinErrors(makeError("cannot write: " + EC.message()),
                      Temp->discard());
  }
  if (Error E = Temp->keep(sys::path::filename(Path)))
    return makeError("cannot rename the temporary file: " +
                     toString(std::move(E)));
  return Error::success();
}

static Error run() {
  Expected<std::unique_ptr<wabt::Module>> Module = readModule(ModulePath);
  if (!Module)
    return withFile(ModulePath, Module.takeError());
  std::string Text = listFunctions(**Module);
  if (OutputPath.empty()) {
    outs() << Text;
    return Error::success();
  }
  if (Error E = writeOutput(OutputPath, Text))
    return withFile(OutputPath, std::move(E));
  return Error::success();
}

int main(int argc, char **argv) {
  cl::HideUnrelatedOptions(SymlisterCategory);
  cl::SetVersionPrinter([](raw_ostream &OS) {
    OS << "symlister (Corvane toolchain), reading with wabt\n";
  });
  cl::ParseCommandLineOptions(
      argc, argv,
      "Corvane function lister\n\n"
      "  Lists a WebAssembly module's functions, one per line:\n"
      "  INDEX NAME [import] [export]\n");

  if (Error E = run()) {
    errs() << "symlister: " << toString(std::move(E)) << "\n";
    return 1;
  }
  return 0;
}
