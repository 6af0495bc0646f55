//===- ContractCode.cpp - Reading a contract's code ------------------------===//

#include "ContractCode.h"
#include "Failure.h"

using namespace llvm;

namespace ctrrun {

Expected<ContractCode> readContractCode(StringRef Path) {
  ErrorOr<std::unique_ptr<MemoryBuffer>> Buffer =
      MemoryBuffer::getFile(Path, /*IsText=*/false, /*RequiresNullTerminator=*/false);
  if (!Buffer)
    return fail(ExitStatus::File, Path + ": " + Buffer.getError().message());
  ContractCode Code;
  Code.Name = Path.str();
  Code.Buffer = std::move(*Buffer);
  Code.Module = arrayRefFromStringRef(Code.Buffer->getBuffer());
  return std::move(Code);
}

} // namespace ctrrun
