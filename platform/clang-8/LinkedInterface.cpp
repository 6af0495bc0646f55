//===- LinkedInterface.cpp - The contract interface of a link --------------===//

#include "LinkedInterface.h"

#include "AtomicFile.h"
#include "Escape.h"
#include "Files.h"
#include "Sections.h"

#include "llvm/Support/raw_ostream.h"

using namespace llvm;
using zo::abi::UnitInterface;

namespace clang8 {

namespace {

Error failure(StringRef File, const Twine &Message) {
  return createStringError(inconvertibleErrorCode(), zo::escaped(File) + ": " + Message);
}

bool isWebAssembly(StringRef Bytes) { return Bytes.startswith(StringRef("\0asm", 4)); }

/// The records of every section of \p Sections that holds them.
Expected<std::vector<UnitInterface>> recordsIn(ArrayRef<zo::wasm::SectionRef> Sections) {
  std::vector<UnitInterface> Units;
  for (StringRef Contents : zo::wasm::customSections(Sections, zo::abi::InterfaceSectionName)) {
    Expected<std::vector<UnitInterface>> Read = zo::abi::readUnitRecords(Contents);
    if (!Read)
      return Read.takeError();
    for (UnitInterface &U : *Read)
      Units.push_back(std::move(U));
  }
  return Units;
}

} // namespace

Expected<std::vector<UnitInterface>> unitsOfObject(StringRef Path, StringRef Name) {
  Expected<std::unique_ptr<MemoryBuffer>> Buffer = zo::readRegularFile(Path);
  if (!Buffer) {
    consumeError(Buffer.takeError());
    return std::vector<UnitInterface>();
  }
  StringRef Bytes = (*Buffer)->getBuffer();
  if (!isWebAssembly(Bytes))
    return std::vector<UnitInterface>();
  Expected<std::vector<zo::wasm::SectionRef>> Sections = zo::wasm::readSections(Bytes);
  if (!Sections)
    return failure(Name, toString(Sections.takeError()));
  Expected<std::vector<UnitInterface>> Units = recordsIn(*Sections);
  if (!Units)
    return failure(Name, toString(Units.takeError()));
  // The object is what the user named; its records name the source.
  for (UnitInterface &U : *Units)
    U.Source = Name.str();
  return Units;
}

Error finishModule(StringRef Module, const Optional<InterfaceRequest> &Request) {
  Expected<std::unique_ptr<MemoryBuffer>> Buffer = zo::readRegularFile(Module);
  if (!Buffer) {
    // Output to a device or a pipe is left alone.
    consumeError(Buffer.takeError());
    return Error::success();
  }
  StringRef Bytes = (*Buffer)->getBuffer();
  if (!isWebAssembly(Bytes))
    return Error::success();
  Expected<std::vector<zo::wasm::SectionRef>> Sections = zo::wasm::readSections(Bytes);
  if (!Sections)
    return failure(Module, toString(Sections.takeError()));
  if (zo::wasm::findCustomSection(*Sections, "linking"))
    return Error::success();
  Expected<std::vector<UnitInterface>> Units = recordsIn(*Sections);
  if (!Units)
    return failure(Module, toString(Units.takeError()));

  if (zo::wasm::findCustomSection(*Sections, zo::abi::InterfaceSectionName)) {
    Expected<std::string> Stripped =
        zo::wasm::withoutCustomSections(Bytes, zo::abi::InterfaceSectionName);
    if (!Stripped)
      return failure(Module, toString(Stripped.takeError()));
    if (Error E = zo::writeFileAtomically(Module, *Stripped))
      return failure(Module, toString(std::move(E)));
  }

  if (!Request || Units->empty())
    return Error::success();
  Expected<zo::abi::Interface> Merged = zo::abi::mergeUnits(*Units, Request->Message);
  if (!Merged)
    return Merged.takeError();
  std::string Text;
  raw_string_ostream OS(Text);
  zo::abi::writeInterface(OS, *Merged);
  OS.flush();
  if (Error E = zo::writeFileAtomically(Request->Path, Text))
    return createStringError(inconvertibleErrorCode(), "cannot write the interface description '" +
                                                           zo::escaped(Request->Path) +
                                                           "': " + toString(std::move(E)));
  return Error::success();
}

} // namespace clang8
