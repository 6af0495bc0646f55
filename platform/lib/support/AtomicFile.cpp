//===- AtomicFile.cpp - Replace a file without ever exposing half of it ---===//

#include "AtomicFile.h"

#include "llvm/ADT/SmallString.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/FileSystem.h"
#include "llvm/Support/Process.h"
#include "llvm/Support/raw_ostream.h"

#include <optional>
#include <unistd.h>

using namespace llvm;

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

  // The temporary name is made here rather than from a createUniqueFile
  // model, which would turn every '%' of the user's path into a random
  // character; and the working directory stays as it is, which a compiler
  // plug-in must not change.
  SmallString<256> Temp;
  int FD = -1;
  std::error_code EC;
  for (int Attempt = 0; Attempt < 128; ++Attempt) {
    Temp = Target;
    Temp += ".tmp";
    Temp += utohexstr(sys::Process::GetRandomNumber());
    EC = sys::fs::openFileForWrite(Temp, FD, sys::fs::CD_CreateNew);
    if (EC != std::errc::file_exists)
      break;
  }
  if (EC)
    return createStringError(EC, "cannot create a temporary file beside it: " + EC.message());

  if (Original) {
    EC = sys::fs::setPermissions(FD, Original->permissions());
    // Only root may give a file away; anyone else keeps their own anyway.
    if (!EC && ::geteuid() == 0)
      EC = sys::fs::changeFileOwnership(FD, Original->getUser(), Original->getGroup());
  }
  raw_fd_ostream OS(FD, /*shouldClose=*/true);
  if (!EC) {
    OS << Bytes;
    OS.close();
    EC = OS.error();
  }
  OS.clear_error();
  if (!EC)
    EC = sys::fs::rename(Temp, Target);
  if (EC) {
    sys::fs::remove(Temp);
    return createStringError(EC, EC.message());
  }
  return Error::success();
}
