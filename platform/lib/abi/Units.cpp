//===- Units.cpp - The interfaces of a contract's translation units --------===//

#include "Units.h"
#include "Escape.h"
#include "Leb128.h"

#include "llvm/ADT/Twine.h"

#include <map>

using namespace llvm;

namespace zo::abi {

namespace {

Error makeError(const Twine &Message) {
  return createStringError(inconvertibleErrorCode(), Message);
}

std::string unitName(const UnitInterface &U) {
  return U.Source.empty() ? std::string("a unit without a name") : escaped(U.Source);
}

void putString(std::string &Out, StringRef Text) {
  putVaruint32(Out, uint32_t(Text.size()));
  Out += Text;
}

bool readString(StringRef &Rest, StringRef &Text) {
  uint32_t Size;
  if (readVaruint32(Rest, Size, LebForm::ShortestOnly) != LebError::None || Size > Rest.size())
    return false;
  Text = Rest.take_front(Size);
  Rest = Rest.drop_front(Size);
  return true;
}

/// The first unit to declare each name of a kind, and what it declared.
template <class Declared> using FirstSeen = std::map<std::string, std::pair<Declared, size_t>>;

} // namespace

std::string encodeUnitRecord(StringRef Source, const Interface &Iface) {
  std::string Description;
  raw_string_ostream OS(Description);
  writeInterface(OS, Iface);
  OS.flush();
  std::string Record;
  putString(Record, Source);
  putString(Record, Description);
  return Record;
}

Expected<std::vector<UnitInterface>> readUnitRecords(StringRef Contents) {
  std::vector<UnitInterface> Units;
  StringRef Rest = Contents;
  while (!Rest.empty()) {
    size_t Offset = Contents.size() - Rest.size();
    StringRef Source, Description;
    if (!readString(Rest, Source) || !readString(Rest, Description))
      return makeError("malformed interface record at offset " + Twine(Offset));
    Expected<Interface> Iface = readInterface(Description);
    if (!Iface)
      return makeError("the interface recorded for " + escaped(Source) +
                       " is malformed: " + toString(Iface.takeError()));
    Units.push_back({Source.str(), std::make_unique<Interface>(std::move(*Iface))});
  }
  return Units;
}

Expected<Interface> mergeUnits(ArrayRef<UnitInterface> Units, StringRef Message) {
  const UnitInterface *Listing = nullptr;
  FirstSeen<std::string> Structs; // by name: the struct as describe() spells it
  FirstSeen<const Table *> Tables;
  for (size_t Idx = 0; Idx < Units.size(); ++Idx) {
    const UnitInterface &U = Units[Idx];
    if (!U.Iface->Actions.empty()) {
      if (Listing)
        return makeError(unitName(*Listing) + " and " + unitName(U) +
                         " both hold an action list (CORVANE_ACTIONS); a contract has one");
      Listing = &U;
    }
    for (const auto &S : U.Iface->Structs) {
      auto [At, New] = Structs.try_emplace(S->Name, describe(*S), Idx);
      if (!New && At->second.first != describe(*S))
        return makeError("struct '" + escaped(S->Name) + "' differs between " +
                         unitName(Units[At->second.second]) + " and " + unitName(U) + ": " +
                         At->second.first + " and " + describe(*S));
    }
    for (const Table &T : U.Iface->Tables) {
      auto [At, New] = Tables.try_emplace(T.Name, &T, Idx);
      const Table &First = *At->second.first;
      if (!New && (First.Key->Name != T.Key->Name || First.Value->Name != T.Value->Name))
        return makeError("table '" + escaped(T.Name) + "' has other types in " +
                         unitName(Units[At->second.second]) + " (" + First.Key->Name + " -> " +
                         First.Value->Name + ") than in " + unitName(U) + " (" + T.Key->Name +
                         " -> " + T.Value->Name + ")");
    }
  }

  // Every type is read again into the merged model, by name: the structs
  // first, so that any type may name them.
  Interface Merged;
  Merged.Message = Message.str();
  auto TypeOf = [&](const Type *T, bool AllowVoid = false) {
    return cantFail(Merged.parseType(T->Name, AllowVoid));
  };
  auto FieldsOf = [&](const std::vector<Field> &Fields) {
    std::vector<Field> Read;
    for (const Field &F : Fields)
      Read.push_back({F.Name, TypeOf(F.Ty)});
    return Read;
  };
  std::vector<std::pair<StructType *, const StructType *>> Added;
  for (const auto &[Name, First] : Structs) {
    const UnitInterface &U = Units[First.second];
    const StructType *From = nullptr;
    for (const auto &S : U.Iface->Structs)
      if (S->Name == Name)
        From = S.get();
    Added.push_back({cantFail(Merged.addStruct(Name)), From});
  }
  for (auto &[To, From] : Added)
    To->Fields = FieldsOf(From->Fields);
  if (Listing)
    for (const Action &A : Listing->Iface->Actions)
      Merged.Actions.push_back({A.Name, FieldsOf(A.Params), TypeOf(A.Result, /*AllowVoid=*/true)});
  for (const auto &[Name, First] : Tables)
    Merged.Tables.push_back({Name, TypeOf(First.first->Key), TypeOf(First.first->Value)});
  return Merged;
}

} // namespace zo::abi
