//===- Interface.cpp - A container's interface description -----------------===//
//
// The description comes from a file anyone can write: every member is
// checked, names must be unique where calls look them up, and types nest
// only so deep.
//
//===----------------------------------------------------------------------===//

#include "Interface.h"
#include "Host.h"

#include "llvm/ADT/STLExtras.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/ADT/StringMap.h"
#include "llvm/ADT/StringSet.h"
#include "llvm/Support/JSON.h"

using namespace llvm;

namespace ctrrun {

namespace {
// Far beyond any contract's types; keeps the parser's recursion bounded.
constexpr unsigned MaxTypeDepth = 32;

Error makeError(const Twine &Message) {
  return createStringError(inconvertibleErrorCode(), Message);
}

std::string quoted(StringRef Name) { return "'" + escaped(Name) + "'"; }

bool isNameChar(char C) { return isAlnum(C) || C == '_' || (unsigned char)C >= 0x80; }

/// Parses the type grammar
///   bool | int8..int64 | uint8..uint64 | string | vector<T> | map<K,V> | STRUCT
/// with blanks allowed between tokens.
class TypeParser {
public:
  TypeParser(Interface &I, const StringMap<const StructType *> &Structs) : I(I), Structs(Structs) {}

  Expected<const Type *> parse(StringRef Text, bool AllowVoid) {
    Whole = Rest = Text;
    if (AllowVoid && Text.trim(' ') == "void")
      return make({Type::Void, 0, false, nullptr, nullptr, nullptr, "void"});
    Expected<const Type *> T = parseOne(0);
    if (!T)
      return T.takeError();
    if (!Rest.ltrim(' ').empty())
      return malformed();
    return T;
  }

private:
  const Type *make(Type T) {
    I.Types.push_back(std::make_unique<Type>(std::move(T)));
    return I.Types.back().get();
  }

  bool consume(char C) {
    Rest = Rest.ltrim(' ');
    if (!Rest.startswith(StringRef(&C, 1)))
      return false;
    Rest = Rest.drop_front();
    return true;
  }

  Error malformed() { return makeError("malformed type " + quoted(Whole)); }

  Expected<const Type *> parseOne(unsigned Depth) {
    if (Depth == MaxTypeDepth)
      return makeError("a type nests deeper than " + Twine(MaxTypeDepth) + " levels");
    Rest = Rest.ltrim(' ');
    StringRef Word = Rest.take_while(isNameChar);
    Rest = Rest.drop_front(Word.size());
    if (Word.empty())
      return malformed();

    if (Word == "bool")
      return make({Type::Bool, 0, false, nullptr, nullptr, nullptr, "bool"});
    if (Word == "string")
      return make({Type::String, 0, false, nullptr, nullptr, nullptr, "string"});
    for (unsigned Bits : {8, 16, 32, 64}) {
      if (Word == "int" + utostr(Bits))
        return make({Type::Integer, Bits, true, nullptr, nullptr, nullptr, Word.str()});
      if (Word == "uint" + utostr(Bits))
        return make({Type::Integer, Bits, false, nullptr, nullptr, nullptr, Word.str()});
    }
    if (Word == "vector") {
      if (!consume('<'))
        return malformed();
      Expected<const Type *> Element = parseOne(Depth + 1);
      if (!Element)
        return Element.takeError();
      if (!consume('>'))
        return malformed();
      return make(
          {Type::Vector, 0, false, *Element, nullptr, nullptr, "vector<" + (*Element)->Name + ">"});
    }
    if (Word == "map") {
      if (!consume('<'))
        return malformed();
      Expected<const Type *> Key = parseOne(Depth + 1);
      if (!Key)
        return Key.takeError();
      Type::KindTy K = (*Key)->Kind;
      if (K != Type::Bool && K != Type::Integer && K != Type::String)
        return makeError("map keys are bool, integers or string, not " + quoted((*Key)->Name));
      if (!consume(','))
        return malformed();
      Expected<const Type *> Value = parseOne(Depth + 1);
      if (!Value)
        return Value.takeError();
      if (!consume('>'))
        return malformed();
      return make({Type::Map, 0, false, *Value, *Key, nullptr,
                   "map<" + (*Key)->Name + "," + (*Value)->Name + ">"});
    }
    auto S = Structs.find(Word);
    if (S == Structs.end())
      return makeError("unknown type " + quoted(Word));
    return make({Type::Struct, 0, false, nullptr, nullptr, S->second, Word.str()});
  }

  Interface &I;
  const StringMap<const StructType *> &Structs;
  StringRef Whole, Rest;
};

Expected<StringRef> stringMember(const json::Object &O, StringRef Key, const Twine &Where) {
  if (Optional<StringRef> S = O.getString(Key))
    return *S;
  return makeError(Where + " has no \"" + Key + "\" string");
}

Expected<const json::Array *> arrayMember(const json::Object &O, StringRef Key,
                                          const Twine &Where) {
  if (const json::Array *A = O.getArray(Key))
    return A;
  return makeError(Where + " has no \"" + Key + "\" array");
}

/// Reads a "params" or "fields" array: objects with a unique name and a type.
Expected<std::vector<Field>> readFields(const json::Array &Items, TypeParser &Types,
                                        const std::string &Where, StringRef What) {
  std::vector<Field> Fields;
  StringSet<> Seen;
  for (size_t Idx = 0; Idx < Items.size(); ++Idx) {
    std::string At = Where + " " + What.str() + " " + utostr(Idx);
    const json::Object *O = Items[Idx].getAsObject();
    if (!O)
      return makeError(At + " is not an object");
    Expected<StringRef> Name = stringMember(*O, "name", At);
    if (!Name)
      return Name.takeError();
    Expected<StringRef> TypeText = stringMember(*O, "type", At);
    if (!TypeText)
      return TypeText.takeError();
    std::string Named = Where + " " + What.str() + " " + quoted(*Name);
    if (Name->empty() || !Seen.insert(*Name).second)
      return makeError(Named + (Name->empty() ? " has an empty name" : " appears twice"));
    Expected<const Type *> Ty = Types.parse(*TypeText, /*AllowVoid=*/false);
    if (!Ty)
      return makeError(Named + ": " + toString(Ty.takeError()));
    Fields.push_back({Name->str(), *Ty});
  }
  return std::move(Fields);
}

} // namespace

std::string fieldList(const std::vector<Field> &Fields) {
  std::string Text;
  for (const Field &F : Fields)
    Text += (Text.empty() ? "" : ", ") + escaped(F.Name) + ": " + F.Ty->Name;
  return Text;
}

const Action *Interface::find(StringRef Name) const {
  for (const Action &A : Actions)
    if (A.Name == Name)
      return &A;
  return nullptr;
}

Expected<Interface> parseInterface(StringRef Text) {
  Expected<json::Value> Root = json::parse(Text);
  if (!Root)
    return makeError("not JSON: " + toString(Root.takeError()));
  const json::Object *O = Root->getAsObject();
  if (!O)
    return makeError("not a JSON object");
  if (const json::Value *Version = O->get("version"))
    if (Version->getAsInteger() != Optional<int64_t>(1))
      return makeError("unsupported version; ctrrun reads version 1");

  // Struct names first: fields, parameters and results may name any of them.
  Interface I;
  const json::Array NoItems;
  const json::Array *StructItems = &NoItems;
  if (O->get("structs")) {
    Expected<const json::Array *> A = arrayMember(*O, "structs", "the description");
    if (!A)
      return A.takeError();
    StructItems = *A;
  }
  StringMap<const StructType *> ByName;
  std::vector<const json::Object *> StructObjects;
  for (size_t Idx = 0; Idx < StructItems->size(); ++Idx) {
    std::string At = "struct " + utostr(Idx);
    const json::Object *S = (*StructItems)[Idx].getAsObject();
    if (!S)
      return makeError(At + " is not an object");
    Expected<StringRef> Name = stringMember(*S, "name", At);
    if (!Name)
      return Name.takeError();
    if (Name->empty() || !all_of(*Name, isNameChar))
      return makeError("struct name " + quoted(*Name) + " is not a name");
    I.Structs.push_back(std::make_unique<StructType>());
    I.Structs.back()->Name = Name->str();
    if (!ByName.try_emplace(*Name, I.Structs.back().get()).second)
      return makeError("struct " + quoted(*Name) + " appears twice");
    StructObjects.push_back(S);
  }

  TypeParser Types(I, ByName);
  for (size_t Idx = 0; Idx < StructObjects.size(); ++Idx) {
    StructType &S = *I.Structs[Idx];
    std::string At = "struct " + quoted(S.Name);
    Expected<const json::Array *> Items = arrayMember(*StructObjects[Idx], "fields", At);
    if (!Items)
      return Items.takeError();
    // Every encoded value takes at least one byte; decoding relies on it.
    if ((*Items)->empty())
      return makeError(At + " has no fields");
    Expected<std::vector<Field>> Fields = readFields(**Items, Types, At, "field");
    if (!Fields)
      return Fields.takeError();
    S.Fields = std::move(*Fields);
  }

  // Checked by name: a description may list many actions.
  StringSet<> ActionNames;
  const json::Array *ActionItems = &NoItems;
  if (O->get("actions")) {
    Expected<const json::Array *> A = arrayMember(*O, "actions", "the description");
    if (!A)
      return A.takeError();
    ActionItems = *A;
  }
  for (size_t Idx = 0; Idx < ActionItems->size(); ++Idx) {
    std::string At = "action " + utostr(Idx);
    const json::Object *A = (*ActionItems)[Idx].getAsObject();
    if (!A)
      return makeError(At + " is not an object");
    Expected<StringRef> Name = stringMember(*A, "name", At);
    if (!Name)
      return Name.takeError();
    if (Name->empty())
      return makeError(At + " has an empty name");
    if (!ActionNames.insert(*Name).second)
      return makeError("action " + quoted(*Name) + " appears twice");
    At = "action " + quoted(*Name);
    Expected<const json::Array *> Params = arrayMember(*A, "params", At);
    if (!Params)
      return Params.takeError();
    Expected<std::vector<Field>> Fields = readFields(**Params, Types, At, "parameter");
    if (!Fields)
      return Fields.takeError();
    Expected<StringRef> ResultText = stringMember(*A, "result", At);
    if (!ResultText)
      return ResultText.takeError();
    Expected<const Type *> Result = Types.parse(*ResultText, /*AllowVoid=*/true);
    if (!Result)
      return makeError(At + " result: " + toString(Result.takeError()));
    I.Actions.push_back({Name->str(), std::move(*Fields), *Result});
  }
  return std::move(I);
}

std::string signature(const Action &A) { return escaped(A.Name) + "(" + fieldList(A.Params) + ")"; }

std::string describe(const StructType &S) {
  return "struct " + escaped(S.Name) + " {" + fieldList(S.Fields) + "}";
}

} // namespace ctrrun
