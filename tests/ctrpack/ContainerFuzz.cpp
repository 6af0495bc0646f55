//===- ContainerFuzz.cpp - libFuzzer target for the .ctrx reader ----------===//
//
// Whatever bytes come in, the reader must answer with a container or an
// error; whatever it accepts, the writer must pack again into a container
// the reader gives back unchanged.

#include "Container.h"

#include "llvm/Support/Endian.h"
#include "llvm/Support/SHA256.h"

#include <cstdlib>
#include <cstring>

using namespace llvm;
using namespace zo;

static void check(StringRef Bytes) {
  Expected<Container> C = readContainer(Bytes);
  if (!C) {
    consumeError(C.takeError());
    return;
  }
  std::vector<SectionInput> Inputs;
  for (const Section &S : C->Sections)
    Inputs.push_back({S.Kind, S.Content});
  Expected<std::string> Again = writeContainer(C->Flags, Inputs);
  if (!Again)
    std::abort();
  Expected<Container> Reread = readContainer(*Again);
  if (!Reread || Reread->Flags != C->Flags || Reread->Sections.size() != C->Sections.size())
    std::abort();
  for (size_t I = 0; I < C->Sections.size(); ++I)
    if (Reread->Sections[I].Kind != C->Sections[I].Kind ||
        Reread->Sections[I].Content != C->Sections[I].Content)
      std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  StringRef Bytes(reinterpret_cast<const char *>(Data), Size);
  check(Bytes);

  // A mutation almost always breaks the table digest, which would hide all
  // the checks behind it: read a copy with the digest made right as well.
  if (Size < ctrx::HeaderSize)
    return 0;
  uint32_t Count = support::endian::read32le(Data + 12);
  if (Count < 2 || Count > 4)
    return 0;
  size_t TableEnd = ctrx::HeaderSize + Count * ctrx::EntrySize;
  if (Size < TableEnd + ctrx::DigestSize)
    return 0;
  std::string Sealed = Bytes.str();
  Digest D = SHA256::hash(arrayRefFromStringRef(Bytes.take_front(TableEnd)));
  std::memcpy(&Sealed[TableEnd], D.data(), D.size());
  check(Sealed);
  return 0;
}
