//===- Collector.h - The contract interface of a translation unit ----------===//
//
// Finds the action list (the call of corvane::dispatch that
// CORVANE_ACTIONS makes) and the corvane::table variables of a translation
// unit, and describes their types.  A type that cannot cross the contract's
// boundary is a compile error at the declaration that uses it.
//
//===----------------------------------------------------------------------===//

#ifndef IFACEWRITER_COLLECTOR_H
#define IFACEWRITER_COLLECTOR_H

#include "Interface.h"

#include "llvm/ADT/StringRef.h"

#include <memory>

namespace clang {
class ASTContext;
class Decl;
} // namespace clang

namespace ifacewriter {

/// The interface that a translation unit declares.
struct Description {
  /// Whether the unit declares the action list; only such a unit replaces
  /// a description that another unit wrote.
  bool HasActions = false;
  zo::abi::Interface Iface;
};

/// Problems are reported as errors through the context's diagnostics.
class Collector {
public:
  explicit Collector(clang::ASTContext &Ctx);
  ~Collector();

  /// Checks the action list and the tables that a top-level declaration
  /// holds, as soon as it is parsed: before the templates of the SDK are
  /// instantiated for unsupported types and fail on their own.
  void check(clang::Decl *D);

  /// Whether check reported a problem.
  bool failed() const;

  /// The interface of the declarations checked, once the translation unit
  /// is complete; the result is meaningful only when no error was reported.
  Description finish(llvm::StringRef Message);

private:
  struct State;
  std::unique_ptr<State> S;
};

} // namespace ifacewriter

#endif
