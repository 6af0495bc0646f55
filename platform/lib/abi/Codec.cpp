//===- Codec.cpp - Action calls between JSON and the contract encoding -----===//

#include "Codec.h"
#include "Escape.h"
#include "JsonText.h"
#include "Leb128.h"

#include "llvm/ADT/STLExtras.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/ADT/StringSet.h"
#include "llvm/Support/raw_ostream.h"

#include <algorithm>

using namespace llvm;

namespace zo::abi {

namespace {
// Values nest through vectors, maps and structs, a struct may reach itself
// through a vector, and a hostile description may make one reach itself
// directly: recursion stops here.
constexpr unsigned MaxValueDepth = 64;
// How much of a result that does not decode a message shows.
constexpr size_t ShownOutputBytes = 64;

Error makeError(const Twine &Message) {
  return createStringError(inconvertibleErrorCode(), Message);
}

void putString(std::string &Out, StringRef Text) {
  putVaruint32(Out, uint32_t(Text.size()));
  Out += Text;
}

/// The bits of an integer of \p Bits bits, sign-extended when signed and
/// with the sign bit flipped, so that unsigned order is the integers' order.
uint64_t orderKey(uint64_t Raw, unsigned Bits, bool Signed) {
  if (!Signed)
    return Raw;
  if (Bits < 64 && (Raw >> (Bits - 1)) & 1)
    Raw |= ~0ull << Bits;
  return Raw ^ (1ull << 63);
}

/// Map keys as their encoding orders them: bytes for strings, big-endian
/// order keys for integers and bools.
std::string sortKey(const Type &Key, StringRef Encoded, StringRef Text) {
  if (Key.Kind == Type::String)
    return Text.str();
  uint64_t Raw = 0;
  for (size_t I = 0; I < Encoded.size(); ++I)
    Raw |= uint64_t(uint8_t(Encoded[I])) << (8 * I);
  uint64_t K = Key.Kind == Type::Integer ? orderKey(Raw, Key.Bits, Key.Signed) : Raw;
  std::string Bytes;
  for (int Shift = 56; Shift >= 0; Shift -= 8)
    Bytes.push_back(char(K >> Shift));
  return Bytes;
}

std::string range(const Type &T) {
  if (T.Signed)
    return "-" + utostr(1ull << (T.Bits - 1)) + " to " + utostr((1ull << (T.Bits - 1)) - 1);
  return "0 to " + utostr(T.Bits == 64 ? ~0ull : (1ull << T.Bits) - 1);
}

std::string expectation(const Type &T) {
  switch (T.Kind) {
  case Type::Bool:
    return "bool (true or false)";
  case Type::Integer:
    return T.Name + " (an integer, or a string of decimal digits)";
  case Type::String:
    return "string";
  case Type::Vector:
    return T.Name + " (an array)";
  case Type::Map:
    return T.Name +
           (T.Key->Kind == Type::String ? " (an object)" : " (an array of [key, value] pairs)");
  case Type::Struct:
    return escaped(T.Name) + " (an object by field name)";
  case Type::Void:
    break;
  }
  return T.Name;
}

std::string jsonText(const json::Value &V) {
  std::string Text;
  raw_string_ostream(Text) << V;
  return Text;
}

/// A value as a message shows it: one short line, numbers as written.
std::string shown(const json::Value &V, const Arguments &Args) {
  if (V.kind() == json::Value::Array)
    return "an array";
  if (V.kind() == json::Value::Object)
    return "an object";
  // JSON text has no control characters to escape.
  auto Number = Args.Numbers.find(&V);
  std::string Text = Number != Args.Numbers.end() ? Number->second : jsonText(V);
  return Text.size() > 40 ? Text.substr(0, 37) + "..." : Text;
}

class Encoder {
public:
  /// \p Owner names what the value belongs to in messages: an action.
  Encoder(StringRef Owner, const Arguments &Args) : Owner(Owner), Args(Args) {}

  Error encode(const Type &T, const json::Value &V, const std::string &Path, unsigned Depth,
               std::string &Out) {
    if (Depth == MaxValueDepth)
      return error(Path, "nests deeper than " + Twine(MaxValueDepth) + " levels");
    switch (T.Kind) {
    case Type::Bool:
      if (Optional<bool> B = V.getAsBoolean()) {
        Out.push_back(*B ? 1 : 0);
        return Error::success();
      }
      return wrong(T, V, Path);
    case Type::Integer:
      return encodeInteger(T, V, Path, Out);
    case Type::String:
      if (Optional<StringRef> S = V.getAsString()) {
        if (S->size() > UINT32_MAX)
          return error(Path, "a string of more than 2^32-1 bytes");
        putString(Out, *S);
        return Error::success();
      }
      return wrong(T, V, Path);
    case Type::Vector: {
      const json::Array *Items = V.getAsArray();
      if (!Items)
        return wrong(T, V, Path);
      putVaruint32(Out, uint32_t(Items->size()));
      for (size_t I = 0; I < Items->size(); ++I)
        if (Error E = encode(*T.Element, (*Items)[I], Path + "[" + utostr(I) + "]", Depth + 1, Out))
          return E;
      return Error::success();
    }
    case Type::Map:
      return encodeMap(T, V, Path, Depth, Out);
    case Type::Struct: {
      const json::Object *O = V.getAsObject();
      if (!O)
        return wrong(T, V, Path);
      const std::vector<Field> &Fields = T.Fields->Fields;
      std::string Of = " of " + escaped(T.Name) + " {" + fieldList(Fields) + "}";
      if (Optional<std::string> Extra = unexpected(*O, Fields))
        return error(Path, "unexpected field '" + *Extra + "'" + Of);
      for (const Field &F : Fields) {
        const json::Value *FV = O->get(F.Name);
        if (!FV)
          return error(Path, "missing field '" + escaped(F.Name) + "' (" + F.Ty->Name + ")" + Of);
        if (Error E = encode(*F.Ty, *FV, Path + "." + escaped(F.Name), Depth + 1, Out))
          return E;
      }
      return Error::success();
    }
    case Type::Void:
      break;
    }
    llvm_unreachable("void is only a result");
  }

  /// The first member of \p O, in byte order, that \p Fields does not name.
  static Optional<std::string> unexpected(const json::Object &O, const std::vector<Field> &Fields) {
    Optional<std::string> First;
    for (const auto &Member : O) {
      StringRef Key = Member.first;
      if (none_of(Fields, [&](const Field &F) { return F.Name == Key; }) &&
          (!First || Key < *First))
        First = Key.str();
    }
    if (First)
      First = escaped(*First);
    return First;
  }

private:
  Error error(const std::string &Path, const Twine &Message) {
    return makeError(escaped(Owner) + ": argument '" + Path + "': " + Message);
  }

  Error wrong(const Type &T, const json::Value &V, const std::string &Path) {
    return error(Path, "expected " + expectation(T) + ", got " + shown(V, Args));
  }

  Error outOfRange(const Type &T, StringRef Value, const std::string &Path) {
    return error(Path, Value + " is out of range for " + T.Name + " (" + range(T) + ")");
  }

  Error encodeInteger(const Type &T, const json::Value &V, const std::string &Path,
                      std::string &Out) {
    // Numbers are read from their text: LLVM's parser clamps integers
    // beyond 64 bits and rounds those with a fraction or exponent.
    std::string Text;
    if (Optional<StringRef> S = V.getAsString())
      Text = S->str();
    else if (V.kind() == json::Value::Number)
      Text = Args.Numbers.at(&V);
    else
      return wrong(T, V, Path);
    StringRef Digits = Text;
    bool Negative = Digits.consume_front("-");
    if (Digits.empty() || !all_of(Digits, isDigit))
      return wrong(T, V, Path);
    uint64_t Magnitude;
    if (Digits.getAsInteger(10, Magnitude))
      return outOfRange(T, escaped(Text), Path);

    uint64_t Max =
        T.Signed ? (1ull << (T.Bits - 1)) - 1 : (T.Bits == 64 ? ~0ull : (1ull << T.Bits) - 1);
    uint64_t MaxNegative = T.Signed ? 1ull << (T.Bits - 1) : 0;
    if (Negative ? Magnitude > MaxNegative : Magnitude > Max)
      return outOfRange(T, (Negative ? "-" : "") + utostr(Magnitude), Path);
    uint64_t Bits = Negative ? 0 - Magnitude : Magnitude;
    for (unsigned I = 0; I < T.Bits / 8; ++I)
      Out.push_back(char(Bits >> (8 * I)));
    return Error::success();
  }

  Error encodeMap(const Type &T, const json::Value &V, const std::string &Path, unsigned Depth,
                  std::string &Out) {
    struct Entry {
      std::string Sort, Bytes, Shown;
    };
    std::vector<Entry> Entries;
    if (T.Key->Kind == Type::String) {
      const json::Object *O = V.getAsObject();
      if (!O)
        return wrong(T, V, Path);
      for (const auto &Member : *O) {
        Entry E;
        StringRef Key = Member.first;
        E.Sort = Key.str();
        E.Shown = jsonText(json::Value(Key));
        putString(E.Bytes, Key);
        if (Error Err =
                encode(*T.Element, Member.second, Path + "[" + E.Shown + "]", Depth + 1, E.Bytes))
          return Err;
        Entries.push_back(std::move(E));
      }
    } else {
      const json::Array *Pairs = V.getAsArray();
      if (!Pairs)
        return wrong(T, V, Path);
      for (size_t I = 0; I < Pairs->size(); ++I) {
        std::string At = Path + "[" + utostr(I) + "]";
        const json::Array *Pair = (*Pairs)[I].getAsArray();
        if (!Pair || Pair->size() != 2)
          return error(At, "expected a [key, value] pair, got " + shown((*Pairs)[I], Args));
        Entry E;
        if (Error Err = encode(*T.Key, (*Pair)[0], At + "[0]", Depth + 1, E.Bytes))
          return Err;
        E.Sort = sortKey(*T.Key, E.Bytes, "");
        E.Shown = shown((*Pair)[0], Args);
        if (Error Err = encode(*T.Element, (*Pair)[1], At + "[1]", Depth + 1, E.Bytes))
          return Err;
        Entries.push_back(std::move(E));
      }
    }
    llvm::sort(Entries, [](const Entry &L, const Entry &R) { return L.Sort < R.Sort; });
    for (size_t I = 1; I < Entries.size(); ++I)
      if (Entries[I].Sort == Entries[I - 1].Sort)
        return error(Path, "the key " + Entries[I].Shown + " appears twice");
    putVaruint32(Out, uint32_t(Entries.size()));
    for (const Entry &E : Entries)
      Out += E.Bytes;
    return Error::success();
  }

  StringRef Owner;
  const Arguments &Args;
};

/// Reads values in the contract encoding and writes them as compact JSON.
class Decoder {
public:
  explicit Decoder(StringRef Data) : Data(Data) {}

  Error decode(const Type &T, raw_ostream &OS, unsigned Depth) {
    if (Depth == MaxValueDepth)
      return error("the value nests deeper than " + Twine(MaxValueDepth) + " levels");
    switch (T.Kind) {
    case Type::Bool: {
      Expected<StringRef> B = take(1, "bool");
      if (!B)
        return B.takeError();
      if (uint8_t((*B)[0]) > 1)
        return error("bool byte 0x" + utohexstr(uint8_t((*B)[0])) + " is neither 0 nor 1", At - 1);
      OS << ((*B)[0] ? "true" : "false");
      return Error::success();
    }
    case Type::Integer: {
      Expected<StringRef> Bytes = take(T.Bits / 8, T.Name);
      if (!Bytes)
        return Bytes.takeError();
      uint64_t Raw = 0;
      for (size_t I = 0; I < Bytes->size(); ++I)
        Raw |= uint64_t(uint8_t((*Bytes)[I])) << (8 * I);
      if (T.Signed)
        OS << int64_t(orderKey(Raw, T.Bits, true) ^ (1ull << 63));
      else
        OS << Raw;
      return Error::success();
    }
    case Type::String: {
      Expected<StringRef> S = string();
      if (!S)
        return S.takeError();
      writeString(OS, *S);
      return Error::success();
    }
    case Type::Vector: {
      Expected<uint32_t> N = count();
      if (!N)
        return N.takeError();
      OS << '[';
      for (uint32_t I = 0; I < *N; ++I) {
        if (I)
          OS << ',';
        if (Error E = decode(*T.Element, OS, Depth + 1))
          return E;
      }
      OS << ']';
      return Error::success();
    }
    case Type::Map:
      return decodeMap(T, OS, Depth);
    case Type::Struct: {
      OS << '{';
      bool First = true;
      for (const Field &F : T.Fields->Fields) {
        if (!First)
          OS << ',';
        First = false;
        writeString(OS, F.Name);
        OS << ':';
        if (Error E = decode(*F.Ty, OS, Depth + 1))
          return E;
      }
      OS << '}';
      return Error::success();
    }
    case Type::Void:
      break;
    }
    llvm_unreachable("void has no value");
  }

  size_t left() const { return Data.size() - At; }

private:
  Error error(const Twine &Message, size_t Where) {
    return createStringError(inconvertibleErrorCode(), "byte " + Twine(Where) + ": " + Message);
  }
  Error error(const Twine &Message) { return error(Message, At); }

  Expected<StringRef> take(size_t N, const Twine &What) {
    if (left() < N)
      return error(What + " needs " + Twine(N) + " bytes, " + Twine(left()) + " left");
    StringRef Bytes = Data.substr(At, N);
    At += N;
    return Bytes;
  }

  /// Unsigned LEB128 of at most 5 bytes in its shortest form.
  Expected<uint32_t> varuint32() {
    StringRef Rest = Data.drop_front(At);
    uint32_t Value;
    if (LebError E = readVaruint32(Rest, Value, LebForm::ShortestOnly); E != LebError::None)
      return error(describe(E), At);
    At = Data.size() - Rest.size();
    return Value;
  }

  /// An element count: every element takes at least one byte.
  Expected<uint32_t> count() {
    size_t Start = At;
    Expected<uint32_t> N = varuint32();
    if (N && *N > left())
      return error("count " + Twine(*N) + " exceeds the " + Twine(left()) + " bytes left", Start);
    return N;
  }

  Expected<StringRef> string() {
    Expected<uint32_t> N = varuint32();
    if (!N)
      return N.takeError();
    return take(*N, "a string of " + Twine(*N) + " bytes");
  }

  static void writeString(raw_ostream &OS, StringRef S) { OS << json::Value(json::fixUTF8(S)); }

  Error decodeMap(const Type &T, raw_ostream &OS, unsigned Depth) {
    Expected<uint32_t> N = count();
    if (!N)
      return N.takeError();
    bool Object = T.Key->Kind == Type::String;
    OS << (Object ? '{' : '[');
    std::string Previous;
    for (uint32_t I = 0; I < *N; ++I) {
      if (I)
        OS << ',';
      size_t Start = At;
      std::string Key;
      if (Object) {
        Expected<StringRef> S = string();
        if (!S)
          return S.takeError();
        writeString(OS, *S);
        OS << ':';
        Key = sortKey(*T.Key, "", *S);
      } else {
        OS << '[';
        if (Error E = decode(*T.Key, OS, Depth + 1))
          return E;
        OS << ',';
        Key = sortKey(*T.Key, Data.slice(Start, At), "");
      }
      if (I && Key <= Previous)
        return error(Key == Previous ? "repeated map key" : "map keys out of ascending order",
                     Start);
      Previous = std::move(Key);
      if (Error E = decode(*T.Element, OS, Depth + 1))
        return E;
      if (!Object)
        OS << ']';
    }
    OS << (Object ? '}' : ']');
    return Error::success();
  }

  StringRef Data;
  size_t At = 0;
};

} // namespace

Error parseArguments(const Action &A, StringRef Text, Arguments &Args) {
  if (jsonDepth(Text, MaxJsonDepth) > MaxJsonDepth)
    return makeError(escaped(A.Name) + ": the arguments nest deeper than " + Twine(MaxJsonDepth) +
                     " levels");
  Expected<json::Value> V = json::parse(Text);
  if (!V)
    return makeError(escaped(A.Name) +
                     ": the arguments are not valid JSON: " + toString(V.takeError()));
  Args.Value = std::move(*V);
  Args.Numbers.clear();
  if (Error E = checkJsonText(Text, Args.Value, &Args.Numbers)) {
    StringRef Where =
        E.isA<json::ParseError>() ? ": the arguments are not valid JSON: " : ": in the arguments, ";
    return makeError(escaped(A.Name) + Where + toString(std::move(E)));
  }
  return Error::success();
}

Expected<std::string> encodeCall(const Action &A, const Arguments &Args) {
  std::string Takes = "; " + escaped(A.Name) + " takes (" + fieldList(A.Params) + ")";
  const json::Object *O = Args.Value.getAsObject();
  if (!O)
    return makeError(escaped(A.Name) +
                     ": the arguments must be a JSON object by parameter "
                     "name, not " +
                     shown(Args.Value, Args) + Takes);
  if (Optional<std::string> Extra = Encoder::unexpected(*O, A.Params))
    return makeError(escaped(A.Name) + ": unexpected argument '" + *Extra + "'" + Takes);

  std::string Input;
  putString(Input, A.Name);
  Encoder E(A.Name, Args);
  for (const Field &P : A.Params) {
    const json::Value *V = O->get(P.Name);
    if (!V)
      return makeError(escaped(A.Name) + ": missing argument '" + escaped(P.Name) + "' (" +
                       P.Ty->Name + ")" + Takes);
    if (Error Err = E.encode(*P.Ty, *V, escaped(P.Name), 0, Input))
      return Err;
  }
  return Input;
}

Expected<std::string> decodeValue(const Type &T, StringRef Bytes) {
  std::string Text;
  raw_string_ostream OS(Text);
  Decoder D(Bytes);
  if (Error E = D.decode(T, OS, 0))
    return E;
  if (D.left())
    return makeError(Twine(D.left()) + " bytes left after the value");
  return Text;
}

Expected<std::string> decodeResult(const Action &A, StringRef Output) {
  auto Decode = [&]() -> Expected<std::string> {
    if (A.Result->Kind != Type::Void)
      return decodeValue(*A.Result, Output);
    if (!Output.empty())
      return makeError("output where none was expected");
    return std::string();
  };
  Expected<std::string> Text = Decode();
  if (Text)
    return Text;

  std::string Hex = toHex(Output.take_front(ShownOutputBytes), /*LowerCase=*/true);
  if (Output.size() > ShownOutputBytes)
    Hex += "...";
  return makeError("the result of " + escaped(A.Name) + " does not decode as " + A.Result->Name +
                   ": " + toString(Text.takeError()) +
                   "; the contract and its interface description disagree (output: " +
                   Twine(Output.size()) + " bytes" + (Output.empty() ? "" : ", " + Hex) + ")");
}

Expected<std::string> encodeValue(const Type &T, StringRef Json) {
  Action Value{"value", {}, &T};
  Arguments Args;
  if (Error E = parseArguments(Value, Json, Args))
    return E;
  std::string Bytes;
  if (Error E = Encoder(Value.Name, Args).encode(T, Args.Value, "value", 0, Bytes))
    return E;
  return Bytes;
}

} // namespace zo::abi
