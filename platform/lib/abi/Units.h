//===- Units.h - The interfaces of a contract's translation units ----------===//
//
// The interface plug-in describes one translation unit at a time.  Besides
// the .abi it writes, it records the unit's interface in the object it
// compiles, in the custom section "corvane.interface", so that a link of
// objects compiled apart can describe the whole contract.  wasm-ld joins
// the sections of every object it links into one section of that name, so
// a section holds any number of records, one after another:
//
//   record  = string source, string description
//   string  = varuint32 byte count, then the bytes
//
// `source` is the source file as the compiler was given it; `description`
// is the unit's interface in the .abi format, with an empty message.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_ABI_UNITS_H
#define ZO_ABI_UNITS_H

#include "Interface.h"

#include "llvm/ADT/ArrayRef.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"

#include <memory>
#include <string>
#include <vector>

namespace zo::abi {

/// The custom section that holds the records.
constexpr char InterfaceSectionName[] = "corvane.interface";

/// One translation unit's interface, as recorded.
struct UnitInterface {
  /// Names the unit in messages: its source, or whatever the reader knows
  /// it by.
  std::string Source;
  /// Actions only when the unit holds the action list; no message.  Held
  /// apart, as the model itself does not move without a copy.
  std::unique_ptr<Interface> Iface;
};

/// The record of one unit.  The plug-in records no message: the contract's
/// message is given to the link.
std::string encodeUnitRecord(llvm::StringRef Source, const Interface &Iface);

/// The records of a section's contents, in order.
llvm::Expected<std::vector<UnitInterface>> readUnitRecords(llvm::StringRef Contents);

/// The contract's interface: the actions of the one unit that holds the
/// action list, and the structs and tables of all, each name once, with
/// \p Message.  Two action lists, or a struct or table that two units
/// describe differently, are errors that name both units.
llvm::Expected<Interface> mergeUnits(llvm::ArrayRef<UnitInterface> Units, llvm::StringRef Message);

} // namespace zo::abi

#endif
