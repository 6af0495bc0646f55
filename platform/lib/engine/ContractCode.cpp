//===- ContractCode.cpp - Reading a contract's code ------------------------===//

#include "ContractCode.h"
#include "Escape.h"
#include "Failure.h"
#include "Files.h"

#include "Container.h"

using namespace llvm;

namespace zo::engine {

static const StringRef WasmMagic("\0asm", 4);

static Error readContainerCode(ContractCode &Code) {
  Expected<zo::Container> C = zo::readContainer(Code.Buffer->getBuffer());
  if (!C)
    return fail(ExitStatus::BadContainer,
                Code.Name + ": not a valid container: " + toString(C.takeError()));
  if (C->isNativeImage())
    return fail(ExitStatus::BadContainer,
                Code.Name + " holds a native image (-aot); ctrrun runs WebAssembly modules");

  // The reader guarantees both sections.
  const zo::Section *Description = C->find(zo::SectionKind::Interface);
  Expected<abi::Interface> Iface = abi::readInterface(Description->Content);
  if (!Iface)
    return fail(ExitStatus::BadContainer,
                Code.Name + ": interface description: " + toString(Iface.takeError()));
  Code.Iface = std::move(*Iface);
  Code.Buffer = MemoryBuffer::getMemBufferCopy(C->find(zo::SectionKind::Code)->Content, Code.Name);
  return Error::success();
}

Expected<ContractCode> readContractCode(StringRef Path, CodeExpected Wanted) {
  Expected<std::unique_ptr<MemoryBuffer>> Buffer = readRegularFile(Path);
  if (!Buffer)
    return fail(ExitStatus::File, escaped(Path) + ": " + toString(Buffer.takeError()));
  ContractCode Code;
  Code.Name = escaped(Path);
  Code.Buffer = std::move(*Buffer);
  // Anything else is taken for a module, unless only a container will do,
  // and the interpreter says why it is not one.
  StringRef Bytes = Code.Buffer->getBuffer();
  bool IsContainer = Bytes.startswith(StringRef(zo::ctrx::Magic, 4)) ||
                     (Wanted == CodeExpected::Container && !Bytes.startswith(WasmMagic));
  if (IsContainer)
    if (Error E = readContainerCode(Code))
      return E;
  Code.Module = arrayRefFromStringRef(Code.Buffer->getBuffer());
  return Code;
}

} // namespace zo::engine
