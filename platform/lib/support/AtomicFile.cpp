//===- AtomicFile.cpp - Replace a file without ever exposing half of it ---===//

#include "AtomicFile.h"

#include "llvm/ADT/SmallString.h"
#include "llvm/Support/FileSystem.h"
#include "llvm/Support/Format.h"
#include "llvm/Support/Path.h"
#include "llvm/Support/Process.h"
#include "llvm/Support/raw_ostream.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

using namespace llvm;

namespace {

std::error_code lastError() { return std::error_code(errno, std::generic_category()); }

std::error_code syncFile(int FD) {
  while (::fsync(FD) != 0)
    if (errno != EINTR)
      return lastError();
  return std::error_code();
}

} // namespace

std::error_code zo::syncDirectory(StringRef Dir) {
  SmallString<256> Name(Dir);
  int FD = ::open(Name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (FD < 0)
    return errno == EACCES ? std::error_code() : lastError();
  std::error_code EC = syncFile(FD);
  ::close(FD);
  if (EC == std::errc::invalid_argument || EC == std::errc::not_supported)
    return std::error_code();
  return EC;
}

namespace {

/// A fresh temporary name in \p Dir: as short as the name of any file, so
/// that it fits wherever the target's own name does, however long that is.
SmallString<256> temporaryName(StringRef Dir) {
  SmallString<256> Name(Dir);
  raw_svector_ostream OS(Name);
  OS << "/" << zo::TemporaryPrefix << format_hex_no_prefix(sys::Process::GetRandomNumber(), 8)
     << format_hex_no_prefix(sys::Process::GetRandomNumber(), 8) << zo::TemporarySuffix;
  return Name;
}

} // namespace

std::error_code zo::createTemporaryFile(StringRef Dir, int &FD, SmallVectorImpl<char> &Path) {
  // The name is made here rather than from a createUniqueFile model, which
  // would turn every '%' of the directory's path into a random character.
  std::error_code EC;
  for (int Attempt = 0; Attempt < 128; ++Attempt) {
    SmallString<256> Name = temporaryName(Dir);
    EC = sys::fs::openFileForWrite(Name, FD, sys::fs::CD_CreateNew);
    if (EC != std::errc::file_exists) {
      Path.assign(Name.begin(), Name.end());
      break;
    }
  }
  return EC;
}

Error zo::writeFileAtomically(StringRef Path, StringRef Bytes) {
  SmallString<256> Target(Path);
  std::optional<sys::fs::file_status> Original;
  sys::fs::file_status Status;
  if (!sys::fs::status(Path, Status) && sys::fs::exists(Status)) {
    if (std::error_code EC = sys::fs::real_path(Path, Target))
      return errorCodeToError(EC);
    if (sys::fs::is_regular_file(Status))
      Original = Status;
  }
  StringRef Dir = sys::path::parent_path(Target);
  if (Dir.empty())
    Dir = ".";

  // The working directory stays as it is, which a compiler plug-in must
  // not change.
  SmallString<256> Temp;
  int FD = -1;
  std::error_code EC = createTemporaryFile(Dir, FD, Temp);
  if (EC)
    return createStringError(EC, "cannot create a temporary file beside it: " + EC.message());

  if (Original) {
    EC = sys::fs::setPermissions(FD, Original->permissions());
    // Only root may give a file away; anyone else keeps their own anyway.
    if (!EC && ::geteuid() == 0)
      EC = sys::fs::changeFileOwnership(FD, Original->getUser(), Original->getGroup());
  }
  if (!EC) {
    raw_fd_ostream OS(FD, /*shouldClose=*/false);
    OS << Bytes;
    OS.flush();
    EC = OS.error();
    OS.clear_error();
  }
  // The contents reach the disk before the name does: after a crash the
  // target is the old file or the whole new one.
  if (!EC)
    EC = syncFile(FD);
  if (::close(FD) != 0 && !EC)
    EC = lastError();
  if (!EC)
    EC = sys::fs::rename(Temp, Target);
  if (EC) {
    sys::fs::remove(Temp);
    return createStringError(EC, EC.message());
  }
  if ((EC = syncDirectory(Dir)))
    return createStringError(EC, "written, but its directory could not be synced: " + EC.message());
  return Error::success();
}
