//===- Host.cpp - The Corvane host interface for wabt's interpreter --------===//

#include "Host.h"

#include "llvm/ADT/STLExtras.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/Format.h"

#include <algorithm>
#include <cstring>
#include <limits>

using namespace llvm;
using namespace wabt::interp;

namespace zo::engine {

static Error trap(const Twine &Message) {
  return createStringError(inconvertibleErrorCode(), Message);
}

// A contract's output and storage live in the host's memory; these bound
// what a run can make it hold.
constexpr uint64_t MaxOutputBytes = 64 << 20;
constexpr uint64_t MaxStorageBytes = 256 << 20;

Host::Host(Transaction &T, raw_ostream &Diagnostics) : T(T), Diagnostics(Diagnostics) {
  for (const auto &Entry : T.Store)
    StoredBytes += Entry.first.size() + Entry.second.size();
}

Error Host::output(StringRef Data) {
  if (T.Output.size() + Data.size() > MaxOutputBytes)
    return trap("the call output exceeds the host's limit of " + Twine(MaxOutputBytes) + " bytes");
  T.Output += Data;
  return Error::success();
}

Error Host::store(std::string Key, StringRef Value) {
  auto It = T.Store.find(Key);
  uint64_t Replaced = It == T.Store.end() ? 0 : Key.size() + It->second.size();
  uint64_t Total = StoredBytes - Replaced + Key.size() + Value.size();
  if (Total > MaxStorageBytes)
    return trap("storage would exceed the host's limit of " + Twine(MaxStorageBytes) + " bytes");
  T.Store[std::move(Key)] = Value.str();
  StoredBytes = Total;
  return Error::success();
}

void Host::erase(StringRef Key) {
  auto It = T.Store.find(Key.str());
  if (It == T.Store.end())
    return;
  StoredBytes -= It->first.size() + It->second.size();
  T.Store.erase(It);
}

Error Host::outOfBounds(uint64_t Begin, uint64_t End) const {
  return trap("out of bounds memory access: [" + Twine(Begin) + ", " + Twine(End) +
              ") is outside the memory's " + Twine(Memory ? Memory->ByteSize() : 0) + " bytes");
}

Expected<MutableArrayRef<uint8_t>> Host::bytes(uint32_t Ptr, uint32_t Len) {
  uint64_t End = uint64_t(Ptr) + Len;
  if (!Memory || End > Memory->ByteSize())
    return outOfBounds(Ptr, End);
  return MutableArrayRef<uint8_t>(Memory->UnsafeData() + Ptr, Len);
}

Expected<StringRef> Host::text(uint32_t Ptr, uint32_t Len) {
  Expected<MutableArrayRef<uint8_t>> B = bytes(Ptr, Len);
  if (!B)
    return B.takeError();
  return StringRef(reinterpret_cast<const char *>(B->data()), B->size());
}

Expected<uint8_t> Host::byteAt(uint64_t Ptr) {
  if (!Memory || Ptr >= Memory->ByteSize())
    return outOfBounds(Ptr, Ptr + 1);
  return Memory->UnsafeData()[Ptr];
}

Expected<uint32_t> Host::cstringLength(uint32_t Ptr) {
  uint64_t Size = Memory ? Memory->ByteSize() : 0;
  if (Ptr >= Size)
    return outOfBounds(Ptr, uint64_t(Ptr) + 1);
  const void *Data = Memory->UnsafeData() + Ptr;
  const void *Nul = std::memchr(Data, 0, Size - Ptr);
  if (!Nul)
    return trap("out of bounds memory access: the string at " + Twine(Ptr) +
                " runs past the memory's " + Twine(Size) + " bytes");
  return uint32_t(static_cast<const uint8_t *>(Nul) - static_cast<const uint8_t *>(Data));
}

static uint32_t arg(const Values &Args, unsigned I) { return Args[I].Get<u32>(); }

#define TRY(Decl, Expr)                                                                            \
  auto Decl##OrErr = (Expr);                                                                       \
  if (!Decl##OrErr)                                                                                \
    return Decl##OrErr.takeError();                                                                \
  auto &Decl = *Decl##OrErr

//===----------------------------------------------------------------------===//
// corvane/host.h
//===----------------------------------------------------------------------===//

static Error inputSize(Host &H, const Values &, uint32_t &Result) {
  Result = H.transaction().Input.size();
  return Error::success();
}

// Copies min(Len, Source.size()) bytes to Buf and returns that count.
static Error copyOut(Host &H, StringRef Source, uint32_t Buf, uint32_t Len, uint32_t &Copied) {
  Copied = std::min<uint64_t>(Len, Source.size());
  TRY(Dest, H.bytes(Buf, Copied));
  std::copy(Source.begin(), Source.begin() + Copied, Dest.begin());
  return Error::success();
}

static Error inputRead(Host &H, const Values &Args, uint32_t &Result) {
  return copyOut(H, H.transaction().Input, arg(Args, 0), arg(Args, 1), Result);
}

static Error outputWrite(Host &H, const Values &Args, uint32_t &) {
  TRY(Data, H.text(arg(Args, 0), arg(Args, 1)));
  return H.output(Data);
}

static Error storageGet(Host &H, const Values &Args, uint32_t &Result) {
  TRY(Key, H.text(arg(Args, 0), arg(Args, 1)));
  const Storage &Store = H.transaction().Store;
  auto It = Store.find(Key.str());
  if (It == Store.end()) {
    Result = uint32_t(-1);
    return Error::success();
  }
  // The size is returned as a positive int32_t.
  if (It->second.size() > uint32_t(std::numeric_limits<int32_t>::max()))
    return trap("the stored value is too large to be read");
  uint32_t Copied;
  if (Error E = copyOut(H, It->second, arg(Args, 2), arg(Args, 3), Copied))
    return E;
  Result = It->second.size();
  return Error::success();
}

static Error storageSet(Host &H, const Values &Args, uint32_t &) {
  TRY(Key, H.text(arg(Args, 0), arg(Args, 1)));
  std::string KeyBytes = Key.str();
  TRY(Value, H.text(arg(Args, 2), arg(Args, 3)));
  return H.store(std::move(KeyBytes), Value);
}

static Error storageErase(Host &H, const Values &Args, uint32_t &) {
  TRY(Key, H.text(arg(Args, 0), arg(Args, 1)));
  H.erase(Key);
  return Error::success();
}

static Error logLine(Host &H, const Values &Args, uint32_t &) {
  TRY(Text, H.text(arg(Args, 0), arg(Args, 1)));
  raw_ostream &OS = H.diagnostics();
  OS << "log: ";
  writeEscaped(OS, Text);
  OS << '\n';
  return Error::success();
}

static Error emitEvent(Host &H, const Values &Args, uint32_t &) {
  TRY(Name, H.text(arg(Args, 0), arg(Args, 1)));
  std::string NameText = Name.str();
  TRY(Data, H.text(arg(Args, 2), arg(Args, 3)));
  raw_ostream &OS = H.diagnostics();
  OS << "event ";
  writeEscaped(OS, NameText);
  OS << ": ";
  writeEscaped(OS, Data);
  OS << '\n';
  return Error::success();
}

static Error abortCall(Host &H, const Values &Args, uint32_t &) {
  TRY(Message, H.text(arg(Args, 0), arg(Args, 1)));
  H.transaction().AbortMessage = escaped(Message);
  return trap("contract aborted");
}

static Error caller(Host &H, const Values &Args, uint32_t &Result) {
  const std::string &Name = H.transaction().Caller;
  uint32_t Copied;
  if (Error E = copyOut(H, Name, arg(Args, 0), arg(Args, 1), Copied))
    return E;
  Result = Name.size();
  return Error::success();
}

static Error hasAuth(Host &H, const Values &Args, uint32_t &Result) {
  TRY(Account, H.text(arg(Args, 0), arg(Args, 1)));
  Result = is_contained(H.transaction().Authorizations, Account);
  return Error::success();
}

//===----------------------------------------------------------------------===//
// The C library functions the host lends, with wasm32 signatures.
//===----------------------------------------------------------------------===//

static Error moveBytes(Host &H, const Values &Args, uint32_t &Result) {
  uint32_t Dst = arg(Args, 0), Src = arg(Args, 1), Len = arg(Args, 2);
  TRY(To, H.bytes(Dst, Len));
  TRY(From, H.bytes(Src, Len));
  // memcpy too: overlapping copies behave, whatever the contract assumed.
  std::memmove(To.data(), From.data(), Len);
  Result = Dst;
  return Error::success();
}

static Error fillBytes(Host &H, const Values &Args, uint32_t &Result) {
  uint32_t Dst = arg(Args, 0), Len = arg(Args, 2);
  TRY(To, H.bytes(Dst, Len));
  std::fill(To.begin(), To.end(), uint8_t(arg(Args, 1)));
  Result = Dst;
  return Error::success();
}

static Error compareBytes(Host &H, const Values &Args, uint32_t &Result) {
  uint32_t Len = arg(Args, 2);
  TRY(A, H.bytes(arg(Args, 0), Len));
  TRY(B, H.bytes(arg(Args, 1), Len));
  Result = 0;
  auto Diff = std::mismatch(A.begin(), A.end(), B.begin());
  if (Diff.first != A.end())
    Result = int32_t(*Diff.first) - int32_t(*Diff.second);
  return Error::success();
}

static Error stringLength(Host &H, const Values &Args, uint32_t &Result) {
  TRY(Len, H.cstringLength(arg(Args, 0)));
  Result = Len;
  return Error::success();
}

// Compares at most Limit bytes, reading no byte beyond the first difference
// or terminator.
static Error compareStrings(Host &H, uint32_t A, uint32_t B, uint64_t Limit, uint32_t &Result) {
  for (uint64_t I = 0; I < Limit; ++I) {
    TRY(CA, H.byteAt(A + I));
    TRY(CB, H.byteAt(B + I));
    if (CA != CB || CA == 0) {
      Result = int32_t(CA) - int32_t(CB);
      return Error::success();
    }
  }
  Result = 0;
  return Error::success();
}

static Error compareCStrings(Host &H, const Values &Args, uint32_t &Result) {
  return compareStrings(H, arg(Args, 0), arg(Args, 1), std::numeric_limits<uint64_t>::max(),
                        Result);
}

static Error compareCStringsN(Host &H, const Values &Args, uint32_t &Result) {
  return compareStrings(H, arg(Args, 0), arg(Args, 1), arg(Args, 2), Result);
}

#undef TRY

static const HostFunction Functions[] = {
    {"corvane_input_size", 0, true, false, inputSize},
    {"corvane_input_read", 2, true, true, inputRead},
    {"corvane_output_write", 2, false, true, outputWrite},
    {"corvane_storage_get", 4, true, true, storageGet},
    {"corvane_storage_set", 4, false, true, storageSet},
    {"corvane_storage_erase", 2, false, true, storageErase},
    {"corvane_log", 2, false, true, logLine},
    {"corvane_emit_event", 4, false, true, emitEvent},
    {"corvane_abort", 2, false, true, abortCall},
    {"corvane_caller", 2, true, true, caller},
    {"corvane_has_auth", 2, true, true, hasAuth},
    {"memcpy", 3, true, true, moveBytes},
    {"memmove", 3, true, true, moveBytes},
    {"memset", 3, true, true, fillBytes},
    {"memcmp", 3, true, true, compareBytes},
    {"strlen", 1, true, true, stringLength},
    {"strcmp", 2, true, true, compareCStrings},
    {"strncmp", 3, true, true, compareCStringsN},
};

FuncType HostFunction::type() const {
  return FuncType(ValueTypes(NumParams, wabt::Type::I32),
                  HasResult ? ValueTypes{wabt::Type::I32} : ValueTypes{});
}

ArrayRef<HostFunction> Host::functions() { return Functions; }

const HostFunction *Host::find(StringRef Module, StringRef Name) {
  if (Module != ModuleName)
    return nullptr;
  for (const HostFunction &F : Functions)
    if (Name == F.Name)
      return &F;
  return nullptr;
}

HostFunc::Ptr Host::bind(Store &S, const HostFunction &F) {
  return HostFunc::New(S, F.type(),
                       [this, &F](Thread &Th, const Values &Args, Values &Results,
                                  Trap::Ptr *OutTrap) -> wabt::Result {
                         uint32_t Result = 0;
                         if (Error E = F.Impl(*this, Args, Result)) {
                           *OutTrap = Trap::New(Th.store(), std::string(ModuleName) + "." + F.Name +
                                                                ": " + toString(std::move(E)));
                           return wabt::Result::Error;
                         }
                         if (F.HasResult) {
                           Results.resize(1);
                           Results[0] = Value::Make(Result);
                         }
                         return wabt::Result::Ok;
                       });
}

} // namespace zo::engine
