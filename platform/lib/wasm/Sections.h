//===- Sections.h - The sections of a WebAssembly module -------*- C++ -*-===//
//
// A module is a header and a list of sections, each an id and a
// length-prefixed payload.  Custom sections (id 0) begin with their name.
// Tools that only look at or drop sections walk them here rather than
// reading the whole module.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_WASM_SECTIONS_H
#define ZO_WASM_SECTIONS_H

#include "llvm/ADT/ArrayRef.h"
#include "llvm/ADT/Optional.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"

#include <string>
#include <vector>

namespace zo::wasm {

constexpr size_t HeaderSize = 8; // magic and version
constexpr uint8_t CustomSectionId = 0;

struct SectionRef {
  uint8_t Id;
  /// The whole section, id and size included.
  llvm::StringRef Bytes;
  /// After the size; for a custom section, its name comes first.
  llvm::StringRef Payload;
  /// A custom section's name, and its payload after the name; both empty
  /// when the name does not read.
  llvm::StringRef Name;
  llvm::StringRef Contents;
};

/// The module's sections in order.  Checks only the framing: that each
/// section's size fits the module.
llvm::Expected<std::vector<SectionRef>> readSections(llvm::StringRef Module);

/// The contents of the first custom section called \p Name.
llvm::Optional<llvm::StringRef> findCustomSection(llvm::ArrayRef<SectionRef> Sections,
                                                  llvm::StringRef Name);

/// The contents of every custom section called \p Name, in order.
std::vector<llvm::StringRef> customSections(llvm::ArrayRef<SectionRef> Sections,
                                            llvm::StringRef Name);

/// Returns the module without the custom sections called \p Name; every
/// other section stays as it is, byte for byte.
llvm::Expected<std::string> withoutCustomSections(llvm::StringRef Module, llvm::StringRef Name);

/// Returns the module without its custom sections. Names, producers, DWARF,
/// source map URLs and target features all live in custom sections, and a
/// deployed contract needs none of them.
llvm::Expected<std::vector<char>> stripCustomSections(llvm::ArrayRef<uint8_t> Module);

} // namespace zo::wasm

#endif
