//===- Sections.cpp - The sections of a WebAssembly module ----------------===//

#include "Sections.h"
#include "Leb128.h"

#include "llvm/ADT/Twine.h"

using namespace llvm;

namespace zo::wasm {

static Error malformed(size_t Offset) {
  return createStringError(inconvertibleErrorCode(), "malformed section at offset %zu", Offset);
}

/// Reads a length-prefixed byte string from the front of \p Bytes.
static bool readBytes(StringRef &Bytes, StringRef &Out) {
  uint32_t Size;
  if (readVaruint32(Bytes, Size, LebForm::AnyWithinFiveBytes) != LebError::None ||
      Size > Bytes.size())
    return false;
  Out = Bytes.take_front(Size);
  Bytes = Bytes.drop_front(Size);
  return true;
}

Expected<std::vector<SectionRef>> readSections(StringRef Module) {
  if (Module.size() < HeaderSize)
    return malformed(0);
  std::vector<SectionRef> Sections;
  StringRef Rest = Module.drop_front(HeaderSize);
  while (!Rest.empty()) {
    size_t Offset = Module.size() - Rest.size();
    SectionRef S;
    S.Id = uint8_t(Rest.front());
    StringRef After = Rest.drop_front();
    if (!readBytes(After, S.Payload))
      return malformed(Offset);
    S.Bytes = Rest.take_front(Rest.size() - After.size());
    // A custom section whose name does not read is kept nameless: it does
    // not change what the code does.
    StringRef Custom = S.Payload;
    if (S.Id == CustomSectionId && readBytes(Custom, S.Name))
      S.Contents = Custom;
    Sections.push_back(S);
    Rest = After;
  }
  return Sections;
}

Optional<StringRef> findCustomSection(ArrayRef<SectionRef> Sections, StringRef Name) {
  for (const SectionRef &S : Sections)
    if (S.Id == CustomSectionId && S.Name == Name)
      return S.Contents;
  return None;
}

std::vector<StringRef> customSections(ArrayRef<SectionRef> Sections, StringRef Name) {
  std::vector<StringRef> Found;
  for (const SectionRef &S : Sections)
    if (S.Id == CustomSectionId && S.Name == Name)
      Found.push_back(S.Contents);
  return Found;
}

Expected<std::string> withoutCustomSections(StringRef Module, StringRef Name) {
  Expected<std::vector<SectionRef>> Sections = readSections(Module);
  if (!Sections)
    return Sections.takeError();
  std::string Result = Module.take_front(HeaderSize).str();
  for (const SectionRef &S : *Sections)
    if (S.Id != CustomSectionId || S.Name != Name)
      Result += S.Bytes;
  return Result;
}

Expected<std::vector<char>> stripCustomSections(ArrayRef<uint8_t> Module) {
  StringRef Bytes = toStringRef(Module);
  Expected<std::vector<SectionRef>> Sections = readSections(Bytes);
  if (!Sections)
    return Sections.takeError();
  std::vector<char> Result(Bytes.begin(), Bytes.begin() + HeaderSize);
  for (const SectionRef &S : *Sections)
    if (S.Id != CustomSectionId)
      Result.insert(Result.end(), S.Bytes.begin(), S.Bytes.end());
  return Result;
}

} // namespace zo::wasm
