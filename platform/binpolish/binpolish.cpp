//===- binpolish.cpp - Polishing a linked contract module -----------------===//
//
// binpolish MODULE optimizes a linked WebAssembly contract for size and drops
// what a deployed contract does not need (names, producers, debug info and
// every other custom section). The module is replaced in place, and only
// once the polished module is complete: on any failure it stays as it was.
//
//===----------------------------------------------------------------------===//

#include "ModuleCheck.h"
#include "Optimize.h"
#include "Sections.h"

#include "llvm/ADT/SmallString.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/CommandLine.h"
#include "llvm/Support/Errc.h"
#include "llvm/Support/FileSystem.h"
#include "llvm/Support/MemoryBuffer.h"
#include "llvm/Support/Path.h"
#include "llvm/Support/raw_ostream.h"

#include <algorithm>
#include <unistd.h>

using namespace llvm;
using namespace binpolish;

static cl::OptionCategory BinpolishCategory("binpolish options");

static cl::opt<std::string> ModulePath(cl::Positional, cl::Required,
                                       cl::desc("<module.wasm>"),
                                       cl::cat(BinpolishCategory));

static Error fileError(std::error_code EC) { return errorCodeToError(EC); }

static Error withContext(const Twine &Context, Error E) {
  return createStringError(inconvertibleErrorCode(),
                           Context + ": " + toString(std::move(E)));
}

/// Writes \p Contents to a temporary file beside \p Name in the current
/// directory, with the original's permission bits (and owner, where that can
/// be given), then renames it over \p Name.
static Error replaceFile(StringRef Name, const sys::fs::file_status &Original,
                         ArrayRef<char> Contents) {
  // The temporary name is built from a model in which every '%' becomes a
  // random digit, so a '%' in the module's name must not reach it.
  std::string Model = Name.str();
  std::replace(Model.begin(), Model.end(), '%', '_');
  Model += ".binpolish-%%%%%%";
  Expected<sys::fs::TempFile> Temp = sys::fs::TempFile::create(Model);
  if (!Temp)
    return withContext("cannot create a temporary file beside it",
                       Temp.takeError());

  auto Discard = [&](const Twine &Context, Error E) {
    return joinErrors(withContext(Context, std::move(E)), Temp->discard());
  };
  if (std::error_code EC =
          sys::fs::setPermissions(Temp->FD, Original.permissions()))
    return Discard("cannot set the permissions", fileError(EC));
  // Only root may give a file away; anyone else keeps their own file anyway.
  if (::geteuid() == 0)
    if (std::error_code EC = sys::fs::changeFileOwnership(
            Temp->FD, Original.getUser(), Original.getGroup()))
      return Discard("cannot keep the owner", fileError(EC));

  raw_fd_ostream OS(Temp->FD, /*shouldClose=*/false);
  OS.write(Contents.data(), Contents.size());
  OS.flush();
  if (std::error_code EC = OS.error()) {
    OS.clear_error();
    return Discard("cannot write the polished module", fileError(EC));
  }
  if (Error E = Temp->keep(Name))
    return withContext("cannot replace the module", std::move(E));
  return Error::success();
}

static Error polish(StringRef Path) {
  // Work on the file a symbolic link points to, so that the link stays.
  SmallString<256> Real;
  if (std::error_code EC = sys::fs::real_path(Path, Real))
    return fileError(EC);
  sys::fs::file_status Status;
  if (std::error_code EC = sys::fs::status(Real, Status))
    return fileError(EC);
  if (sys::fs::is_directory(Status))
    return fileError(make_error_code(errc::is_a_directory));
  if (!sys::fs::is_regular_file(Status))
    return createStringError(errc::invalid_argument, "not a regular file");

  ErrorOr<std::unique_ptr<MemoryBuffer>> Buffer = MemoryBuffer::getFile(
      Real, /*IsText=*/false, /*RequiresNullTerminator=*/false);
  if (!Buffer)
    return fileError(Buffer.getError());
  ArrayRef<uint8_t> Bytes = arrayRefFromStringRef((*Buffer)->getBuffer());

  Expected<BinaryenFeatures> Features = checkModule(Path, Bytes);
  if (!Features)
    return Features.takeError();
  Expected<std::vector<char>> Stripped = stripCustomSections(Bytes);
  if (!Stripped)
    return Stripped.takeError();
  Expected<std::vector<char>> Polished =
      optimizeModule(std::move(*Stripped), *Features);
  if (!Polished)
    return Polished.takeError();

  // From the module's own directory, its directory name never goes through
  // the temporary file's model either.
  if (std::error_code EC =
          sys::fs::set_current_path(sys::path::parent_path(Real)))
    return withContext("cannot enter its directory", fileError(EC));
  return replaceFile(sys::path::filename(Real), Status, *Polished);
}

int main(int argc, char **argv) {
  cl::HideUnrelatedOptions(BinpolishCategory);
  cl::SetVersionPrinter([](raw_ostream &OS) {
    OS << "binpolish (Corvane toolchain), optimizing with binaryen\n";
  });
  cl::ParseCommandLineOptions(
      argc, argv,
      "Corvane contract module polisher\n\n"
      "  Optimizes a linked contract module for size and drops names,\n"
      "  producers, debug info and other custom sections, in place.\n");

  if (Error E = polish(ModulePath)) {
    errs() << "binpolish: " << ModulePath << ": " << toString(std::move(E))
           << "\n";
    return 1;
  }
  return 0;
}
