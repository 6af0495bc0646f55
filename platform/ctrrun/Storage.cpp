//===- Storage.cpp - The contract's key-value store on disk ----------------===//

#include "Storage.h"
#include "Failure.h"

#include "llvm/ADT/SmallString.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/FileSystem.h"
#include "llvm/Support/JSON.h"
#include "llvm/Support/MemoryBuffer.h"

using namespace llvm;

namespace ctrrun {

static Error malformed(StringRef Path, const Twine &Why) {
  return fail(ExitStatus::BadStorage, Path + ": malformed storage file: " + Why);
}

// Odd lengths are rejected: tryGetFromHex would quietly pad them.
static bool decodeHex(StringRef Hex, std::string &Bytes) {
  return Hex.size() % 2 == 0 && tryGetFromHex(Hex, Bytes);
}

Expected<Storage> loadStorage(StringRef Path) {
  if (!sys::fs::exists(Path))
    return Storage();
  ErrorOr<std::unique_ptr<MemoryBuffer>> Buffer =
      MemoryBuffer::getFile(Path, /*IsText=*/false, /*RequiresNullTerminator=*/false);
  if (!Buffer)
    return fail(ExitStatus::File, Path + ": " + Buffer.getError().message());

  Expected<json::Value> Parsed = json::parse((*Buffer)->getBuffer());
  if (!Parsed)
    return malformed(Path, toString(Parsed.takeError()));
  const json::Object *Entries = Parsed->getAsObject();
  if (!Entries)
    return malformed(Path, "expected a JSON object");

  Storage Store;
  for (const auto &Entry : *Entries) {
    StringRef KeyHex = Entry.first;
    std::string Key, Value;
    if (!decodeHex(KeyHex, Key))
      return malformed(Path, "key \"" + KeyHex + "\" is not hex-encoded bytes");
    Optional<StringRef> ValueHex = Entry.second.getAsString();
    if (!ValueHex || !decodeHex(*ValueHex, Value))
      return malformed(Path, "the value of key \"" + KeyHex +
                                 "\" is not a string of hex-encoded bytes");
    // "ab" and "AB" name the same key.
    if (!Store.emplace(std::move(Key), std::move(Value)).second)
      return malformed(Path, "key \"" + KeyHex + "\" appears twice");
  }
  return std::move(Store);
}

static void writeJson(raw_ostream &OS, const Storage &Store) {
  json::OStream J(OS, 2);
  J.object([&] {
    for (const auto &Entry : Store)
      J.attribute(toHex(Entry.first, /*LowerCase=*/true),
                  toHex(Entry.second, /*LowerCase=*/true));
  });
  OS << '\n';
}

Error saveStorage(StringRef Path, const Storage &Store) {
  auto CannotSave = [&](std::error_code EC) {
    return fail(ExitStatus::File, Path + ": cannot save storage: " + EC.message());
  };
  int FD;
  SmallString<128> TempPath;
  if (std::error_code EC = sys::fs::createUniqueFile(Path + ".tmp-%%%%%%", FD, TempPath))
    return CannotSave(EC);
  raw_fd_ostream OS(FD, /*shouldClose=*/true);
  writeJson(OS, Store);
  OS.close();
  std::error_code EC = OS.error();
  OS.clear_error();
  if (!EC)
    EC = sys::fs::rename(TempPath, Path);
  if (EC) {
    sys::fs::remove(TempPath);
    return CannotSave(EC);
  }
  return Error::success();
}

} // namespace ctrrun
