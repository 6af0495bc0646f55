//===- Writer.cpp - The .abi JSON ------------------------------------------===//

#include "Interface.h"

#include "llvm/Support/JSON.h"

using namespace llvm;

namespace zo::abi {

static void writeFields(json::OStream &J, StringRef Key, const std::vector<Field> &Fields) {
  J.attributeArray(Key, [&] {
    for (const Field &F : Fields)
      J.object([&] {
        J.attribute("name", F.Name);
        J.attribute("type", F.Ty->Name);
      });
  });
}

void writeInterface(raw_ostream &OS, const Interface &Iface) {
  json::OStream J(OS, /*IndentSize=*/2);
  J.object([&] {
    J.attribute("version", FormatVersion);
    J.attribute("message", json::fixUTF8(Iface.Message));
    J.attributeArray("actions", [&] {
      for (const Action &A : Iface.Actions)
        J.object([&] {
          J.attribute("name", A.Name);
          writeFields(J, "params", A.Params);
          J.attribute("result", A.Result->Name);
        });
    });
    J.attributeArray("structs", [&] {
      for (const auto &S : Iface.Structs)
        J.object([&] {
          J.attribute("name", S->Name);
          writeFields(J, "fields", S->Fields);
        });
    });
    J.attributeArray("tables", [&] {
      for (const Table &T : Iface.Tables)
        J.object([&] {
          J.attribute("name", T.Name);
          J.attribute("key", T.Key->Name);
          J.attribute("value", T.Value->Name);
        });
    });
  });
  OS << '\n';
}

} // namespace zo::abi
