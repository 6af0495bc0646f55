//===- Interface.h - A contract's interface: the .abi model ----------------===//
//
// What a caller needs to call a contract: its actions with their parameter
// and result types, the structs those types name, and the storage tables.
// zo++'s interface plug-in builds it and writes it as the .abi JSON; the
// runner reads it back.  Types are written in the small grammar
//
//   bool | int8 | int16 | int32 | int64 | uint8 | uint16 | uint32 | uint64
//   | string | vector<TYPE> | map<KEY,TYPE> | STRUCT-NAME
//
// with blanks allowed between tokens; an action's result may also be
// "void".  Map keys are bool, integers or string.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_ABI_INTERFACE_H
#define ZO_ABI_INTERFACE_H

#include "llvm/ADT/StringMap.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"
#include "llvm/Support/raw_ostream.h"

#include <corvane/detail/rules.hpp>

#include <memory>
#include <string>
#include <vector>

namespace zo::abi {

/// The version of the .abi format that writeInterface produces.
constexpr int FormatVersion = 1;
/// The SDK's field reflection stops here.
constexpr unsigned MaxStructFields = corvane::max_struct_fields;
/// Far beyond any contract's types; keeps the grammar's recursion bounded.
constexpr unsigned MaxTypeDepth = 32;

struct StructType;

struct Type {
  enum KindTy { Void, Bool, Integer, String, Vector, Map, Struct };
  KindTy Kind = Void;
  /// Integers: width in bits and signedness.
  unsigned Bits = 0;
  bool Signed = false;
  /// Vector: the element; map: the value.
  const Type *Element = nullptr;
  /// Map: the key, a bool, integer or string.
  const Type *Key = nullptr;
  const StructType *Fields = nullptr;
  /// As the grammar spells it, without blanks: "map<string,uint64>".
  std::string Name;
};

struct Field {
  std::string Name;
  const Type *Ty;
};

struct StructType {
  std::string Name;
  std::vector<Field> Fields;
};

struct Action {
  std::string Name;
  std::vector<Field> Params;
  const Type *Result;
};

struct Table {
  std::string Name;
  const Type *Key;
  const Type *Value;
};

/// Map and table keys: the types whose encoding orders like their values.
inline bool isMapKey(const Type &T) {
  return T.Kind == Type::Bool || T.Kind == Type::Integer || T.Kind == Type::String;
}

class Interface {
public:
  /// The contract message, as given; the writer makes it valid UTF-8.
  std::string Message;
  std::vector<Action> Actions; // in the order of the action list
  std::vector<std::unique_ptr<StructType>> Structs;
  std::vector<Table> Tables;

  const Action *find(llvm::StringRef Name) const;

  /// Adds a struct with no fields yet, so that types may name it.
  llvm::Expected<StructType *> addStruct(llvm::StringRef Name);

  /// Reads a type in the grammar above; the structs it names must have
  /// been added.
  llvm::Expected<const Type *> parseType(llvm::StringRef Text, bool AllowVoid = false);

private:
  friend class TypeParser;
  const Type *make(Type T);
  /// Owns every Type the actions, structs and tables point to.
  std::vector<std::unique_ptr<Type>> Types;
  llvm::StringMap<const StructType *> StructsByName;
};

/// Reads an interface description; messages do not name the file.
llvm::Expected<Interface> readInterface(llvm::StringRef Text);

/// Writes the .abi JSON: members in a fixed order, nothing that depends on
/// the time or the file system, so the same interface gives the same bytes.
/// Bytes of the message that are not UTF-8 become U+FFFD.
void writeInterface(llvm::raw_ostream &OS, const Interface &Iface);

/// "question: string, choices: vector<string>"
std::string fieldList(const std::vector<Field> &Fields);
/// "open(question: string, choices: vector<string>)"
std::string signature(const Action &A);
/// "struct Poll {question: string, votes: vector<uint64>}"
std::string describe(const StructType &S);

} // namespace zo::abi

#endif
