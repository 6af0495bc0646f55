//===- ctrpack.cpp - Packing contracts into .ctrx containers --------------===//
//
//   ctrpack -o CONTAINER CODE ABI [NAMES] [-compress] [MODULE -aot | -jit]
//   ctrpack --list FILE
//   ctrpack --extract FILE DIR
//   ctrpack --verify FILE
//
// zo++ runs the first form as the last step of a build.  The positional
// count tells the optional NAMES apart: CODE ABI [NAMES] without -aot,
// CODE ABI [NAMES] MODULE with it.  A NAMES file that does not exist packs
// as no names, with a warning: zo++ names the list whenever -dump-names is
// given, and its build goes on when the dump failed.  Every file is written
// to a temporary file in its directory and renamed into place, so a failure
// never leaves a partial container or section file behind.
//
//===----------------------------------------------------------------------===//

#include "AtomicFile.h"
#include "Container.h"
#include "Escape.h"
#include "Files.h"

#include "llvm/ADT/SmallString.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/CommandLine.h"
#include "llvm/Support/Errc.h"
#include "llvm/Support/FileSystem.h"
#include "llvm/Support/MemoryBuffer.h"
#include "llvm/Support/Path.h"
#include "llvm/Support/raw_ostream.h"

#include <algorithm>
#include <system_error>

using namespace llvm;
using namespace zo;

static cl::OptionCategory CtrpackCategory("ctrpack options");

static cl::list<std::string> Positionals(cl::Positional,
                                         cl::desc("<code> <abi> [<names>] "
                                                  "[<module>] | <file> [<dir>]"),
                                         cl::cat(CtrpackCategory));
static cl::opt<std::string> OutputPath("o", cl::desc("Write the container to <file>"),
                                       cl::value_desc("file"), cl::cat(CtrpackCategory));
static cl::opt<bool> Compress("compress",
                              cl::desc("Compress the code and module sections "
                                       "with zlib where that makes them smaller"),
                              cl::cat(CtrpackCategory));
static cl::opt<bool> Aot("aot",
                         cl::desc("The code is a native image; the last "
                                  "positional is its WebAssembly module"),
                         cl::cat(CtrpackCategory));
static cl::opt<bool> Jit("jit", cl::desc("Mark the module for JIT compilation"),
                         cl::cat(CtrpackCategory));
static cl::opt<bool> List("list", cl::desc("Print the flags and sections of <file>"),
                          cl::cat(CtrpackCategory));
static cl::opt<bool> Extract("extract", cl::desc("Write the sections of <file> into <dir>"),
                             cl::cat(CtrpackCategory));
static cl::opt<bool> Verify("verify", cl::desc("Check <file> and exit 0 when it is intact"),
                            cl::cat(CtrpackCategory));

static Error makeError(const Twine &Message) {
  return createStringError(inconvertibleErrorCode(), Message);
}

/// Prefixes the message of \p E with the file it is about.
static Error withFile(StringRef Path, Error E) {
  return makeError(escaped(Path) + ": " + toString(std::move(E)));
}

static Expected<std::unique_ptr<MemoryBuffer>> readInput(StringRef Path) {
  Expected<std::unique_ptr<MemoryBuffer>> Buffer = readRegularFile(Path);
  if (!Buffer)
    return withFile(Path, Buffer.takeError());
  return std::move(*Buffer);
}

static bool isMissing(StringRef Path) {
  sys::fs::file_status Status;
  return sys::fs::status(Path, Status) == std::errc::no_such_file_or_directory;
}

static Error usage(const Twine &Message) { return makeError(Message + " (see ctrpack --help)"); }

static Error pack() {
  if (Aot && Jit)
    return usage("-aot and -jit exclude each other: a native image is "
                 "not compiled again");
  size_t Count = Positionals.size();
  if (Aot ? (Count < 3 || Count > 4) : (Count < 2 || Count > 3))
    return usage(Aot ? "expected CODE ABI [NAMES] MODULE with -aot" : "expected CODE ABI [NAMES]");

  std::vector<std::pair<SectionKind, std::string>> Inputs = {
      {SectionKind::Code, Positionals[0]}, {SectionKind::Interface, Positionals[1]}};
  if (Count == (Aot ? 4u : 3u))
    Inputs.push_back({SectionKind::Names, Positionals[2]});
  if (Aot)
    Inputs.push_back({SectionKind::Module, Positionals[Count - 1]});

  uint32_t Flags = (Aot ? ctrx::FlagNativeImage : 0) | (Jit ? ctrx::FlagJit : 0) |
                   (Compress ? ctrx::FlagCompressed : 0);
  std::vector<std::unique_ptr<MemoryBuffer>> Buffers;
  std::vector<SectionInput> Sections;
  for (const auto &[Kind, Path] : Inputs) {
    if (Kind == SectionKind::Names && isMissing(Path)) {
      errs() << "ctrpack: warning: " << escaped(Path)
             << ": No such file or directory; packing no names\n";
      continue;
    }
    Expected<std::unique_ptr<MemoryBuffer>> Buffer = readInput(Path);
    if (!Buffer)
      return Buffer.takeError();
    Buffers.push_back(std::move(*Buffer));
    StringRef Content = Buffers.back()->getBuffer();
    if (Content.size() > ctrx::MaxContentSize)
      return withFile(
          Path, makeError("larger than the limit of " + Twine(ctrx::MaxContentSize) + " bytes"));
    if (Error E = checkContent(Kind, Flags, Content))
      return withFile(Path, std::move(E));
    Sections.push_back({Kind, Content});
  }

  Expected<std::string> Bytes = writeContainer(Flags, Sections);
  if (!Bytes)
    return withFile(OutputPath, Bytes.takeError());
  if (Error E = zo::writeFileAtomically(OutputPath, *Bytes))
    return withFile(OutputPath, std::move(E));
  return Error::success();
}

static Expected<Container> readFile(StringRef Path) {
  Expected<std::unique_ptr<MemoryBuffer>> Buffer = readInput(Path);
  if (!Buffer)
    return Buffer.takeError();
  Expected<Container> C = readContainer((*Buffer)->getBuffer());
  if (!C)
    return withFile(Path, C.takeError());
  return C;
}

static std::string hex(const Digest &D) { return toHex(ArrayRef<uint8_t>(D), /*LowerCase=*/true); }

static Error list(StringRef Path) {
  Expected<Container> C = readFile(Path);
  if (!C)
    return C.takeError();
  outs() << "flags: " << describeFlags(C->Flags) << "\n";
  for (const Section &S : C->Sections)
    outs() << sectionKindName(S.Kind) << " " << S.StoredSize << " " << S.Content.size() << " "
           << encodingName(S.Encoding) << " " << hex(S.Sha256) << "\n";
  return Error::success();
}

static StringRef extractedName(const Container &C, SectionKind Kind) {
  switch (Kind) {
  case SectionKind::Code:
    return C.isNativeImage() ? "code.aot" : "code.wasm";
  case SectionKind::Interface:
    return "interface.abi";
  case SectionKind::Names:
    return "names.txt";
  case SectionKind::Module:
    return "module.wasm";
  }
  llvm_unreachable("the reader only returns known kinds");
}

static Error extract(StringRef Path, StringRef Dir) {
  Expected<Container> C = readFile(Path);
  if (!C)
    return C.takeError();
  if (std::error_code EC = sys::fs::create_directories(Dir))
    return withFile(Dir, errorCodeToError(EC));
  // Extraction never replaces a file: the whole set is checked before the
  // first one is written.
  for (const Section &S : C->Sections) {
    SmallString<256> Target(Dir);
    sys::path::append(Target, extractedName(*C, S.Kind));
    sys::fs::file_status Status;
    if (!sys::fs::status(Target, Status, /*Follow=*/false) &&
        Status.type() != sys::fs::file_type::file_not_found)
      return withFile(Target, makeError("already exists; ctrpack --extract "
                                        "does not overwrite files"));
  }
  for (const Section &S : C->Sections) {
    SmallString<256> Target(Dir);
    sys::path::append(Target, extractedName(*C, S.Kind));
    if (Error E = zo::writeFileAtomically(Target, S.Content))
      return withFile(Target, std::move(E));
  }
  return Error::success();
}

static Error run() {
  int Modes = List + Extract + Verify + !OutputPath.empty();
  if (Modes == 0)
    return usage("nothing to do: give -o CONTAINER, --list, --extract or "
                 "--verify");
  if (Modes > 1)
    return usage("-o, --list, --extract and --verify exclude each other");
  if (!OutputPath.empty())
    return pack();

  if (Compress || Aot || Jit)
    return usage("-compress, -aot and -jit only apply when packing with -o");
  size_t Wanted = Extract ? 2 : 1;
  if (Positionals.size() != Wanted)
    return usage(Extract ? "expected --extract FILE DIR"
                         : (List ? "expected --list FILE" : "expected --verify FILE"));
  if (List)
    return list(Positionals[0]);
  if (Extract)
    return extract(Positionals[0], Positionals[1]);
  Expected<Container> C = readFile(Positionals[0]);
  return C ? Error::success() : C.takeError();
}

int main(int argc, char **argv) {
  cl::HideUnrelatedOptions(CtrpackCategory);
  cl::SetVersionPrinter([](raw_ostream &OS) {
    OS << "ctrpack (Corvane toolchain), container format version " << ctrx::Version << "\n";
  });
  cl::ParseCommandLineOptions(
      argc, argv,
      "Corvane contract container packer\n\n"
      "  ctrpack -o CONTAINER CODE ABI [NAMES] [-compress] [MODULE -aot | -jit]\n"
      "  ctrpack --list FILE\n"
      "  ctrpack --extract FILE DIR\n"
      "  ctrpack --verify FILE\n");

  if (Error E = run()) {
    errs() << "ctrpack: " << toString(std::move(E)) << "\n";
    return 1;
  }
  // A listing that did not reach its reader is a failure, reported here
  // rather than by the stream's fatal error at exit.
  outs().flush();
  if (outs().has_error()) {
    errs() << "ctrpack: standard output: " << outs().error().message() << "\n";
    outs().clear_error();
    return 1;
  }
  return 0;
}
