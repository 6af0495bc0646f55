//===- Module.cpp - Reading modules with wabt -----------------------------===//

#include "Module.h"

#include "llvm/ADT/Optional.h"
#include "llvm/ADT/StringExtras.h"

#include "wabt/binary-reader-ir.h"
#include "wabt/binary-reader-nop.h"
#include "wabt/binary-reader.h"
#include "wabt/validator.h"

using namespace llvm;

namespace zo::wasm {

void ModuleError::log(raw_ostream &OS) const {
  OS << Message << " (at offset 0x" << utohexstr(Offset) << ")";
}

void LimitError::log(raw_ostream &OS) const {
  OS << Message << " (at offset 0x" << utohexstr(Offset) << ")";
}

static wabt::ReadBinaryOptions readOptions(const wabt::Features &Features) {
  return wabt::ReadBinaryOptions(Features, /*log_stream=*/nullptr,
                                 /*read_debug_names=*/false,
                                 /*stop_on_first_error=*/true,
                                 /*fail_on_custom_section_error=*/false);
}

namespace {
/// Follows the nesting of each function's code as wabt's reader, which
/// loops rather than recurses, decodes it, and stops the reading at the
/// first block past the limit.
class BlockDepth : public wabt::BinaryReaderNop {
public:
  bool OnError(const wabt::Error &) override { return true; }

  wabt::Result BeginFunctionBody(wabt::Index Index, wabt::Offset) override {
    Function = Index;
    Depth = 0;
    return wabt::Result::Ok;
  }
  wabt::Result OnBlockExpr(wabt::Type) override { return open(); }
  wabt::Result OnLoopExpr(wabt::Type) override { return open(); }
  wabt::Result OnIfExpr(wabt::Type) override { return open(); }
  wabt::Result OnTryExpr(wabt::Type) override { return open(); }
  wabt::Result OnEndExpr() override { return close(); }
  // `delegate` ends a try in place of its `end`.
  wabt::Result OnDelegateExpr(wabt::Index) override { return close(); }

  Optional<wabt::Index> TooDeep;
  size_t Offset = 0;

private:
  wabt::Result open() {
    if (++Depth <= MaxBlockDepth)
      return wabt::Result::Ok;
    TooDeep = Function;
    Offset = state ? state->offset : 0;
    return wabt::Result::Error;
  }
  wabt::Result close() {
    if (Depth)
      --Depth;
    return wabt::Result::Ok;
  }

  wabt::Index Function = 0;
  unsigned Depth = 0;
};
} // namespace

Error checkBlockDepth(ArrayRef<uint8_t> Bytes, const wabt::Features &Features) {
  BlockDepth Reader;
  // Any other error is the full reading's to report.
  (void)wabt::ReadBinary(Bytes.data(), Bytes.size(), &Reader, readOptions(Features));
  if (!Reader.TooDeep)
    return Error::success();
  return make_error<LimitError>("function " + std::to_string(*Reader.TooDeep) +
                                    ": blocks nest deeper than the limit of " +
                                    std::to_string(MaxBlockDepth) + " levels",
                                Reader.Offset);
}

Expected<std::unique_ptr<wabt::Module>> readModule(StringRef Name, ArrayRef<uint8_t> Bytes,
                                                   const wabt::Features &Features, Check Depth) {
  if (Error E = checkBlockDepth(Bytes, Features))
    return E;
  wabt::Errors Errors;
  auto Module = std::make_unique<wabt::Module>();
  wabt::ReadBinaryOptions Options = readOptions(Features);
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
