//===- Storage.h - The contract's key-value store on disk ------------------===//
//
// A contract's storage is an SQLite database holding one table of byte keys
// and values, ordered by key.  A run opens it for one transaction: reads go
// to the database as the contract makes them, changes collect in a write
// set, and the write set is committed only when every call succeeded.  The
// transaction holds the database's write lock from start to end, so runs
// on one store are serialised: each sees every change committed before it.
//
// A storage file in the older text format (a JSON object mapping hex keys
// to hex values) is imported on first use; the text is kept beside it.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_ENGINE_STORAGE_H
#define ZO_ENGINE_STORAGE_H

#include "llvm/ADT/FunctionExtras.h"
#include "llvm/ADT/Optional.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"
#include "llvm/Support/raw_ostream.h"

#include <map>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace zo::engine {

/// Changes to a store: a value to set, or none to erase the key.
using StorageChanges = std::map<std::string, llvm::Optional<std::string>, std::less<>>;

struct StorageOptions {
  /// How long to wait for another run's transaction on the same store.
  unsigned LockTimeoutMs = 10000;
};

/// Committed entries, as a transaction reads them.
class StorageSource {
public:
  virtual ~StorageSource();
  /// The value stored under Key, if any.
  virtual llvm::Expected<llvm::Optional<std::string>> get(llvm::StringRef Key) = 0;
};

/// A store held in memory, for hosts that keep state in process.
class MemoryStorage final : public StorageSource {
public:
  llvm::Expected<llvm::Optional<std::string>> get(llvm::StringRef Key) override;
  void commit(const StorageChanges &Changes);
  const std::map<std::string, std::string, std::less<>> &entries() const { return Entries; }

private:
  std::map<std::string, std::string, std::less<>> Entries;
};

/// One open transaction on a storage database.  Destroying it without a
/// commit rolls back: the store stays as it was.
class StorageFile final : public StorageSource {
public:
  /// Opens the store at Path, creating an empty one if there is none and
  /// importing a text-format file, and begins the transaction.
  static llvm::Expected<std::unique_ptr<StorageFile>> open(llvm::StringRef Path,
                                                           const StorageOptions &Options);
  ~StorageFile();

  llvm::Expected<llvm::Optional<std::string>> get(llvm::StringRef Key) override;

  /// Applies Changes and commits; durable once it returns.
  llvm::Error commit(const StorageChanges &Changes);

private:
  StorageFile(std::string Path, sqlite3 *Db) : Path(std::move(Path)), Db(Db) {}
  llvm::Error failure(llvm::StringRef Doing) const;

  std::string Path;
  sqlite3 *Db;
  sqlite3_stmt *Select = nullptr;
  unsigned Timeout = 0;
  /// A transaction is open, to be rolled back unless committed.
  bool Open = false;
};

/// What a transaction's calls see: the store, or an empty one, under the
/// changes they made so far.
class StorageView {
public:
  explicit StorageView(StorageSource *Source = nullptr) : Source(Source) {}

  llvm::Expected<llvm::Optional<std::string>> get(llvm::StringRef Key);
  void set(llvm::StringRef Key, llvm::StringRef Value);
  void erase(llvm::StringRef Key);

  const StorageChanges &changes() const { return Changes; }
  /// Keys and values held in changes(): what the write set costs the host.
  uint64_t changedBytes() const { return ChangedBytes; }

private:
  void record(llvm::StringRef Key, llvm::Optional<std::string> Value);

  StorageSource *Source;
  StorageChanges Changes;
  uint64_t ChangedBytes = 0;
};

/// Prints the store at Path, in either format, as the text format: a JSON
/// object of lower-case hex keys and values, in key order.  Reads one
/// state of the store and changes nothing.  On failure, OS may hold the
/// beginning of the text.
llvm::Error dumpStorage(llvm::StringRef Path, llvm::raw_ostream &OS);

} // namespace zo::engine

#endif
