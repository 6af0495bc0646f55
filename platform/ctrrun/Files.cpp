//===- Files.cpp - Reading ctrrun's input files ---------------------------===//

#include "Files.h"
#include "Failure.h"

#include "llvm/ADT/ScopeExit.h"
#include "llvm/Support/Errc.h"
#include "llvm/Support/FileSystem.h"

using namespace llvm;

namespace ctrrun {

static Error fileError(StringRef Path, std::error_code EC) {
  return fail(ExitStatus::File, Path + ": " + EC.message());
}

Expected<std::unique_ptr<MemoryBuffer>> readRegularFile(StringRef Path) {
  sys::fs::file_status Status;
  if (std::error_code EC = sys::fs::status(Path, Status))
    return fileError(Path, EC);
  if (sys::fs::is_directory(Status))
    return fileError(Path, make_error_code(errc::is_a_directory));
  if (!sys::fs::is_regular_file(Status))
    return fail(ExitStatus::File, Path + ": not a regular file");
  ErrorOr<std::unique_ptr<MemoryBuffer>> Buffer =
      MemoryBuffer::getFile(Path, /*IsText=*/false, /*RequiresNullTerminator=*/false);
  if (!Buffer)
    return fileError(Path, Buffer.getError());
  return std::move(*Buffer);
}

Expected<std::string> readInputFile(StringRef Path) {
  Expected<sys::fs::file_t> File = sys::fs::openNativeFileForRead(Path);
  if (!File)
    return fileError(Path, errorToErrorCode(File.takeError()));
  auto Close = make_scope_exit([&] { sys::fs::closeFile(*File); });
  std::string Input;
  char Chunk[65536];
  while (true) {
    Expected<size_t> Read = sys::fs::readNativeFile(*File, Chunk);
    if (!Read)
      return fileError(Path, errorToErrorCode(Read.takeError()));
    if (*Read == 0)
      return std::move(Input);
    if (Input.size() + *Read > MaxInputBytes)
      return fail(ExitStatus::File, Path + ": the input exceeds ctrrun's limit of " +
                                        Twine(MaxInputBytes) + " bytes");
    Input.append(Chunk, *Read);
  }
}

} // namespace ctrrun
