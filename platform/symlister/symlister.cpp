//===- symlister.cpp - Listing a module's functions -----------------------===//
//
// symlister MODULE [-o FILE] writes one line per function of a WebAssembly
// module, in index order:
//
//   INDEX NAME [import] [export]
//
// NAME comes from the name section when the module has one (a malformed
// one counts as none, as it does not change what the code does); otherwise an
// import is named MODULE.FIELD, an exported function by its first export,
// and any other function func[INDEX].  Bytes of a name that would break the
// line apart (controls, blanks, DEL) and the backslash are written as \xx
// (two hex digits), so every line splits on blanks into 2 to 4 fields.
//
//===----------------------------------------------------------------------===//

#include "AtomicFile.h"
#include "Escape.h"
#include "Files.h"
#include "Leb128.h"
#include "Module.h"
#include "Sections.h"

#include "llvm/ADT/SmallString.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/CommandLine.h"
#include "llvm/Support/MemoryBuffer.h"
#include "llvm/Support/Path.h"
#include "llvm/Support/raw_ostream.h"

#include "wabt/cast.h"
#include "wabt/ir.h"

#include <algorithm>
#include <map>

using namespace llvm;

static cl::OptionCategory SymlisterCategory("symlister options");

static cl::opt<std::string> ModulePath(cl::Positional, cl::Required, cl::desc("<module.wasm>"),
                                       cl::cat(SymlisterCategory));
static cl::opt<std::string> OutputPath("o",
                                       cl::desc("Write the list to <file> "
                                                "instead of standard output"),
                                       cl::value_desc("file"), cl::cat(SymlisterCategory));

static Error makeError(const Twine &Message) {
  return createStringError(inconvertibleErrorCode(), Message);
}

static Error withFile(StringRef Path, Error E) {
  return makeError(zo::escaped(Path) + ": " + toString(std::move(E)));
}

/// A module as wabt read it, and its function names from the name section.
struct ListedModule {
  std::unique_ptr<wabt::Module> Module;
  std::map<uint32_t, std::string> Names;
};

/// Reads a varuint32 from the front of \p Bytes, in any form a module may
/// use.
static bool readU32(StringRef &Bytes, uint32_t &Value) {
  return zo::readVaruint32(Bytes, Value, zo::LebForm::AnyWithinFiveBytes) == zo::LebError::None;
}

/// Reads a length-prefixed byte string from the front of \p Bytes.
static bool readBytes(StringRef &Bytes, StringRef &Out) {
  uint32_t Size;
  if (!readU32(Bytes, Size) || Size > Bytes.size())
    return false;
  Out = Bytes.take_front(Size);
  Bytes = Bytes.drop_front(Size);
  return true;
}

/// The function names subsection of the name section \p Payload (after the
/// section's own name), or nothing when it is malformed or names a function
/// the module does not have.  wabt's own reading of it would make equal
/// names unique and reject the module over a bad entry.
static std::map<uint32_t, std::string> readFunctionNames(StringRef Payload, uint32_t Functions) {
  while (!Payload.empty()) {
    uint8_t Id = Payload.front();
    Payload = Payload.drop_front();
    StringRef Sub;
    if (!readBytes(Payload, Sub))
      return {};
    if (Id != 1)
      continue;
    std::map<uint32_t, std::string> Names;
    uint32_t Count;
    if (!readU32(Sub, Count))
      return {};
    for (uint32_t I = 0; I < Count; ++I) {
      uint32_t Index;
      StringRef Name;
      if (!readU32(Sub, Index) || Index >= Functions || !readBytes(Sub, Name))
        return {};
      Names[Index] = Name.str();
    }
    return Sub.empty() ? Names : std::map<uint32_t, std::string>();
  }
  return {};
}

static Expected<ListedModule> readModule(StringRef Path) {
  Expected<std::unique_ptr<MemoryBuffer>> Buffer = zo::readRegularFile(Path);
  if (!Buffer)
    return Buffer.takeError();
  StringRef Bytes = (*Buffer)->getBuffer();

  // Whatever features the module uses, its functions can be listed.
  wabt::Features Features;
  Features.EnableAll();
  Expected<std::unique_ptr<wabt::Module>> Module = zo::wasm::readModule(
      Path, arrayRefFromStringRef(Bytes), Features, zo::wasm::Check::Structure);
  if (!Module) {
    Error E = Module.takeError();
    if (E.isA<zo::wasm::LimitError>())
      return E;
    return makeError("not a valid WebAssembly module: " + toString(std::move(E)));
  }
  ListedModule Listed;
  // wabt has read the module as a whole, so its sections frame well.
  Expected<std::vector<zo::wasm::SectionRef>> Sections = zo::wasm::readSections(Bytes);
  if (!Sections)
    return Sections.takeError();
  if (Optional<StringRef> Payload = zo::wasm::findCustomSection(*Sections, "name"))
    Listed.Names = readFunctionNames(*Payload, (*Module)->funcs.size());
  Listed.Module = std::move(*Module);
  return Listed;
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

static std::string listFunctions(const wabt::Module &Module,
                                 const std::map<uint32_t, std::string> &Names) {
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
    auto Named = Names.find(I);
    StringRef Name = Named == Names.end() ? StringRef() : Named->second;
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

static Error run() {
  Expected<ListedModule> Module = readModule(ModulePath);
  if (!Module)
    return withFile(ModulePath, Module.takeError());
  std::string Text = listFunctions(*Module->Module, Module->Names);
  if (OutputPath.empty()) {
    outs() << Text;
    outs().flush();
    if (std::error_code EC = outs().error()) {
      outs().clear_error();
      return makeError("standard output: " + EC.message());
    }
    return Error::success();
  }
  if (Error E = zo::writeFileAtomically(OutputPath, Text))
    return withFile(OutputPath, std::move(E));
  return Error::success();
}

int main(int argc, char **argv) {
  cl::HideUnrelatedOptions(SymlisterCategory);
  cl::SetVersionPrinter(
      [](raw_ostream &OS) { OS << "symlister (Corvane toolchain), reading with wabt\n"; });
  cl::ParseCommandLineOptions(argc, argv,
                              "Corvane function lister\n\n"
                              "  Lists a WebAssembly module's functions, one per line:\n"
                              "  INDEX NAME [import] [export]\n");

  if (Error E = run()) {
    errs() << "symlister: " << toString(std::move(E)) << "\n";
    return 1;
  }
  return 0;
}
