//===- Backtrace.h - Where in the contract a call stopped ------------------===//
//
// A trap or an abort carries the wasm call stack at the moment it happened,
// innermost frame first, as data: ctrrun prints it, and the test library can
// show it in its own terms.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_ENGINE_BACKTRACE_H
#define ZO_ENGINE_BACKTRACE_H

#include "llvm/ADT/ArrayRef.h"
#include "llvm/ADT/Optional.h"
#include "llvm/Support/raw_ostream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zo::engine {

struct StackFrame {
  /// The function's index in the module's function index space.
  uint32_t FunctionIndex = 0;
  /// Its demangled name from the name section, or its export name; empty
  /// when the module names it nowhere.
  std::string Function;
  /// The offset in the module of the instruction the frame was running (the
  /// call, for every frame but the innermost); none when it cannot be
  /// placed, as when the function had not run an instruction yet.
  llvm::Optional<uint64_t> ModuleOffset;
  /// The source position, from the module's DWARF line table; empty, and
  /// 0, without one.
  std::string File;
  uint32_t Line = 0;
};

struct Backtrace {
  std::vector<StackFrame> Frames;
  /// Frames left out beyond the outermost of Frames, for a deep stack.
  uint64_t Omitted = 0;
};

/// A frame as the interpreter saw it: a function and the offset of one
/// instruction within its body, both in module terms.
struct RawFrame {
  uint32_t FunctionIndex = 0;
  /// The position of the frame's instruction among the function's
  /// instructions of the same kind (0 for the first), and that kind's
  /// opcode; none when the frame ran no instruction yet.
  llvm::Optional<std::pair<uint32_t, uint32_t>> NthOpcode;
};

/// Names and places RawFrames: function names from the module's name
/// section (or exports), instruction offsets from its code, files and lines
/// from its DWARF when it has some.
std::vector<StackFrame> symbolize(llvm::ArrayRef<uint8_t> Module, llvm::ArrayRef<RawFrame> Frames);

/// The file and line of a code address (an offset in the code section's
/// contents, as wasm DWARF counts them) in Module; none without DWARF or a
/// line for it.
llvm::Optional<std::pair<std::string, uint32_t>> sourceLine(llvm::ArrayRef<uint8_t> Module,
                                                            uint64_t CodeAddress);

/// Writes the frames as lines `  at #N FUNCTION (FILE:LINE, module offset
/// 0xHEX)`, innermost first.
void printBacktrace(llvm::raw_ostream &OS, const Backtrace &Trace);

} // namespace zo::engine

#endif
