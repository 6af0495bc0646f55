//===- binpolish.cpp - Polishing a linked contract module -----------------===//
//
// binpolish MODULE optimizes a linked WebAssembly contract for size and drops
// what a deployed contract does not need (names, producers, debug info and
// every other custom section). The module is replaced in place, and only
// once the polished module is complete: on any failure it stays as it was.
//
//===----------------------------------------------------------------------===//

#include "AtomicFile.h"
#include "Escape.h"
#include "Files.h"
#include "ModuleCheck.h"
#include "Optimize.h"
#include "Sections.h"

#include "llvm/ADT/SmallString.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/CommandLine.h"
#include "llvm/Support/FileSystem.h"
#include "llvm/Support/MemoryBuffer.h"
#include "llvm/Support/Path.h"
#include "llvm/Support/raw_ostream.h"

using namespace llvm;
using namespace binpolish;

static cl::OptionCategory BinpolishCategory("binpolish options");

static cl::opt<std::string> ModulePath(cl::Positional, cl::Required, cl::desc("<module.wasm>"),
                                       cl::cat(BinpolishCategory));

static Error fileError(std::error_code EC) { return errorCodeToError(EC); }

static Error withContext(const Twine &Context, Error E) {
  return createStringError(inconvertibleErrorCode(), Context + ": " + toString(std::move(E)));
}

static Error polish(StringRef Path) {
  // Work on the file a symbolic link points to, so that the link stays.
  SmallString<256> Real;
  if (std::error_code EC = sys::fs::real_path(Path, Real))
    return fileError(EC);
  Expected<std::unique_ptr<MemoryBuffer>> Buffer = zo::readRegularFile(Real);
  if (!Buffer)
    return Buffer.takeError();
  ArrayRef<uint8_t> Bytes = arrayRefFromStringRef((*Buffer)->getBuffer());

  Expected<BinaryenFeatures> Features = checkModule(Path, Bytes);
  if (!Features)
    return Features.takeError();
  Expected<std::vector<char>> Stripped = zo::wasm::stripCustomSections(Bytes);
  if (!Stripped)
    return Stripped.takeError();
  Expected<std::vector<char>> Polished = optimizeModule(std::move(*Stripped), *Features);
  if (!Polished)
    return Polished.takeError();

  if (Error E = zo::writeFileAtomically(Real, StringRef(Polished->data(), Polished->size())))
    return withContext("cannot replace the module", std::move(E));
  return Error::success();
}

int main(int argc, char **argv) {
  cl::HideUnrelatedOptions(BinpolishCategory);
  cl::SetVersionPrinter(
      [](raw_ostream &OS) { OS << "binpolish (Corvane toolchain), optimizing with binaryen\n"; });
  cl::ParseCommandLineOptions(argc, argv,
                              "Corvane contract module polisher\n\n"
                              "  Optimizes a linked contract module for size and drops names,\n"
                              "  producers, debug info and other custom sections, in place.\n");

  if (Error E = polish(ModulePath)) {
    errs() << "binpolish: " << zo::escaped(ModulePath) << ": " << toString(std::move(E)) << "\n";
    return 1;
  }
  return 0;
}
