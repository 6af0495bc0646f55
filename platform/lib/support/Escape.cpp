//===- Escape.cpp - Foreign bytes on one line of text ---------------------===//

#include "Escape.h"

#include "llvm/ADT/StringExtras.h"

using namespace llvm;

namespace zo {

void writeEscaped(raw_ostream &OS, StringRef Text) {
  for (unsigned char C : Text) {
    if (C < 0x20 || C == 0x7f || C == '\\')
      OS << "\\x" << hexdigit(C >> 4, true) << hexdigit(C & 15, true);
    else
      OS << C;
  }
}

std::string escaped(StringRef Text) {
  std::string Result;
  raw_string_ostream OS(Result);
  writeEscaped(OS, Text);
  return OS.str();
}

} // namespace zo
