//===- Storage.cpp - The contract's key-value store on disk ----------------===//

#include "Storage.h"
#include "AtomicFile.h"
#include "Escape.h"
#include "Failure.h"
#include "JsonText.h"

#include "llvm/ADT/ScopeExit.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/FileSystem.h"
#include "llvm/Support/JSON.h"
#include "llvm/Support/Path.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace llvm;

namespace zo::engine {

namespace {
/// Marks a database as a contract store ("ZoSt").
constexpr int ApplicationId = 0x5a6f5374;
constexpr int FormatVersion = 1;
const char SqliteHeader[] = "SQLite format 3"; // and its NUL: 16 bytes

const char Schema[] = "CREATE TABLE entries(key BLOB PRIMARY KEY NOT NULL, value BLOB NOT NULL) "
                      "WITHOUT ROWID;"
                      "PRAGMA application_id = 1517245300;"
                      "PRAGMA user_version = 1;";
static_assert(ApplicationId == 1517245300, "the schema's application_id");

using TextEntries = std::map<std::string, std::string>;

Error fileError(StringRef Path, const Twine &Why) {
  return fail(ExitStatus::File, escaped(Path) + ": " + Why);
}

Error malformed(StringRef Path, const Twine &Why) {
  return fail(ExitStatus::BadStorage, escaped(Path) + ": malformed storage file: " + Why);
}

Error errnoError(StringRef Path, const Twine &Doing) {
  return fileError(Path, Doing + ": " + std::strerror(errno));
}

// A store in the text format, or a database: an empty file is an empty
// database.
enum class FileKind { Missing, Database, Text };

Expected<FileKind> classifyOpen(int FD, StringRef Path) {
  char Header[sizeof(SqliteHeader)];
  ssize_t Read = ::pread(FD, Header, sizeof(Header), 0);
  if (Read < 0)
    return errnoError(Path, "cannot read the store");
  if (Read == 0 || StringRef(Header, Read) == StringRef(SqliteHeader, sizeof(SqliteHeader)))
    return FileKind::Database;
  return FileKind::Text;
}

Expected<FileKind> classify(StringRef Path) {
  struct stat St;
  if (::stat(Path.str().c_str(), &St) != 0) {
    if (errno == ENOENT)
      return FileKind::Missing;
    return errnoError(Path, "cannot open the store");
  }
  if (!S_ISREG(St.st_mode))
    return fileError(Path, "not a regular file");
  int FD = ::open(Path.str().c_str(), O_RDONLY | O_CLOEXEC);
  if (FD < 0)
    return errnoError(Path, "cannot open the store");
  Expected<FileKind> Kind = classifyOpen(FD, Path);
  ::close(FD);
  return Kind;
}

// Odd lengths are rejected: tryGetFromHex would quietly pad them.
bool decodeHex(StringRef Hex, std::string &Bytes) {
  return Hex.size() % 2 == 0 && tryGetFromHex(Hex, Bytes);
}

Expected<TextEntries> parseText(StringRef Path, StringRef Text) {
  if (jsonDepth(Text, MaxJsonDepth) > MaxJsonDepth)
    return malformed(Path, "it nests deeper than " + Twine(MaxJsonDepth) + " levels");
  Expected<json::Value> Parsed = json::parse(Text);
  if (!Parsed)
    return malformed(Path, toString(Parsed.takeError()));
  if (Error E = checkJsonText(Text, *Parsed))
    return malformed(Path, toString(std::move(E)));
  const json::Object *Object = Parsed->getAsObject();
  if (!Object)
    return malformed(Path, "expected a JSON object");

  TextEntries Entries;
  for (const auto &Entry : *Object) {
    StringRef KeyHex = Entry.first;
    std::string Key, Value;
    if (!decodeHex(KeyHex, Key))
      return malformed(Path, "key \"" + escaped(KeyHex) + "\" is not hex-encoded bytes");
    Optional<StringRef> ValueHex = Entry.second.getAsString();
    if (!ValueHex || !decodeHex(*ValueHex, Value))
      return malformed(Path, "the value of key \"" + escaped(KeyHex) +
                                 "\" is not a string of hex-encoded bytes");
    // "ab" and "AB" name the same key.
    if (!Entries.emplace(std::move(Key), std::move(Value)).second)
      return malformed(Path, "key \"" + escaped(KeyHex) + "\" appears twice");
  }
  return Entries;
}

Expected<std::string> readAll(int FD, StringRef Path) {
  std::string Text;
  char Buffer[1 << 16];
  for (;;) {
    ssize_t N = ::read(FD, Buffer, sizeof(Buffer));
    if (N < 0 && errno == EINTR)
      continue;
    if (N < 0)
      return errnoError(Path, "cannot read the store");
    if (N == 0)
      return Text;
    Text.append(Buffer, N);
  }
}

void writeText(json::OStream &J, StringRef Key, StringRef Value) {
  J.attribute(toHex(Key, /*LowerCase=*/true), toHex(Value, /*LowerCase=*/true));
}

/// A statement, finalized when it goes.
struct Statement {
  sqlite3_stmt *S = nullptr;
  ~Statement() { sqlite3_finalize(S); }
};

int bindBytes(sqlite3_stmt *S, int Index, StringRef Bytes) {
  // A null pointer would bind NULL rather than an empty value.
  return sqlite3_bind_blob64(S, Index, Bytes.empty() ? "" : Bytes.data(), Bytes.size(),
                             SQLITE_TRANSIENT);
}

StringRef columnBytes(sqlite3_stmt *S, int Column) {
  const void *Data = sqlite3_column_blob(S, Column);
  return StringRef(static_cast<const char *>(Data), Data ? sqlite3_column_bytes(S, Column) : 0);
}

// Opens an existing database; Db is set even on failure, for its message.
int openDatabase(StringRef Path, int Flags, unsigned LockTimeoutMs, sqlite3 *&Db) {
  int RC = sqlite3_open_v2(Path.str().c_str(), &Db, Flags, nullptr);
  if (RC == SQLITE_OK) {
    sqlite3_extended_result_codes(Db, 1);
    sqlite3_busy_timeout(Db, int(std::min<unsigned>(LockTimeoutMs, INT32_MAX)));
  }
  return RC;
}

Error databaseError(sqlite3 *Db, StringRef Path, const Twine &Doing, unsigned LockTimeoutMs) {
  int Code = Db ? sqlite3_errcode(Db) : SQLITE_NOMEM;
  std::string Message = Db ? sqlite3_errmsg(Db) : "out of memory";
  switch (Code) {
  case SQLITE_BUSY:
  case SQLITE_LOCKED:
    return fail(ExitStatus::Busy, escaped(Path) +
                                      ": the store is in use by another run; gave up "
                                      "after " +
                                      Twine(LockTimeoutMs) + " ms");
  case SQLITE_CORRUPT:
  case SQLITE_NOTADB:
    return malformed(Path, Message);
  default:
    return fileError(Path, "cannot " + Doing + ": " + Message);
  }
}

// The value of an integer pragma or query.
int queryInt(sqlite3 *Db, const char *Sql, int &Value) {
  Statement Q;
  int RC = sqlite3_prepare_v2(Db, Sql, -1, &Q.S, nullptr);
  if (RC != SQLITE_OK)
    return RC;
  RC = sqlite3_step(Q.S);
  if (RC != SQLITE_ROW)
    return RC == SQLITE_DONE ? SQLITE_ERROR : RC;
  Value = sqlite3_column_int(Q.S, 0);
  return SQLITE_OK;
}

/// Whether the database is a contract store (Ours), an empty database that
/// may become one (Empty), or something else.
enum class Layout { Ours, Empty, Foreign };

Expected<Layout> inspect(sqlite3 *Db, StringRef Path, unsigned LockTimeoutMs) {
  int Id = 0, Version = 0, Objects = 0;
  if (queryInt(Db, "PRAGMA application_id", Id) != SQLITE_OK ||
      queryInt(Db, "PRAGMA user_version", Version) != SQLITE_OK ||
      queryInt(Db, "SELECT count(*) FROM sqlite_schema", Objects) != SQLITE_OK)
    return databaseError(Db, Path, "read the store", LockTimeoutMs);
  if (Id == 0 && Version == 0 && Objects == 0)
    return Layout::Empty;
  if (Id != ApplicationId)
    return Layout::Foreign;
  if (Version != FormatVersion)
    return malformed(Path, "store format version " + Twine(Version) + " is not supported");
  return Layout::Ours;
}

void removeDatabaseFiles(StringRef Path) {
  for (const char *Suffix : {"", "-journal", "-wal", "-shm"})
    ::unlink((Path + Suffix).str().c_str());
}

// Replaces the text-format store at Path with a database of the same
// entries, keeping the text under Path.orig (or .orig.N).  Holding the
// text file's lock, it checks that Path still names the file it read, so
// that of two runs importing at once, the second finds the database.
Error importText(StringRef Path) {
  SmallString<256> Real;
  if (std::error_code EC = sys::fs::real_path(Path, Real))
    return fileError(Path, "cannot open the store: " + EC.message());
  int FD = ::open(Real.c_str(), O_RDONLY | O_CLOEXEC);
  if (FD < 0)
    return errnoError(Path, "cannot open the store");
  auto Close = make_scope_exit([&] { ::close(FD); });
  if (::flock(FD, LOCK_EX) != 0)
    return errnoError(Path, "cannot lock the store");
  struct stat Held, Named;
  if (::fstat(FD, &Held) != 0)
    return errnoError(Path, "cannot open the store");
  if (::stat(Real.c_str(), &Named) != 0 || Held.st_ino != Named.st_ino ||
      Held.st_dev != Named.st_dev)
    return Error::success(); // Imported by another run meanwhile.
  Expected<FileKind> Kind = classifyOpen(FD, Path);
  if (!Kind || *Kind != FileKind::Text)
    return Kind.takeError(); // The same.

  Expected<std::string> Text = readAll(FD, Path);
  if (!Text)
    return Text.takeError();
  Expected<TextEntries> Entries = parseText(Path, *Text);
  if (!Entries)
    return Entries.takeError();

  // The new store is made as any store is, then put in the text's place.
  StringRef Dir = sys::path::parent_path(Real);
  SmallString<256> Temp;
  int TempFD;
  if (std::error_code EC = zo::createTemporaryFile(Dir, TempFD, Temp))
    return fileError(Path, "cannot import the store: " + EC.message());
  ::fchmod(TempFD, Held.st_mode & 07777);
  ::close(TempFD);
  auto RemoveTemp = make_scope_exit([&] { removeDatabaseFiles(Temp); });
  StorageChanges Changes;
  for (auto &Entry : *Entries)
    Changes.emplace(Entry.first, std::move(Entry.second));
  Expected<std::unique_ptr<StorageFile>> Store = StorageFile::open(Temp, StorageOptions());
  if (!Store)
    return Store.takeError();
  if (Error E = (*Store)->commit(Changes))
    return E;
  Store->reset(); // Closing writes the log into the file and removes it.

  // The original stays under a name of its own.
  std::string Kept = (Real + ".orig").str();
  for (unsigned N = 1; ::link(Real.c_str(), Kept.c_str()) != 0; ++N) {
    if (errno != EEXIST || N > 100)
      return errnoError(Path, "cannot keep the original as " + escaped(Kept));
    Kept = (Real + ".orig." + Twine(N)).str();
  }
  if (::rename(Temp.c_str(), Real.c_str()) != 0)
    return errnoError(Path, "cannot import the store");
  RemoveTemp.release();
  if (std::error_code EC = zo::syncDirectory(Dir))
    return fileError(Path, "imported, but its directory could not be synced: " + EC.message());
  return Error::success();
}
} // namespace

StorageSource::~StorageSource() = default;

Expected<Optional<std::string>> MemoryStorage::get(StringRef Key) {
  auto It = Entries.find(Key);
  if (It == Entries.end())
    return None;
  return It->second;
}

void MemoryStorage::commit(const StorageChanges &Changes) {
  for (const auto &Change : Changes) {
    if (Change.second)
      Entries.insert_or_assign(Change.first, *Change.second);
    else if (auto It = Entries.find(Change.first); It != Entries.end())
      Entries.erase(It);
  }
}

//===----------------------------------------------------------------------===//
// StorageFile
//===----------------------------------------------------------------------===//

Expected<std::unique_ptr<StorageFile>> StorageFile::open(StringRef Path,
                                                         const StorageOptions &Options) {
  // Importing a text file turns it into a database; a second look finds it.
  for (int Attempt = 0;; ++Attempt) {
    Expected<FileKind> Kind = classify(Path);
    if (!Kind)
      return Kind.takeError();
    if (*Kind != FileKind::Text)
      break;
    if (Attempt == 3)
      return fileError(Path, "cannot import the store: it keeps changing");
    if (Error E = importText(Path))
      return E;
  }

  unsigned Timeout = Options.LockTimeoutMs;
  sqlite3 *Db = nullptr;
  int RC = openDatabase(Path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, Timeout, Db);
  std::unique_ptr<StorageFile> File(new StorageFile(Path.str(), Db));
  File->Timeout = Timeout;
  if (RC != SQLITE_OK)
    return File->failure("open the store");

  Expected<Layout> Found = inspect(Db, Path, Timeout);
  if (!Found)
    return Found.takeError();
  if (*Found == Layout::Foreign)
    return malformed(Path, "an SQLite database that is not a contract store");
  if (sqlite3_exec(Db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr) != SQLITE_OK ||
      (*Found == Layout::Empty &&
       sqlite3_exec(Db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr) != SQLITE_OK))
    return File->failure("open the store");

  // The write lock, taken now, keeps every other run out until this one
  // commits or rolls back.
  if (sqlite3_exec(Db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
    return File->failure("lock the store");
  File->Open = true;
  // Another run may have made the empty store one meanwhile.
  Found = inspect(Db, Path, Timeout);
  if (!Found)
    return Found.takeError();
  if (*Found == Layout::Empty && sqlite3_exec(Db, Schema, nullptr, nullptr, nullptr) != SQLITE_OK)
    return File->failure("create the store");
  if (sqlite3_prepare_v2(Db, "SELECT value FROM entries WHERE key = ?1", -1, &File->Select,
                         nullptr) != SQLITE_OK)
    return File->failure("read the store");
  return File;
}

StorageFile::~StorageFile() {
  sqlite3_finalize(Select);
  if (Open)
    sqlite3_exec(Db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(Db);
}

Error StorageFile::failure(StringRef Doing) const {
  return databaseError(Db, Path, Doing, Timeout);
}

Expected<Optional<std::string>> StorageFile::get(StringRef Key) {
  sqlite3_reset(Select);
  if (bindBytes(Select, 1, Key) != SQLITE_OK)
    return failure("read the store");
  int RC = sqlite3_step(Select);
  if (RC == SQLITE_DONE)
    return None;
  if (RC != SQLITE_ROW)
    return failure("read the store");
  return columnBytes(Select, 0).str();
}

Error StorageFile::commit(const StorageChanges &Changes) {
  Statement Upsert, Delete;
  if (sqlite3_prepare_v2(Db,
                         "INSERT INTO entries(key, value) VALUES (?1, ?2) "
                         "ON CONFLICT(key) DO UPDATE SET value = excluded.value",
                         -1, &Upsert.S, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(Db, "DELETE FROM entries WHERE key = ?1", -1, &Delete.S, nullptr) !=
          SQLITE_OK)
    return failure("save the store");
  for (const auto &Change : Changes) {
    sqlite3_stmt *S = Change.second ? Upsert.S : Delete.S;
    sqlite3_reset(S);
    if (bindBytes(S, 1, Change.first) != SQLITE_OK ||
        (Change.second && bindBytes(S, 2, *Change.second) != SQLITE_OK) ||
        sqlite3_step(S) != SQLITE_DONE)
      return failure("save the store");
  }
  if (sqlite3_exec(Db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
    return failure("save the store");
  Open = false;
  return Error::success();
}

//===----------------------------------------------------------------------===//
// StorageView
//===----------------------------------------------------------------------===//

Expected<Optional<std::string>> StorageView::get(StringRef Key) {
  auto It = Changes.find(Key);
  if (It != Changes.end())
    return It->second;
  if (!Source)
    return None;
  return Source->get(Key);
}

void StorageView::record(StringRef Key, Optional<std::string> Value) {
  auto It = Changes.find(Key);
  if (It == Changes.end()) {
    It = Changes.emplace(Key.str(), None).first;
    ChangedBytes += Key.size();
  }
  if (It->second)
    ChangedBytes -= It->second->size();
  if (Value)
    ChangedBytes += Value->size();
  It->second = std::move(Value);
}

void StorageView::set(StringRef Key, StringRef Value) { record(Key, Value.str()); }

void StorageView::erase(StringRef Key) { record(Key, None); }

//===----------------------------------------------------------------------===//
// Dumping
//===----------------------------------------------------------------------===//

Error dumpStorage(StringRef Path, raw_ostream &OS) {
  Expected<FileKind> Kind = classify(Path);
  if (!Kind)
    return Kind.takeError();
  if (*Kind == FileKind::Missing)
    return fileError(Path, "no such store");

  json::OStream J(OS, 2);
  if (*Kind == FileKind::Text) {
    int FD = ::open(Path.str().c_str(), O_RDONLY | O_CLOEXEC);
    if (FD < 0)
      return errnoError(Path, "cannot open the store");
    Expected<std::string> Text = readAll(FD, Path);
    ::close(FD);
    if (!Text)
      return Text.takeError();
    Expected<TextEntries> Entries = parseText(Path, *Text);
    if (!Entries)
      return Entries.takeError();
    J.object([&] {
      for (const auto &Entry : *Entries)
        writeText(J, Entry.first, Entry.second);
    });
    OS << '\n';
    return Error::success();
  }

  sqlite3 *Db = nullptr;
  // Read-write, though it writes nothing: as the last connection to close,
  // it removes the write-ahead log rather than leave it behind.
  unsigned Timeout = StorageOptions().LockTimeoutMs;
  int RC = openDatabase(Path, SQLITE_OPEN_READWRITE, Timeout, Db);
  auto Close = make_scope_exit([&] { sqlite3_close_v2(Db); });
  if (RC != SQLITE_OK)
    return databaseError(Db, Path, "open the store", Timeout);
  Expected<Layout> Found = inspect(Db, Path, Timeout);
  if (!Found)
    return Found.takeError();
  if (*Found == Layout::Foreign)
    return malformed(Path, "an SQLite database that is not a contract store");

  // One read transaction: the dump is one state of the store.
  if (sqlite3_exec(Db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
    return databaseError(Db, Path, "read the store", Timeout);
  Statement All;
  if (*Found == Layout::Ours &&
      sqlite3_prepare_v2(Db, "SELECT key, value FROM entries ORDER BY key", -1, &All.S, nullptr) !=
          SQLITE_OK)
    return databaseError(Db, Path, "read the store", Timeout);
  RC = SQLITE_DONE;
  J.objectBegin();
  while (All.S && (RC = sqlite3_step(All.S)) == SQLITE_ROW)
    writeText(J, columnBytes(All.S, 0), columnBytes(All.S, 1));
  J.objectEnd();
  OS << '\n';
  if (RC != SQLITE_DONE)
    return databaseError(Db, Path, "read the store", Timeout);
  return Error::success();
}

} // namespace zo::engine
