//===- ModuleCheck.cpp - Validation before binaryen sees a module ---------===//

#include "ModuleCheck.h"

#include "llvm/ADT/STLExtras.h"
#include "llvm/Support/Format.h"
#include "llvm/Support/raw_ostream.h"

#include "Module.h"

#include <string>

using namespace llvm;

namespace binpolish {
namespace {

/// A feature both wabt and binaryen know. Features outside this table stay
/// disabled: a module using them is rejected, as binaryen 108 does not share
/// wabt's reading of them.
struct Feature {
  void (wabt::Features::*Set)(bool);
  bool (wabt::Features::*Enabled)() const;
  BinaryenFeatures (*Binaryen)();
};

// Features that others depend on come last. wabt's Features turns a feature
// off while one it depends on is off, so they are dropped in this order and
// turned on in the reverse one.
const Feature Features[] = {
    {&wabt::Features::set_reference_types_enabled, &wabt::Features::reference_types_enabled,
     BinaryenFeatureReferenceTypes},
    {&wabt::Features::set_multi_value_enabled, &wabt::Features::multi_value_enabled,
     BinaryenFeatureMultivalue},
    {&wabt::Features::set_simd_enabled, &wabt::Features::simd_enabled, BinaryenFeatureSIMD128},
    {&wabt::Features::set_threads_enabled, &wabt::Features::threads_enabled,
     BinaryenFeatureAtomics},
    {&wabt::Features::set_tail_call_enabled, &wabt::Features::tail_call_enabled,
     BinaryenFeatureTailCall},
    {&wabt::Features::set_extended_const_enabled, &wabt::Features::extended_const_enabled,
     BinaryenFeatureExtendedConst},
    {&wabt::Features::set_bulk_memory_enabled, &wabt::Features::bulk_memory_enabled,
     BinaryenFeatureBulkMemory},
    {&wabt::Features::set_sat_float_to_int_enabled, &wabt::Features::sat_float_to_int_enabled,
     BinaryenFeatureNontrappingFPToInt},
    {&wabt::Features::set_sign_extension_enabled, &wabt::Features::sign_extension_enabled,
     BinaryenFeatureSignExt},
};

// Mutable globals are always allowed: wabt does not tell whether a module
// imports or exports one, and binaryen adds no import or export, so allowing
// them lets such a module through without letting anything new in.
BinaryenFeatures alwaysAllowed() { return BinaryenFeatureMutableGlobals(); }

bool succeeds(Error E) {
  bool Failed = bool(E);
  consumeError(std::move(E));
  return !Failed;
}

/// What every module may use: MVP and mutable globals.
wabt::Features baseline() {
  wabt::Features F;
  F.set_exceptions_enabled(false);
  F.set_function_references_enabled(false);
  F.set_gc_enabled(false);
  F.set_memory64_enabled(false);
  F.set_multi_memory_enabled(false);
  F.set_relaxed_simd_enabled(false);
  F.set_annotations_enabled(false);
  F.set_code_metadata_enabled(false);
  F.set_mutable_globals_enabled(true);
  for (const Feature &Each : Features)
    (F.*Each.Set)(false);
  return F;
}

/// Reads and validates the module under \p F; returns the first error, if
/// any. Custom sections are not judged: binpolish drops them anyway.
Error validate(StringRef Name, ArrayRef<uint8_t> Bytes, const wabt::Features &F) {
  return zo::wasm::readModule(Name, Bytes, F, zo::wasm::Check::Validate).takeError();
}

} // namespace

Expected<BinaryenFeatures> checkModule(StringRef Name, ArrayRef<uint8_t> Bytes) {
  wabt::Features Needed = baseline();
  for (const Feature &Each : llvm::reverse(Features))
    (Needed.*Each.Set)(true);
  if (Error E = validate(Name, Bytes, Needed)) {
    std::string Message;
    handleAllErrors(
        std::move(E),
        [&](const zo::wasm::ModuleError &ME) {
          raw_string_ostream(Message)
              << "invalid module: offset " << format_hex(ME.offset(), 2) << ": " << ME.text();
        },
        [&](const zo::wasm::LimitError &LE) {
          raw_string_ostream OS(Message);
          LE.log(OS);
        });
    return createStringError(inconvertibleErrorCode(), Message);
  }

  // What clang emits by default validates without any feature; only other
  // modules pay for the search below.
  if (succeeds(validate(Name, Bytes, baseline()))) {
    Needed = baseline();
  } else {
    for (const Feature &Each : Features) {
      wabt::Features Fewer = Needed;
      (Fewer.*Each.Set)(false);
      if (succeeds(validate(Name, Bytes, Fewer)))
        Needed = Fewer;
    }
  }

  BinaryenFeatures Result = BinaryenFeatureMVP() | alwaysAllowed();
  for (const Feature &Each : Features)
    if ((Needed.*Each.Enabled)())
      Result |= Each.Binaryen();
  return Result;
}

} // namespace binpolish
