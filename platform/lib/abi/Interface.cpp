//===- Interface.cpp - A container's interface description -----------------===//
//
// The description comes from a file anyone can write: every member is
// checked, names must be unique where calls look them up, and types nest
// only so deep.
//
//===----------------------------------------------------------------------===//

#include "Interface.h"
#include "Escape.h"
#include "JsonText.h"

#include "llvm/ADT/STLExtras.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/ADT/StringMap.h"
#include "llvm/ADT/StringSet.h"
#include "llvm/Support/JSON.h"

using namespace llvm;

namespace zo::abi {

namespace {
Error makeError(const Twine &Message) {
  return createStringError(inconvertibleErrorCode(), Message);
}

std::string quoted(StringRef Name) { return "'" + escaped(Name) + "'"; }

bool isNameChar(char C) { return isAlnum(C) || C == '_' || (unsigned char)C >= 0x80; }

} // namespace

/// Parses the type grammar
///   bool | int8..int64 | uint8..uint64 | string | vector<T> | map<K,V> | STRUCT
/// with blanks allowed between tokens.
class TypeParser {
public:
  explicit TypeParser(Interface &I) : I(I), Structs(I.StructsByName) {}

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
  const Type *make(Type T) { return I.make(std::move(T)); }

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
      if (!isMapKey(**Key))
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

const Type *Interface::make(Type T) {
  Types.push_back(std::make_unique<Type>(std::move(T)));
  return Types.back().get();
}

Expected<const Type *> Interface::parseType(StringRef Text, bool AllowVoid) {
  return TypeParser(*this).parse(Text, AllowVoid);
}

Expected<StructType *> Interface::addStruct(StringRef Name) {
  if (Name.empty() || !all_of(Name, isNameChar))
    return makeError("struct name " + quoted(Name) + " is not a name");
  Structs.push_back(std::make_unique<StructType>());
  StructType *S = Structs.back().get();
  S->Name = Name.str();
  if (!StructsByName.try_emplace(Name, S).second) {
    Structs.pop_back();
    return makeError("struct " + quoted(Name) + " appears twice");
  }
  return S;
}

namespace {

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
Expected<std::vector<Field>> readFields(const json::Array &Items, Interface &I,
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
    Expected<const Type *> Ty = I.parseType(*TypeText);
    if (!Ty)
      return makeError(Named + ": " + toString(Ty.takeError()));
    Fields.push_back({Name->str(), *Ty});
  }
  return Fields;
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

/// The array member \p Key of \p O; an absent member is an empty array.
static Expected<const json::Array *> optionalArray(const json::Object &O, StringRef Key) {
  static const json::Array NoItems;
  if (!O.get(Key))
    return &NoItems;
  return arrayMember(O, Key, "the description");
}

Expected<Interface> readInterface(StringRef Text) {
  if (jsonDepth(Text, MaxJsonDepth) > MaxJsonDepth)
    return makeError("it nests deeper than " + Twine(MaxJsonDepth) + " levels");
  Expected<json::Value> Root = json::parse(Text);
  if (!Root)
    return makeError("not JSON: " + toString(Root.takeError()));
  const json::Object *O = Root->getAsObject();
  if (!O)
    return makeError("not a JSON object");
  if (const json::Value *Version = O->get("version"))
    if (Version->getAsInteger() != Optional<int64_t>(FormatVersion))
      return makeError("unsupported version; ctrrun reads version " + Twine(FormatVersion));

  Interface I;
  if (const json::Value *Message = O->get("message")) {
    Optional<StringRef> Text = Message->getAsString();
    if (!Text)
      return makeError("the description's \"message\" is not a string");
    I.Message = Text->str();
  }

  // Struct names first: fields, parameters and results may name any of them.
  Expected<const json::Array *> StructItems = optionalArray(*O, "structs");
  if (!StructItems)
    return StructItems.takeError();
  std::vector<std::pair<StructType *, const json::Object *>> Declared;
  for (size_t Idx = 0; Idx < (*StructItems)->size(); ++Idx) {
    std::string At = "struct " + utostr(Idx);
    const json::Object *S = (**StructItems)[Idx].getAsObject();
    if (!S)
      return makeError(At + " is not an object");
    Expected<StringRef> Name = stringMember(*S, "name", At);
    if (!Name)
      return Name.takeError();
    Expected<StructType *> Added = I.addStruct(*Name);
    if (!Added)
      return Added.takeError();
    Declared.push_back({*Added, S});
  }

  for (auto &[S, Object] : Declared) {
    std::string At = "struct " + quoted(S->Name);
    Expected<const json::Array *> Items = arrayMember(*Object, "fields", At);
    if (!Items)
      return Items.takeError();
    // Every encoded value takes at least one byte; decoding relies on it.
    if ((*Items)->empty())
      return makeError(At + " has no fields");
    Expected<std::vector<Field>> Fields = readFields(**Items, I, At, "field");
    if (!Fields)
      return Fields.takeError();
    S->Fields = std::move(*Fields);
  }

  // Checked by name: a description may list many actions.
  StringSet<> ActionNames;
  Expected<const json::Array *> ActionItems = optionalArray(*O, "actions");
  if (!ActionItems)
    return ActionItems.takeError();
  for (size_t Idx = 0; Idx < (*ActionItems)->size(); ++Idx) {
    std::string At = "action " + utostr(Idx);
    const json::Object *A = (**ActionItems)[Idx].getAsObject();
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
    Expected<std::vector<Field>> Fields = readFields(**Params, I, At, "parameter");
    if (!Fields)
      return Fields.takeError();
    Expected<StringRef> ResultText = stringMember(*A, "result", At);
    if (!ResultText)
      return ResultText.takeError();
    Expected<const Type *> Result = I.parseType(*ResultText, /*AllowVoid=*/true);
    if (!Result)
      return makeError(At + " result: " + toString(Result.takeError()));
    I.Actions.push_back({Name->str(), std::move(*Fields), *Result});
  }

  StringSet<> TableNames;
  Expected<const json::Array *> TableItems = optionalArray(*O, "tables");
  if (!TableItems)
    return TableItems.takeError();
  for (size_t Idx = 0; Idx < (*TableItems)->size(); ++Idx) {
    std::string At = "table " + utostr(Idx);
    const json::Object *T = (**TableItems)[Idx].getAsObject();
    if (!T)
      return makeError(At + " is not an object");
    Expected<StringRef> Name = stringMember(*T, "name", At);
    if (!Name)
      return Name.takeError();
    if (Name->empty() || !TableNames.insert(*Name).second)
      return makeError("table " + quoted(*Name) +
                       (Name->empty() ? " has an empty name" : " appears twice"));
    At = "table " + quoted(*Name);
    Table Entry{Name->str(), nullptr, nullptr};
    for (auto [Member, Slot] : {std::pair{"key", &Entry.Key}, std::pair{"value", &Entry.Value}}) {
      Expected<StringRef> TypeText = stringMember(*T, Member, At);
      if (!TypeText)
        return TypeText.takeError();
      Expected<const Type *> Ty = I.parseType(*TypeText);
      if (!Ty)
        return makeError(At + " " + Member + ": " + toString(Ty.takeError()));
      *Slot = *Ty;
    }
    I.Tables.push_back(std::move(Entry));
  }
  return I;
}

std::string signature(const Action &A) { return escaped(A.Name) + "(" + fieldList(A.Params) + ")"; }

std::string describe(const StructType &S) {
  return "struct " + escaped(S.Name) + " {" + fieldList(S.Fields) + "}";
}

} // namespace zo::abi
