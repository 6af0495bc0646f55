//===- entryhooks.cpp - Run constructors and destructors from apply -------===//
//
// A contract is entered only through `apply`, so nothing else runs the
// module's global constructors or the destructors registered while it runs.
// This pass makes apply call __wasm_call_ctors when it is entered and
// __cxa_finalize(0) before each of its returns.
//
// The library links no LLVM library: loading it into the compiler binds its
// LLVM symbols to the host, and its static initialisation registers the pass
// and puts it at the start of the host's per-function pipeline.
//
//===----------------------------------------------------------------------===//

#include "llvm/IR/Constants.h"
#include "llvm/IR/DerivedTypes.h"
#include "llvm/IR/Function.h"
#include "llvm/IR/Instructions.h"
#include "llvm/IR/LegacyPassManager.h"
#include "llvm/IR/Module.h"
#include "llvm/Pass.h"
#include "llvm/Transforms/IPO/PassManagerBuilder.h"

using namespace llvm;

namespace {

class EntryhooksPass : public FunctionPass {
public:
  static char ID;

  EntryhooksPass() : FunctionPass(ID) {}

  bool runOnFunction(Function &F) override;
};

} // end anonymous namespace

char EntryhooksPass::ID = 0;

/// Inserts a call to \p Callee directly before \p Before, with the debug
/// location of \p Before, or none when it has none.
static void insertCallBefore(FunctionCallee Callee, ArrayRef<Value *> Args, Instruction &Before) {
  CallInst *Call = CallInst::Create(Callee, Args, "", &Before);
  Call->setDebugLoc(Before.getDebugLoc());
  // A callee that the module declares under another type comes as a cast of
  // it; the call must still use the convention of the function behind it.
  if (auto *Fn = dyn_cast<Function>(Callee.getCallee()->stripPointerCasts()))
    Call->setCallingConv(Fn->getCallingConv());
}

bool EntryhooksPass::runOnFunction(Function &F) {
  // The pass sees every function the compiler emits. StringRef compares the
  // lengths before the bytes, so all but a few cost one integer comparison.
  if (F.getName() != "apply")
    return false;

  LLVMContext &Ctx = F.getContext();
  Type *VoidTy = Type::getVoidTy(Ctx);
  Type *Int32Ty = Type::getInt32Ty(Ctx);
  Module &M = *F.getParent();

  // Both callees are declared even when apply never returns. An existing
  // global of either name but of another type, such as a runtime's
  // __cxa_finalize(i8*), comes back as a cast to the type asked for here;
  // calling through it keeps the IR valid, and on wasm32 a pointer argument is
  // an i32 anyway.
  FunctionCallee Ctors =
      M.getOrInsertFunction("__wasm_call_ctors", FunctionType::get(VoidTy, false));
  FunctionCallee Finalize =
      M.getOrInsertFunction("__cxa_finalize", FunctionType::get(VoidTy, {Int32Ty}, false));

  // The very first instruction, whatever it is (allocas and debug intrinsics
  // are not skipped), so the constructors run before anything of apply's own.
  insertCallBefore(Ctors, None, F.getEntryBlock().front());

  // A null handle runs every destructor registered so far. Blocks that end in
  // anything but a return (unreachable included) do not leave apply normally.
  Value *Zero = ConstantInt::get(Int32Ty, 0);
  for (BasicBlock &BB : F)
    if (auto *Ret = dyn_cast<ReturnInst>(BB.getTerminator()))
      insertCallBefore(Finalize, Zero, *Ret);
  return true;
}

static RegisterPass<EntryhooksPass> Registration("entryhooks", "Instrument the apply function",
                                                 /*CFGOnly=*/false,
                                                 /*is_analysis=*/false);

static void addEntryhooksPass(const PassManagerBuilder &, legacy::PassManagerBase &PM) {
  PM.add(new EntryhooksPass());
}

// The host builds its per-function pipeline with PassManagerBuilder at every
// optimisation level, -O0 included, and the passes of EP_EarlyAsPossible lead
// it: apply is instrumented as the front end emitted it, before inlining.
// The extension is never removed, so the library stays loaded until the
// process ends (it is linked with -z nodelete).
static const PassManagerBuilder::GlobalExtensionID Extension =
    PassManagerBuilder::addGlobalExtension(PassManagerBuilder::EP_EarlyAsPossible,
                                           addEntryhooksPass);
