//===- Storage.cpp - The contract's key-value store on disk ----------------===//

#include "Storage.h"
#include "AtomicFile.h"
#include "Escape.h"
#include "Failure.h"
#include "Files.h"
#include "JsonText.h"

#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/FileSystem.h"
#include "llvm/Support/JSON.h"
#include "llvm/Support/MemoryBuffer.h"

using namespace llvm;

namespace zo::engine {

static Error malformed(StringRef Path, const Twine &Why) {
  return fail(ExitStatus::BadStorage, escaped(Path) + ": malformed storage file: " + Why);
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
    return fail(ExitStatus::File, escaped(Path) + ": " + toString(Buffer.takeError()));

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
      return malformed(Path, "key \"" + escaped(KeyHex) + "\" is not hex-encoded bytes");
    Optional<StringRef> ValueHex = Entry.second.getAsString();
    if (!ValueHex || !decodeHex(*ValueHex, Value))
      return malformed(Path, "the value of key \"" + escaped(KeyHex) +
                                 "\" is not a string of hex-encoded bytes");
    // "ab" and "AB" name the same key.
    if (!Store.emplace(std::move(Key), std::move(Value)).second)
      return malformed(Path, "key \"" + escaped(KeyHex) + "\" appears twice");
  }
  return Store;
}

static void writeJson(raw_ostream &OS, const Storage &Store) {
  json::OStream J(OS, 2);
  J.object([&] {
    for (const auto &Entry : Store)
      J.attribute(toHex(Entry.first, /*LowerCase=*/true), toHex(Entry.second, /*LowerCase=*/true));
  });
  OS << '\n';
}

Error saveStorage(StringRef Path, const Storage &Store) {
  std::string Text;
  raw_string_ostream OS(Text);
  writeJson(OS, Store);
  OS.flush();
  if (Error E = zo::writeFileAtomically(Path, Text))
    return fail(ExitStatus::File,
                escaped(Path) + ": cannot save storage: " + toString(std::move(E)));
  return Error::success();
}

} // namespace zo::engine
