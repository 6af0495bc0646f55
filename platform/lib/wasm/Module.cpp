//===- Module.cpp - Reading modules with wabt -----------------------------===//

#include "Module.h"

#include "llvm/ADT/StringExtras.h"

#include "wabt/binary-reader-ir.h"
#include "wabt/binary-reader.h"
#include "wabt/validator.h"

using namespace llvm;

namespace zo::wasm {

void ModuleError::log(raw_ostream &OS) const {
  OS << Message << " (at offset 0x" << utohexstr(Offset) << ")";
}

Expected<std::unique_ptr<wabt::Module>> readModule(StringRef Name, ArrayRef<uint8_t> Bytes,
                                                   const wabt::Features &Features, Check Depth) {
  wabt::Errors Errors;
  auto Module = std::make_unique<wabt::Module>();
  wabt::ReadBinaryOptions Options(Features, /*log_stream=*/nullptr,
                                  /*read_debug_names=*/false,
                                  /*stop_on_first_error=*/true,
                                  /*fail_on_custom_section_error=*/false);
  std::string FileName = Name.str();
  wabt::Result R = wabt::ReadBinaryIr(FileName.c_str(), Bytes.data(), Bytes.size(), Options,
                                      &Errors, Module.get());
  if (wabt::Succeeded(R) && Depth == Check::Validate)
    R = wabt::ValidateModule(Module.get(), &Errors, wabt::ValidateOptions(Features));
  if (wabt::Succeeded(R))
    return Module;
  for (const wabt::Error &E : Errors)
    if (E.error_level == wabt::ErrorLevel::Error)
      return make_error<ModuleError>(E.message, E.loc.offset);
  return make_error<ModuleError>("the module does not validate", 0);
}

} // namespace zo::wasm
