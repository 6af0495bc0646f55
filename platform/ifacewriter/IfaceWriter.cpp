//===- IfaceWriter.cpp - The ifacewriter compiler plug-in ------------------===//
//
// zo++ loads this plug-in into clang-8 with
//
//   -fplugin=ifacewriter.so -Xclang -plugin-arg-ifacewriter -Xclang FILE
//   [-Xclang -plugin-arg-ifacewriter -Xclang MESSAGE]
//
// and the plug-in writes the contract's interface description to FILE.  It
// checks each declaration as it is parsed and writes at the end of the
// translation unit, before code generation, so an action with an
// unsupported type fails the compile without a module or description.
//
// zo++ compiles all of a contract's sources in one clang run with the same
// FILE, and only one of them holds CORVANE_ACTIONS.  So a translation unit
// with the action list always writes FILE, and any other writes it only
// when there is no FILE yet.
//
// Each unit's interface is also recorded in the object compiled from it, in
// the custom section "corvane.interface" (see Units.h): a pass of this
// plug-in, run in the legacy pipeline that clang-8 uses, hands it to the
// WebAssembly back end, which emits the named metadata
// wasm.custom_sections as custom sections.  The clang-8 launcher describes
// the whole contract from the records of the objects it links.
//
//===----------------------------------------------------------------------===//

#include "AtomicFile.h"
#include "Collector.h"
#include "Escape.h"
#include "Interface.h"
#include "Units.h"

#include "clang/AST/ASTConsumer.h"
#include "clang/AST/ASTContext.h"
#include "clang/Frontend/CompilerInstance.h"
#include "clang/Frontend/FrontendPluginRegistry.h"
#include "clang/Sema/Sema.h"
#include "clang/Sema/SemaConsumer.h"
#include "llvm/IR/LegacyPassManager.h"
#include "llvm/IR/Metadata.h"
#include "llvm/IR/Module.h"
#include "llvm/Pass.h"
#include "llvm/Support/Error.h"
#include "llvm/Support/FileSystem.h"
#include "llvm/Support/raw_ostream.h"
#include "llvm/Transforms/IPO/PassManagerBuilder.h"

using namespace clang;
using namespace llvm;

namespace ifacewriter {
namespace {

/// The record of the unit being compiled, from the end of its parse to its
/// code generation.  The compiler runs its units one after another, also
/// when one process compiles several.
struct PendingRecord {
  bool Set = false;
  std::string Bytes;
};

PendingRecord &pendingRecord() {
  static PendingRecord Pending;
  return Pending;
}

/// Puts the pending record into the module as the custom section that
/// holds it.
class RecordInterfacePass : public ModulePass {
public:
  static char ID;
  RecordInterfacePass() : ModulePass(ID) {}

  bool runOnModule(llvm::Module &M) override {
    PendingRecord &Pending = pendingRecord();
    if (!Pending.Set)
      return false;
    Pending.Set = false;
    LLVMContext &Ctx = M.getContext();
    Metadata *Section[] = {MDString::get(Ctx, zo::abi::InterfaceSectionName),
                           MDString::get(Ctx, Pending.Bytes)};
    M.getOrInsertNamedMetadata("wasm.custom_sections")->addOperand(MDTuple::get(Ctx, Section));
    return true;
  }
};

char RecordInterfacePass::ID = 0;

void addRecordInterfacePass(const PassManagerBuilder &, legacy::PassManagerBase &PM) {
  PM.add(new RecordInterfacePass());
}

/// Whether D is declared somewhere inside the SDK's namespace corvane.
bool isWithinSDK(const Decl *D) {
  for (const DeclContext *DC = D->getDeclContext(); DC; DC = DC->getParent()) {
    const auto *NS = dyn_cast<NamespaceDecl>(DC);
    if (NS && NS->getName() == "corvane" &&
        NS->getParent()->getRedeclContext()->isTranslationUnit())
      return true;
  }
  return false;
}

/// Once the interface has an error, the SDK's templates fail as well when
/// they are instantiated for the unsupported types at the end of the
/// translation unit, with long traces that only repeat it.  From then on
/// this consumer drops what is reported from inside an instantiation of the
/// SDK, with its notes, and passes everything else on unchanged.
class QuietSDK : public DiagnosticConsumer {
public:
  QuietSDK(DiagnosticConsumer &Inner, std::unique_ptr<DiagnosticConsumer> Owned)
      : Inner(Inner), Owned(std::move(Owned)) {}

  void BeginSourceFile(const LangOptions &LangOpts, const Preprocessor *PP) override {
    Inner.BeginSourceFile(LangOpts, PP);
  }
  void EndSourceFile() override {
    Inner.EndSourceFile();
    syncCounts();
  }
  void finish() override {
    Inner.finish();
    syncCounts();
  }
  void clear() override {
    Inner.clear();
    syncCounts();
  }
  bool IncludeInDiagnosticCounts() const override { return Inner.IncludeInDiagnosticCounts(); }

  void HandleDiagnostic(DiagnosticsEngine::Level Level, const Diagnostic &Info) override {
    // A note belongs to the diagnostic before it.
    if (Level != DiagnosticsEngine::Note)
      Dropping = Active && S && insideSDK();
    if (Dropping)
      return;
    Inner.HandleDiagnostic(Level, Info);
    syncCounts();
  }

  bool Active = false;
  Sema *S = nullptr;

private:
  bool insideSDK() const {
    for (const Sema::CodeSynthesisContext &Context : S->CodeSynthesisContexts)
      if (Context.Entity && isWithinSDK(Context.Entity))
        return true;
    return false;
  }

  // The compiler reads the counts of the installed consumer; they are the
  // inner consumer's, which -verify adjusts when it checks.
  void syncCounts() {
    NumErrors = Inner.getNumErrors();
    NumWarnings = Inner.getNumWarnings();
  }

  DiagnosticConsumer &Inner;
  std::unique_ptr<DiagnosticConsumer> Owned;
  bool Dropping = false;
};

class InterfaceConsumer : public SemaConsumer {
public:
  InterfaceConsumer(std::string Source, std::string Path, std::string Message, QuietSDK &Quiet)
      : Source(std::move(Source)), Path(std::move(Path)), Message(std::move(Message)),
        Quiet(Quiet) {}

  void Initialize(ASTContext &Ctx) override { C = std::make_unique<Collector>(Ctx); }
  void InitializeSema(Sema &S) override { Quiet.S = &S; }
  void ForgetSema() override { Quiet.S = nullptr; }

  bool HandleTopLevelDecl(DeclGroupRef Group) override {
    for (Decl *D : Group)
      C->check(D);
    if (C->failed())
      Quiet.Active = true;
    return true;
  }

  void HandleTranslationUnit(ASTContext &Ctx) override {
    DiagnosticsEngine &Diags = Ctx.getDiagnostics();
    // A unit that does not compile has no interface worth writing.
    if (Diags.hasErrorOccurred())
      return;
    Description D = C->finish("");
    if (Diags.hasErrorOccurred())
      return;
    pendingRecord() = {true, zo::abi::encodeUnitRecord(Source, D.Iface)};
    D.Iface.Message = Message;
    if (!D.HasActions && sys::fs::exists(Path))
      return;

    std::string Text;
    raw_string_ostream OS(Text);
    zo::abi::writeInterface(OS, D.Iface);
    OS.flush();
    if (Error E = zo::writeFileAtomically(Path, Text)) {
      unsigned ID =
          Diags.getCustomDiagID(DiagnosticsEngine::Error, "ifacewriter: cannot write the interface "
                                                          "description '%0': %1");
      Diags.Report(ID) << zo::escaped(Path) << toString(std::move(E));
    }
  }

private:
  std::string Source;
  std::string Path;
  std::string Message;
  QuietSDK &Quiet;
  std::unique_ptr<Collector> C;
};

class WriteInterfaceAction : public PluginASTAction {
protected:
  std::unique_ptr<ASTConsumer> CreateASTConsumer(CompilerInstance &CI, StringRef InFile) override {
    // A unit that stops before its code is generated leaves no record for
    // the next one.
    pendingRecord() = PendingRecord();
    DiagnosticsEngine &Diags = CI.getDiagnostics();
    DiagnosticConsumer &Inner = *Diags.getClient();
    std::unique_ptr<DiagnosticConsumer> Owned = Diags.takeClient();
    auto *Quiet = new QuietSDK(Inner, std::move(Owned));
    Diags.setClient(Quiet, /*ShouldOwnClient=*/true);
    return std::make_unique<InterfaceConsumer>(InFile.str(), Path, Message, *Quiet);
  }

  bool ParseArgs(const CompilerInstance &CI, const std::vector<std::string> &Args) override {
    DiagnosticsEngine &Diags = CI.getDiagnostics();
    if (Args.empty() || Args[0].empty()) {
      Diags.Report(Diags.getCustomDiagID(DiagnosticsEngine::Error,
                                         "ifacewriter: no output file; pass it with -Xclang "
                                         "-plugin-arg-ifacewriter -Xclang FILE"));
      return false;
    }
    if (Args.size() > 2) {
      Diags.Report(Diags.getCustomDiagID(DiagnosticsEngine::Error,
                                         "ifacewriter: %0 arguments; expected the output file "
                                         "and an optional message"))
          << static_cast<unsigned>(Args.size());
      return false;
    }
    Path = Args[0];
    Message = Args.size() == 2 ? Args[1] : std::string();
    return true;
  }

  ActionType getActionType() override { return AddBeforeMainAction; }

private:
  std::string Path;
  std::string Message;
};

} // namespace
} // namespace ifacewriter

static FrontendPluginRegistry::Add<ifacewriter::WriteInterfaceAction>
    X("ifacewriter", "write the contract's interface description (.abi)");

// The record goes in last at every optimisation level: -O0 runs the
// extensions of EP_EnabledOnOptLevel0 only, the others those of
// EP_OptimizerLast.  Like the action above, the extensions stay registered
// until the process ends.
static const PassManagerBuilder::GlobalExtensionID RecordWhenOptimizing =
    PassManagerBuilder::addGlobalExtension(PassManagerBuilder::EP_OptimizerLast,
                                           ifacewriter::addRecordInterfacePass);
static const PassManagerBuilder::GlobalExtensionID RecordAtO0 =
    PassManagerBuilder::addGlobalExtension(PassManagerBuilder::EP_EnabledOnOptLevel0,
                                           ifacewriter::addRecordInterfacePass);
