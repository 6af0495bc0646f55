//===- Sections.cpp - Dropping custom sections ----------------------------===//

#include "Sections.h"

#include "llvm/Support/LEB128.h"

using namespace llvm;

namespace binpolish {

static constexpr size_t HeaderSize = 8; // magic and version
static constexpr uint8_t CustomSectionId = 0;

Expected<std::vector<char>> stripCustomSections(ArrayRef<uint8_t> Module) {
  // The module was validated before; the checks only keep a bad offset from
  // turning into an out-of-bounds read.
  auto Malformed = [](size_t Offset) {
    return createStringError(inconvertibleErrorCode(),
                             "malformed section at offset %zu", Offset);
  };
  if (Module.size() < HeaderSize)
    return Malformed(0);

  std::vector<char> Result(Module.begin(), Module.begin() + HeaderSize);
  const uint8_t *End = Module.end();
  const uint8_t *Section = Module.begin() + HeaderSize;
  while (Section != End) {
    const char *LEBError = nullptr;
    unsigned Length = 0;
    uint64_t Size = decodeULEB128(Section + 1, &Length, End, &LEBError);
    const uint8_t *Payload = Section + 1 + Length;
    if (LEBError || Size > uint64_t(End - Payload))
      return Malformed(Section - Module.begin());
    if (*Section != CustomSectionId)
      Result.insert(Result.end(), Section, Payload + Size);
    Section = Payload + Size;
  }
  return Result;
}

} // namespace binpolish
