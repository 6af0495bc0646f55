//===- Backtrace.cpp - Where in the contract a call stopped ----------------===//

#include "Backtrace.h"
#include "Escape.h"

#include "llvm/DebugInfo/DWARF/DWARFContext.h"
#include "llvm/Demangle/Demangle.h"
#include "llvm/Object/Wasm.h"
#include "llvm/Support/Format.h"
#include "llvm/Support/MemoryBuffer.h"

#include "wabt/binary-reader-nop.h"
#include "wabt/binary-reader.h"

#include <map>

using namespace llvm;

namespace zo::engine {

namespace {
// Reads what the interpreter does not keep: the binary offset of each
// instruction the frames ran, the code section's start, and the names.
class ModuleReader : public wabt::BinaryReaderNop {
public:
  explicit ModuleReader(ArrayRef<RawFrame> Frames) : Frames(Frames), Offsets(Frames.size()) {}

  wabt::Result BeginSection(wabt::Index, wabt::BinarySection Type, wabt::Offset) override {
    if (Type == wabt::BinarySection::Code)
      CodeStart = state->offset;
    return wabt::Result::Ok;
  }
  wabt::Result BeginCustomSection(wabt::Index, wabt::Offset, std::string_view Name) override {
    HasLines |= Name == ".debug_line";
    return wabt::Result::Ok;
  }
  wabt::Result BeginFunctionBody(wabt::Index Index, wabt::Offset) override {
    Function = Index;
    Seen.clear();
    return wabt::Result::Ok;
  }
  wabt::Result OnOpcode(wabt::Opcode Op) override {
    uint32_t Code = uint32_t(wabt::Opcode::Enum(Op));
    uint32_t Nth = Seen[Code]++;
    for (size_t I = 0; I < Frames.size(); ++I)
      if (Frames[I].FunctionIndex == Function && Frames[I].NthOpcode &&
          *Frames[I].NthOpcode == std::make_pair(Nth, Code))
        Offsets[I] = state->offset - Op.GetLength();
    return wabt::Result::Ok;
  }
  wabt::Result OnExport(wabt::Index, wabt::ExternalKind Kind, wabt::Index Item,
                        std::string_view Name) override {
    if (Kind == wabt::ExternalKind::Func)
      ExportNames.emplace(Item, std::string(Name));
    return wabt::Result::Ok;
  }
  wabt::Result OnFunctionName(wabt::Index Index, std::string_view Name) override {
    Names[Index] = std::string(Name);
    return wabt::Result::Ok;
  }

  ArrayRef<RawFrame> Frames;
  std::vector<Optional<uint64_t>> Offsets;
  std::map<uint32_t, std::string> Names, ExportNames;
  uint64_t CodeStart = 0;
  bool HasLines = false;

private:
  uint32_t Function = 0;
  std::map<uint32_t, uint32_t> Seen;
};

// The module's DWARF, read once for all the frames.
class LineTable {
public:
  explicit LineTable(ArrayRef<uint8_t> Module) {
    MemoryBufferRef Buffer(toStringRef(Module), "module");
    Expected<std::unique_ptr<object::WasmObjectFile>> Read =
        object::ObjectFile::createWasmObjectFile(Buffer);
    if (!Read) {
      consumeError(Read.takeError());
      return;
    }
    Object = std::move(*Read);
    Context = DWARFContext::create(
        *Object, DWARFContext::ProcessDebugRelocations::Ignore, nullptr, "",
        [](Error E) { consumeError(std::move(E)); }, [](Error E) { consumeError(std::move(E)); });
  }

  Optional<std::pair<std::string, uint32_t>> find(uint64_t CodeAddress) const {
    if (!Context)
      return None;
    DILineInfo Info = Context->getLineInfoForAddress(
        {CodeAddress, object::SectionedAddress::UndefSection},
        DILineInfoSpecifier(DILineInfoSpecifier::FileLineInfoKind::RelativeFilePath,
                            DINameKind::None));
    if (Info.Line == 0 || Info.FileName == DILineInfo::BadString)
      return None;
    return std::make_pair(Info.FileName, Info.Line);
  }

private:
  std::unique_ptr<object::WasmObjectFile> Object;
  std::unique_ptr<DWARFContext> Context;
};

bool readModule(ArrayRef<uint8_t> Module, ModuleReader &Reader) {
  wabt::Features Features;
  Features.EnableAll();
  wabt::ReadBinaryOptions Options(Features, /*log_stream=*/nullptr, /*read_debug_names=*/true,
                                  /*stop_on_first_error=*/true,
                                  /*fail_on_custom_section_error=*/false);
  return wabt::Succeeded(wabt::ReadBinary(Module.data(), Module.size(), &Reader, Options));
}
} // namespace

std::vector<StackFrame> symbolize(ArrayRef<uint8_t> Module, ArrayRef<RawFrame> Frames) {
  ModuleReader Reader(Frames);
  // The interpreter ran this module: it reads again.  Should it not, the
  // frames keep what they have.
  (void)readModule(Module, Reader);
  Optional<LineTable> Lines;
  if (Reader.HasLines)
    Lines.emplace(Module);

  std::vector<StackFrame> Result;
  for (size_t I = 0; I < Frames.size(); ++I) {
    StackFrame F;
    F.FunctionIndex = Frames[I].FunctionIndex;
    auto Named = Reader.Names.find(F.FunctionIndex);
    if (Named != Reader.Names.end())
      F.Function = demangle(Named->second);
    else if ((Named = Reader.ExportNames.find(F.FunctionIndex)) != Reader.ExportNames.end())
      F.Function = Named->second;
    F.ModuleOffset = Reader.Offsets[I];
    if (Lines && F.ModuleOffset && *F.ModuleOffset >= Reader.CodeStart)
      if (auto Line = Lines->find(*F.ModuleOffset - Reader.CodeStart)) {
        F.File = Line->first;
        F.Line = Line->second;
      }
    Result.push_back(std::move(F));
  }
  return Result;
}

Optional<std::pair<std::string, uint32_t>> sourceLine(ArrayRef<uint8_t> Module,
                                                      uint64_t CodeAddress) {
  return LineTable(Module).find(CodeAddress);
}

void printBacktrace(raw_ostream &OS, const Backtrace &Trace) {
  for (size_t N = 0; N < Trace.Frames.size(); ++N) {
    const StackFrame &F = Trace.Frames[N];
    OS << "  at #" << N << ' ';
    if (F.Function.empty())
      OS << "function[" << F.FunctionIndex << ']';
    else
      OS << escaped(F.Function);
    OS << " (";
    if (F.Line)
      OS << escaped(F.File) << ':' << F.Line << ", ";
    if (F.ModuleOffset)
      OS << "module offset " << format_hex(*F.ModuleOffset, 0);
    else
      OS << "module offset unknown";
    OS << ")\n";
  }
  if (Trace.Omitted)
    OS << "  ... " << Trace.Omitted << " more frames\n";
}

} // namespace zo::engine
