//===- ExportTrace.h - What a module's exports do, in wabt's interpreter --===//
//
// The binpolish campaign runs a module before and after polishing and
// compares what the two did: every exported function called in export
// order in one instance, each call's results or trap, the calls it made to
// its imports, and at the end the exported memories and globals.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_TESTS_BINPOLISH_EXPORTTRACE_H
#define ZO_TESTS_BINPOLISH_EXPORTTRACE_H

#include "wabt/feature.h"

#include <cstdint>
#include <string>
#include <vector>

namespace binpolishtest {

struct ExportCall {
  enum Outcome {
    Returned,
    Trapped,
    // Ran out of instructions or call stack: how far a call gets before
    // that depends on how the code is written, so polishing may change it.
    Exhausted,
  };
  std::string name;
  std::string args;
  std::vector<std::string> importCalls; // "module.name(i32:1, f64:0x...)"
  Outcome outcome = Returned;
  std::string detail; // the results, or why the call stopped
};

struct ExportTrace {
  std::string loadError; // why the interpreter refused the module, if it did
  bool instantiated = false;
  std::vector<ExportCall> calls;
  std::string finalState; // exported memories and globals, once every call ended
};

struct TraceOptions {
  wabt::Features features;
  uint64_t argumentSeed = 0;          // arguments are drawn from it, the same for every module
  uint64_t maxInstructions = 1000000; // per call
  // Called before every export when the module exports it, as binaryen's
  // generated modules expect: it resets their loop and recursion budget.
  std::string resetExport = "hangLimitInitializer";
};

/// Instantiates \p module with an import for every function it imports
/// (recording each call and returning zeros), calls its exported functions
/// in export order with arguments drawn from the seed, and records it all.
/// Stops after the first call that runs out of instructions or call stack.
ExportTrace traceExports(const std::string &module, const TraceOptions &options);

} // namespace binpolishtest

#endif
