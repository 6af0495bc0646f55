//===- Files.cpp - Reading the tools' input files -------------------------===//

#include "Files.h"

#include "llvm/ADT/ScopeExit.h"
#include "llvm/ADT/Twine.h"
#include "llvm/Support/Errc.h"
#include "llvm/Support/FileSystem.h"

using namespace llvm;

namespace zo {

Expected<std::unique_ptr<MemoryBuffer>> readRegularFile(StringRef Path) {
  sys::fs::file_status Status;
  if (std::error_code EC = sys::fs::status(Path, Status))
    return errorCodeToError(EC);
  if (sys::fs::is_directory(Status))
    return errorCodeToError(make_error_code(errc::is_a_directory));
  if (!sys::fs::is_regular_file(Status))
    return createStringError(errc::invalid_argument, "not a regular file");
  ErrorOr<std::unique_ptr<MemoryBuffer>> Buffer =
      MemoryBuffer::getFile(Path, /*IsText=*/false, /*RequiresNullTerminator=*/false);
  if (!Buffer)
    return errorCodeToError(Buffer.getError());
  return std::move(*Buffer);
}

Expected<std::string> readBoundedFile(StringRef Path, size_t MaxBytes) {
  Expected<sys::fs::file_t> File = sys::fs::openNativeFileForRead(Path);
  if (!File)
    return File.takeError();
  auto Close = make_scope_exit([&] { sys::fs::closeFile(*File); });
  std::string Contents;
  char Chunk[65536];
  while (true) {
    Expected<size_t> Read = sys::fs::readNativeFile(*File, Chunk);
    if (!Read)
      return Read.takeError();
    if (*Read == 0)
      return Contents;
    if (Contents.size() + *Read > MaxBytes)
      return createStringError(errc::file_too_large,
                               "the input exceeds the limit of " + Twine(MaxBytes) + " bytes");
    Contents.append(Chunk, *Read);
  }
}

} // namespace zo
