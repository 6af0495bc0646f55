//===- Leb128.cpp - Unsigned LEB128 of at most 32 bits --------------------===//

#include "Leb128.h"

#include "llvm/Support/ErrorHandling.h"

namespace zo {

LebError readVaruint32(llvm::StringRef &Bytes, uint32_t &Value, LebForm Form) {
  uint32_t Result = 0;
  for (size_t I = 0; I < 5; ++I) {
    if (I == Bytes.size())
      return LebError::Truncated;
    uint8_t Byte = uint8_t(Bytes[I]);
    // The fifth byte holds the top 4 bits and ends the number.
    if (I == 4 && Byte > 0x0f)
      return LebError::TooLarge;
    Result |= uint32_t(Byte & 0x7f) << (7 * I);
    if (Byte & 0x80)
      continue;
    if (Form == LebForm::ShortestOnly && Byte == 0 && I)
      return LebError::NotShortest;
    Value = Result;
    Bytes = Bytes.drop_front(I + 1);
    return LebError::None;
  }
  llvm_unreachable("the fifth byte ends every number");
}

const char *describe(LebError E) {
  switch (E) {
  case LebError::None:
    return "no error";
  case LebError::Truncated:
    return "truncated varuint32";
  case LebError::TooLarge:
    return "varuint32 exceeds 32 bits";
  case LebError::NotShortest:
    return "varuint32 not in its shortest form";
  }
  return "bad varuint32";
}

void putVaruint32(std::string &Out, uint32_t Value) {
  do {
    uint8_t Byte = Value & 0x7f;
    Value >>= 7;
    Out.push_back(char(Value ? Byte | 0x80 : Byte));
  } while (Value);
}

} // namespace zo
