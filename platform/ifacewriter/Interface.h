//===- Interface.h - A contract's interface and its .abi form --------------===//
//
// What a caller needs to call a contract: its actions with their parameter
// and result types, the structs those types name, and the storage tables.
// Types are written in the small grammar of the .abi file:
//
//   bool | int8 | int16 | int32 | int64 | uint8 | uint16 | uint32 | uint64
//   | string | vector<TYPE> | map<KEY,TYPE> | STRUCT-NAME
//
// and an action's result may also be "void".
//
//===----------------------------------------------------------------------===//

#ifndef IFACEWRITER_INTERFACE_H
#define IFACEWRITER_INTERFACE_H

#include "llvm/ADT/StringRef.h"
#include "llvm/Support/raw_ostream.h"

#include <string>
#include <vector>

namespace ifacewriter {

/// The version of the .abi format that writeInterface produces.
constexpr int FormatVersion = 1;

struct Field {
  std::string Name;
  std::string Type;
};

struct Action {
  std::string Name;
  std::vector<Field> Params;
  std::string Result;
};

struct Struct {
  std::string Name;
  std::vector<Field> Fields;
};

struct Table {
  std::string Name;
  std::string Key;
  std::string Value;
};

struct Interface {
  /// Whether the translation unit declares the action list; only such a
  /// unit replaces a description that another unit wrote.
  bool HasActions = false;
  std::vector<Action> Actions; // in the order of the action list
  std::vector<Struct> Structs; // by name
  std::vector<Table> Tables;   // by name
};

/// Writes the .abi JSON: members in a fixed order, nothing that depends on
/// the time or the file system, so the same source gives the same bytes.
/// Bytes of Message that are not UTF-8 become U+FFFD.
void writeInterface(llvm::raw_ostream &OS, const Interface &Iface, llvm::StringRef Message);

} // namespace ifacewriter

#endif
