//===- Storage.cpp - The contract's key-value store on disk ----------------===//

#include "Storage.h"
#include "Failure.h"
#include "Files.h"
#include "JsonText.h"

#include "llvm/ADT/SmallString.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/FileSystem.h"
#include "llvm/Support/JSON.h"
#include "llvm/Support/MemoryBuffer.h"
#include "llvm/Support/Path.h"

#include <algorithm>

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
  Expected<std::unique_ptr<MemoryBuffer>> Buffer = readRegularFile(Path);
  if (!Buffer)
    return Buffer.takeError();

  StringRef Text = (*Buffer)->getBuffer();
  if (jsonDepth(Text, MaxJsonDepth) > MaxJsonDepth)
    return malformed(Path, "it nests deeper than " + Twine(MaxJsonDepth) + " levels");
  Expected<json::Value> Parsed = json::parse(Text);
  if (!Parsed)
    return malformed(Path, toString(Parsed.takeError()));
  if (Error E = checkJsonText(Text, *Parsed))
    return malformed(Path, toString(std::move(E)));
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
  // Through a symbolic link to the file it names, whose mode is kept.
  SmallString<256> Target;
  if (sys::fs::real_path(Path, Target)) {
    Target = Path;
    if (std::error_code EC = sys::fs::make_absolute(Target))
      return CannotSave(EC);
  }
  sys::fs::file_status Status;
  bool Exists = !sys::fs::status(Target, Status);

  // Every '%' of the temporary file's model is random: from the file's own
  // directory, and with those of its name replaced, no user text is one.
  if (std::error_code EC = sys::fs::set_current_path(sys::path::parent_path(Target)))
    return CannotSave(EC);
  std::string Name = sys::path::filename(Target).str();
  std::string Model = Name;
  std::replace(Model.begin(), Model.end(), '%', '_');
  int FD;
  SmallString<128> TempPath;
  if (std::error_code EC = sys::fs::createUniqueFile(Model + ".tmp-%%%%%%", FD, TempPath))
    return CannotSave(EC);
  raw_fd_ostream OS(FD, /*shouldClose=*/true);
  std::error_code EC;
  if (Exists)
    EC = sys::fs::setPermissions(FD, Status.permissions());
  writeJson(OS, Store);
  OS.close();
  if (!EC)
    EC = OS.error();
  OS.clear_error();
  if (!EC)
    EC = sys::fs::rename(TempPath, Name);
  if (EC) {
    sys::fs::remove(TempPath);
    return CannotSave(EC);
  }
  return Error::success();
}

} // namespace ctrrun
