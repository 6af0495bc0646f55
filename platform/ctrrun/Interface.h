//===- Interface.h - A container's interface description -------------------===//
//
// The actions a contract offers and the types of their parameters and
// results, read from the .abi JSON that zo++ packs into a container.  Only
// what calling an action needs is kept: tables and the message are not.
//
//===----------------------------------------------------------------------===//

#ifndef CTRRUN_INTERFACE_H
#define CTRRUN_INTERFACE_H

#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"

#include <memory>
#include <string>
#include <vector>

namespace ctrrun {

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
  /// As the grammar spells it: "map<string,uint64>".
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

class Interface {
public:
  std::vector<Action> Actions; // in the description's order
  std::vector<std::unique_ptr<StructType>> Structs;

  const Action *find(llvm::StringRef Name) const;
  /// Owns every Type the actions and structs point to.
  std::vector<std::unique_ptr<Type>> Types;
};

/// Reads an interface description; messages do not name the file.
llvm::Expected<Interface> parseInterface(llvm::StringRef Text);

/// "question: string, choices: vector<string>"
std::string fieldList(const std::vector<Field> &Fields);
/// "open(question: string, choices: vector<string>)"
std::string signature(const Action &A);
/// "struct Poll {question: string, votes: vector<uint64>}"
std::string describe(const StructType &S);

} // namespace ctrrun

#endif
