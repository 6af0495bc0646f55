//===- Host.cpp - The Corvane host interface for wabt's interpreter --------===//

#include "Host.h"

#include "llvm/ADT/STLExtras.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/Format.h"
#include "llvm/Support/SHA256.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <limits>

using namespace llvm;
using namespace wabt::interp;

namespace zo::engine {

static Error trap(const Twine &Message) {
  return createStringError(inconvertibleErrorCode(), Message);
}

// A call's output and the transaction's changes live in the host's memory;
// these bound what a run can make it hold.
constexpr uint64_t MaxOutputBytes = 64 << 20;
constexpr uint64_t MaxChangedBytes = 256 << 20;

// Host work is charged as instructions, so that the instruction limit
// bounds a call's time whatever the contract asks the host to do.
constexpr uint64_t BytesPerInstruction = 16;
// A storage access reaches the database.
constexpr uint64_t StorageAccessCost = 100;

CallObserver::~CallObserver() = default;

Host::Host(Transaction &T, raw_ostream &Diagnostics, uint64_t MaxInstructions, uint64_t MaxLogBytes)
    : T(T), Diagnostics(Diagnostics), MaxInstructions(MaxInstructions), MaxLogBytes(MaxLogBytes) {}

Error Host::fault(ExitStatus Status, const Twine &Message) {
  Fault = HostFault{Status, Message.str()};
  return trap(Fault->Message);
}

Error Host::fault(Error E) {
  Optional<HostFault> Found;
  Error Rest = handleErrors(std::move(E), [&](const Failure &F) {
    Found = HostFault{F.status(), F.message()};
  });
  if (Rest)
    return Rest;
  Fault = std::move(Found);
  return trap(Fault->Message);
}

Optional<HostFault> Host::takeFault() {
  Optional<HostFault> Taken = std::move(Fault);
  Fault.reset();
  return Taken;
}

Error Host::charge(uint64_t Units) {
  if (Units > MaxInstructions - Executed) {
    Executed = MaxInstructions;
    return fault(ExitStatus::Exhausted, "the instruction limit was reached in the host");
  }
  Executed += Units;
  return Error::success();
}

Error Host::chargeBytes(uint64_t Bytes) {
  return charge(Bytes / BytesPerInstruction + (Bytes % BytesPerInstruction != 0));
}

Error Host::output(StringRef Data) {
  if (OutputBytes + Data.size() > MaxOutputBytes)
    return trap("the call output exceeds the host's limit of " + Twine(MaxOutputBytes) + " bytes");
  if (Error E = chargeBytes(Data.size()))
    return E;
  T.Output += Data;
  OutputBytes += Data.size();
  return Error::success();
}

Error Host::store(StringRef Key, StringRef Value) {
  if (Error E = charge(StorageAccessCost))
    return E;
  if (Error E = chargeBytes(Key.size() + Value.size()))
    return E;
  // A failing call drops the transaction: the change need not be undone.
  T.Store.set(Key, Value);
  if (T.Store.changedBytes() > MaxChangedBytes)
    return trap("the transaction's changes exceed the host's limit of " + Twine(MaxChangedBytes) +
                " bytes");
  return Error::success();
}

Error Host::erase(StringRef Key) {
  if (Error E = charge(StorageAccessCost))
    return E;
  if (Error E = chargeBytes(Key.size()))
    return E;
  T.Store.erase(Key);
  return Error::success();
}

Error Host::log(StringRef Line, uint64_t DataBytes) {
  if (DataBytes > MaxLogBytes - LoggedBytes)
    return fault(ExitStatus::Trap, "the call logged more than the limit of " + Twine(MaxLogBytes) +
                                       " bytes of log and event data");
  if (Error E = charge(DataBytes))
    return E;
  LoggedBytes += DataBytes;
  // One write per line: the stream may be unbuffered.
  Diagnostics << Line;
  return Error::success();
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

static Error inputSize(Host &H, const Values &, uint64_t &Result) {
  Result = H.transaction().Input.size();
  return Error::success();
}

// Copies min(Len, Source.size()) bytes to Buf and returns that count.
static Error copyOut(Host &H, StringRef Source, uint32_t Buf, uint32_t Len, uint64_t &Copied) {
  Copied = std::min<uint64_t>(Len, Source.size());
  TRY(Dest, H.bytes(Buf, Copied));
  std::copy(Source.begin(), Source.begin() + Copied, Dest.begin());
  return Error::success();
}

static Error inputRead(Host &H, const Values &Args, uint64_t &Result) {
  const std::string &Input = H.transaction().Input;
  if (Error E = H.chargeBytes(std::min<uint64_t>(arg(Args, 1), Input.size())))
    return E;
  return copyOut(H, Input, arg(Args, 0), arg(Args, 1), Result);
}

static Error outputWrite(Host &H, const Values &Args, uint64_t &) {
  TRY(Data, H.text(arg(Args, 0), arg(Args, 1)));
  return H.output(Data);
}

static Error storageGet(Host &H, const Values &Args, uint64_t &Result) {
  TRY(Key, H.text(arg(Args, 0), arg(Args, 1)));
  if (Error E = H.charge(StorageAccessCost))
    return E;
  if (Error E = H.chargeBytes(Key.size()))
    return E;
  Expected<Optional<std::string>> Value = H.transaction().Store.get(Key);
  if (!Value)
    return H.fault(Value.takeError());
  if (!*Value) {
    Result = uint32_t(-1);
    return Error::success();
  }
  // The size is returned as a positive int32_t.
  if ((*Value)->size() > uint32_t(std::numeric_limits<int32_t>::max()))
    return trap("the stored value is too large to be read");
  if (Error E = H.chargeBytes((*Value)->size()))
    return E;
  uint64_t Copied;
  if (Error E = copyOut(H, **Value, arg(Args, 2), arg(Args, 3), Copied))
    return E;
  Result = (*Value)->size();
  return Error::success();
}

static Error storageSet(Host &H, const Values &Args, uint64_t &) {
  TRY(Key, H.text(arg(Args, 0), arg(Args, 1)));
  TRY(Value, H.text(arg(Args, 2), arg(Args, 3)));
  return H.store(Key, Value);
}

static Error storageErase(Host &H, const Values &Args, uint64_t &) {
  TRY(Key, H.text(arg(Args, 0), arg(Args, 1)));
  return H.erase(Key);
}

static Error logLine(Host &H, const Values &Args, uint64_t &) {
  TRY(Text, H.text(arg(Args, 0), arg(Args, 1)));
  std::string Line = "log: ";
  raw_string_ostream OS(Line);
  writeEscaped(OS, Text);
  OS << '\n';
  if (Error E = H.log(OS.str(), Text.size()))
    return E;
  if (CallObserver *O = H.transaction().Observer)
    O->logged(Text);
  return Error::success();
}

static Error emitEvent(Host &H, const Values &Args, uint64_t &) {
  TRY(Name, H.text(arg(Args, 0), arg(Args, 1)));
  TRY(Data, H.text(arg(Args, 2), arg(Args, 3)));
  std::string Line = "event ";
  raw_string_ostream OS(Line);
  writeEscaped(OS, Name);
  OS << ": ";
  writeEscaped(OS, Data);
  OS << '\n';
  if (Error E = H.log(OS.str(), Name.size() + Data.size()))
    return E;
  if (CallObserver *O = H.transaction().Observer)
    O->emitted(Name, Data);
  return Error::success();
}

static Error abortCall(Host &H, const Values &Args, uint64_t &) {
  TRY(Message, H.text(arg(Args, 0), arg(Args, 1)));
  if (Error E = H.chargeBytes(Message.size()))
    return E;
  if (CallObserver *O = H.transaction().Observer)
    O->aborted(Message);
  return H.fault(ExitStatus::Abort, "contract aborted: " + escaped(Message));
}

// Copies min(len, size) bytes of Name to the buffer and returns its size.
static Error copyName(Host &H, StringRef Name, const Values &Args, uint64_t &Result) {
  if (Error E = H.chargeBytes(Name.size()))
    return E;
  uint64_t Copied;
  if (Error E = copyOut(H, Name, arg(Args, 0), arg(Args, 1), Copied))
    return E;
  Result = Name.size();
  return Error::success();
}

static Error caller(Host &H, const Values &Args, uint64_t &Result) {
  return copyName(H, H.transaction().Caller, Args, Result);
}

static Error self(Host &H, const Values &Args, uint64_t &Result) {
  return copyName(H, H.transaction().Self, Args, Result);
}

static Error blockHeight(Host &H, const Values &, uint64_t &Result) {
  Result = H.transaction().BlockHeight;
  return Error::success();
}

static Error blockTime(Host &H, const Values &, uint64_t &Result) {
  Result = H.transaction().BlockTime;
  return Error::success();
}

static Error hasAuth(Host &H, const Values &Args, uint64_t &Result) {
  TRY(Account, H.text(arg(Args, 0), arg(Args, 1)));
  if (Error E = H.chargeBytes(Account.size()))
    return E;
  Result = is_contained(H.transaction().Authorizations, Account);
  return Error::success();
}

//===----------------------------------------------------------------------===//
// Hashes and signatures.
//===----------------------------------------------------------------------===//

// A hash or signature check costs its setup and then its bytes.
constexpr uint64_t HashCost = 50;
constexpr uint64_t SignatureCheckCost = 5000;

// (data, len, out): writes the 32-byte digest of data to out.
static Error hashInto(Host &H, const Values &Args,
                      void (*Digest)(ArrayRef<uint8_t> Data, uint8_t *Out)) {
  TRY(Data, H.bytes(arg(Args, 0), arg(Args, 1)));
  TRY(Out, H.bytes(arg(Args, 2), 32));
  if (Error E = H.charge(HashCost))
    return E;
  if (Error E = H.chargeBytes(Data.size()))
    return E;
  uint8_t Digest32[32];
  Digest(Data, Digest32);
  std::copy(Digest32, Digest32 + 32, Out.begin());
  return Error::success();
}

static Error sha256(Host &H, const Values &Args, uint64_t &) {
  return hashInto(H, Args, [](ArrayRef<uint8_t> Data, uint8_t *Out) {
    std::array<uint8_t, 32> Digest = SHA256::hash(Data);
    std::copy(Digest.begin(), Digest.end(), Out);
  });
}

static Error blake2b(Host &H, const Values &Args, uint64_t &) {
  return hashInto(H, Args, [](ArrayRef<uint8_t> Data, uint8_t *Out) {
    crypto_generichash(Out, 32, Data.data(), Data.size(), nullptr, 0);
  });
}

// (signature, message, len, public key): 1 when the 64-byte Ed25519
// signature of message is valid under the 32-byte key, else 0.
static Error verifyEd25519(Host &H, const Values &Args, uint64_t &Result) {
  TRY(Signature, H.bytes(arg(Args, 0), crypto_sign_BYTES));
  TRY(Message, H.bytes(arg(Args, 1), arg(Args, 2)));
  TRY(Key, H.bytes(arg(Args, 3), crypto_sign_PUBLICKEYBYTES));
  if (Error E = H.charge(SignatureCheckCost))
    return E;
  if (Error E = H.chargeBytes(Message.size()))
    return E;
  if (sodium_init() < 0)
    return trap("the signature library cannot start");
  Result = crypto_sign_verify_detached(Signature.data(), Message.data(), Message.size(),
                                       Key.data()) == 0;
  return Error::success();
}

//===----------------------------------------------------------------------===//
// The C library functions the host lends, with wasm32 signatures.
//===----------------------------------------------------------------------===//

static Error moveBytes(Host &H, const Values &Args, uint64_t &Result) {
  uint32_t Dst = arg(Args, 0), Src = arg(Args, 1), Len = arg(Args, 2);
  TRY(To, H.bytes(Dst, Len));
  TRY(From, H.bytes(Src, Len));
  if (Error E = H.chargeBytes(Len))
    return E;
  // memcpy too: overlapping copies behave, whatever the contract assumed.
  std::memmove(To.data(), From.data(), Len);
  Result = Dst;
  return Error::success();
}

static Error fillBytes(Host &H, const Values &Args, uint64_t &Result) {
  uint32_t Dst = arg(Args, 0), Len = arg(Args, 2);
  TRY(To, H.bytes(Dst, Len));
  if (Error E = H.chargeBytes(Len))
    return E;
  std::fill(To.begin(), To.end(), uint8_t(arg(Args, 1)));
  Result = Dst;
  return Error::success();
}

static Error compareBytes(Host &H, const Values &Args, uint64_t &Result) {
  uint32_t Len = arg(Args, 2);
  TRY(A, H.bytes(arg(Args, 0), Len));
  TRY(B, H.bytes(arg(Args, 1), Len));
  if (Error E = H.chargeBytes(Len))
    return E;
  Result = 0;
  auto Diff = std::mismatch(A.begin(), A.end(), B.begin());
  if (Diff.first != A.end())
    Result = int32_t(*Diff.first) - int32_t(*Diff.second);
  return Error::success();
}

static Error stringLength(Host &H, const Values &Args, uint64_t &Result) {
  TRY(Len, H.cstringLength(arg(Args, 0)));
  if (Error E = H.chargeBytes(uint64_t(Len) + 1))
    return E;
  Result = Len;
  return Error::success();
}

// Compares at most Limit bytes, reading no byte beyond the first difference
// or terminator.  Charged as it goes, as chargeBytes would for the bytes
// compared, so that a long comparison stops at the limit.
static Error compareStrings(Host &H, uint32_t A, uint32_t B, uint64_t Limit, uint64_t &Result) {
  for (uint64_t I = 0; I < Limit; ++I) {
    if (I % BytesPerInstruction == 0)
      if (Error E = H.charge(1))
        return E;
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

static Error compareCStrings(Host &H, const Values &Args, uint64_t &Result) {
  return compareStrings(H, arg(Args, 0), arg(Args, 1), std::numeric_limits<uint64_t>::max(),
                        Result);
}

static Error compareCStringsN(Host &H, const Values &Args, uint64_t &Result) {
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
    {"corvane_self", 2, true, true, self},
    {"corvane_block_height", 0, true, false, blockHeight, /*WideResult=*/true},
    {"corvane_block_time", 0, true, false, blockTime, /*WideResult=*/true},
    {"corvane_sha256", 3, false, true, sha256},
    {"corvane_blake2b_256", 3, false, true, blake2b},
    {"corvane_verify_ed25519", 4, true, true, verifyEd25519},
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
                  HasResult ? ValueTypes{WideResult ? wabt::Type::I64 : wabt::Type::I32}
                            : ValueTypes{});
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
                         uint64_t Result = 0;
                         if (Error E = F.Impl(*this, Args, Result)) {
                           *OutTrap = Trap::New(Th.store(), std::string(ModuleName) + "." + F.Name +
                                                                ": " + toString(std::move(E)));
                           return wabt::Result::Error;
                         }
                         if (F.HasResult) {
                           Results.resize(1);
                           Results[0] =
                               F.WideResult ? Value::Make(Result) : Value::Make(uint32_t(Result));
                         }
                         return wabt::Result::Ok;
                       });
}

} // namespace zo::engine
