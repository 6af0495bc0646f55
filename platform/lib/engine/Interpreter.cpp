//===- Interpreter.cpp - A contract instantiated in wabt's interpreter -----===//

#include "Interpreter.h"
#include "Failure.h"

#include "llvm/ADT/STLExtras.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/MathExtras.h"
#include "llvm/Support/raw_ostream.h"

#include "wabt/binary-reader.h"
#include "wabt/interp/binary-reader-interp.h"

#include <map>

using namespace llvm;
using namespace wabt::interp;

namespace zo::engine {

namespace {
// wabt starts a call only through Func::Call, which runs it to its end with
// no bound.  To count and bound instructions, ctrrun pushes the first frame
// itself and steps the thread.  Both members are private; an explicit
// instantiation is the one place where C++ lets us name them.  Thread::Step
// would do for stepping, but it roots the function anew at every
// instruction, which doubles the cost of a run.
template <typename Tag, typename Tag::Member M> struct Access {
  friend typename Tag::Member member(Tag) { return M; }
};
struct PushCall {
  using Member = RunResult (Thread::*)(const DefinedFunc &, Trap::Ptr *);
  friend Member member(PushCall);
};
struct StepInternal {
  using Member = RunResult (Thread::*)(Trap::Ptr *);
  friend Member member(StepInternal);
};
// wabt reserves its value stack but lets it grow without bound.
struct ValueStack {
  using Member = std::vector<Value> Thread::*;
  friend Member member(ValueStack);
};
// The call stack, for a backtrace at a trap.
struct CallFrames {
  using Member = std::vector<Frame> Thread::*;
  friend Member member(CallFrames);
};
template struct Access<PushCall, &Thread::PushCall>;
template struct Access<CallFrames, &Thread::frames_>;
template struct Access<StepInternal, &Thread::StepInternal>;
template struct Access<ValueStack, &Thread::values_>;

// The instruction limit does not bound what a few instructions allocate:
// a call sets up every local of its callee at once, and memory.grow and
// table.grow take whole pages and tables.  These limits do.
constexpr uint64_t MaxLocals = 50000;
constexpr uint64_t MaxMemoryPages = 4096; // 256 MiB
constexpr uint64_t MaxTableSize = 1 << 20;
constexpr size_t MaxValueStack = 1 << 20; // 16 MiB
// A backtrace shows this many frames, innermost first.
constexpr size_t MaxBacktraceFrames = 64;

// The module opcode an interpreter instruction stands for, when it stands
// for the module's instructions of that opcode one for one.  Imports are
// called with an instruction of the interpreter's own; branches, returns
// and selects are rewritten, or added where the module has none.
Optional<uint32_t> moduleOpcode(wabt::Opcode Op) {
  using wabt::Opcode;
  switch (Opcode::Enum(Op)) {
  case Opcode::InterpCallImport:
    return uint32_t(Opcode::Call);
  case Opcode::InterpAlloca:
  case Opcode::InterpBrUnless:
  case Opcode::InterpDropKeep:
  case Opcode::InterpCatchDrop:
  case Opcode::InterpAdjustFrameForReturnCall:
  case Opcode::Br:
  case Opcode::BrIf:
  case Opcode::BrTable:
  case Opcode::Return:
  case Opcode::ReturnCall:
  case Opcode::ReturnCallIndirect:
  case Opcode::Select:
  case Opcode::SelectT:
    return None;
  default:
    return uint32_t(Opcode::Enum(Op));
  }
}
} // namespace

// wabt's RefPtr assignment leaves the old object's root in the store, so a
// reassigned pointer would keep its object alive for good: release first.
template <typename T> static void rebind(RefPtr<T> &Ptr, RefPtr<T> Target) {
  Ptr.reset();
  Ptr = std::move(Target);
}

static std::string typeList(const ValueTypes &Types) {
  std::string Text = "(";
  ListSeparator Sep(", ");
  for (wabt::Type T : Types)
    (Text += Sep) += GetName(T);
  return Text + ")";
}

static std::string typeString(const FuncType &Type) {
  return typeList(Type.params) + " -> " + typeList(Type.results);
}

static Error checkImports(const ContractCode &Code, const ModuleDesc &Desc) {
  for (const ImportDesc &Import : Desc.imports) {
    const ImportType &Type = Import.type;
    std::string Message = Code.Name + " imports " + escaped(Type.module) + "." +
                          escaped(Type.name) + ", which the host does not provide";
    const HostFunction *F = Host::find(Type.module, Type.name);
    if (!F || Type.type->kind != ExternKind::Func)
      return fail(ExitStatus::Unrunnable, Message);
    const auto &Wanted = *wabt::cast<FuncType>(Type.type.get());
    FuncType Offered = F->type();
    if (Wanted.params != Offered.params || Wanted.results != Offered.results)
      return fail(ExitStatus::Unrunnable, Message + " with type " + typeString(Wanted) +
                                              " (the host's has type " + typeString(Offered) + ")");
  }
  return Error::success();
}

// Rejects what the host will not allocate and caps memories and tables, so
// that growing past the host's limit fails in the contract's own terms.
static Error applyLimits(const ContractCode &Code, ModuleDesc &Desc) {
  for (size_t Idx = 0; Idx < Desc.funcs.size(); ++Idx) {
    uint64_t Locals = 0;
    for (const LocalDesc &L : Desc.funcs[Idx].locals)
      Locals += L.count;
    if (Locals > MaxLocals)
      return fail(ExitStatus::Unrunnable,
                  Code.Name + ": function " + Twine(Desc.imports.size() + Idx) + " has " +
                      Twine(Locals) + " locals; the host allows " + Twine(MaxLocals));
  }
  auto Cap = [&](wabt::Limits &L, uint64_t Max, const char *What, const char *Unit) -> Error {
    if (L.initial > Max)
      return fail(ExitStatus::Unrunnable, Code.Name + ": its " + What + " of " + Twine(L.initial) +
                                              " " + Unit + " exceeds the host's limit of " +
                                              Twine(Max));
    if (!L.has_max || L.max > Max) {
      L.max = Max;
      L.has_max = true;
    }
    return Error::success();
  };
  for (MemoryDesc &M : Desc.memories)
    if (Error E = Cap(M.type.limits, MaxMemoryPages, "memory", "pages"))
      return E;
  for (TableDesc &T : Desc.tables)
    if (Error E = Cap(T.type.limits, MaxTableSize, "table", "elements"))
      return E;
  return Error::success();
}

static const ExportDesc *findExport(const ModuleDesc &Desc, StringRef Name, ExternKind Kind) {
  for (const ExportDesc &Export : Desc.exports)
    if (Export.type.name == Name && Export.type.type->kind == Kind)
      return &Export;
  return nullptr;
}

static Error checkExports(const ContractCode &Code, const ModuleDesc &Desc) {
  const ExportDesc *Apply = findExport(Desc, "apply", ExternKind::Func);
  if (!Apply)
    return fail(ExitStatus::Unrunnable, Code.Name + " does not export a function `apply`");
  const auto &Type = *wabt::cast<FuncType>(Apply->type.type.get());
  if (!Type.params.empty() || !Type.results.empty())
    return fail(ExitStatus::Unrunnable, Code.Name + " exports `apply` with type " +
                                            typeString(Type) + "; the host calls it as () -> ()");

  bool UsesMemory = any_of(Desc.imports, [](const ImportDesc &Import) {
    return Host::find(Import.type.module, Import.type.name)->UsesMemory;
  });
  if (UsesMemory && !findExport(Desc, "memory", ExternKind::Memory))
    return fail(ExitStatus::Unrunnable,
                Code.Name + " imports host functions that take pointers but does not "
                            "export its memory as \"memory\"");
  return Error::success();
}

Expected<std::unique_ptr<Interpreter>> Interpreter::create(const ContractCode &Code, Host &H) {
  std::unique_ptr<Interpreter> I(new Interpreter(H));
  Store &S = I->S;

  wabt::Errors Errors;
  ModuleDesc Desc;
  wabt::ReadBinaryOptions Options(S.features(), /*log_stream=*/nullptr,
                                  /*read_debug_names=*/false,
                                  /*stop_on_first_error=*/true,
                                  /*fail_on_custom_section_error=*/false);
  if (wabt::Failed(ReadBinaryInterp(Code.Name, Code.Module.data(), Code.Module.size(), Options,
                                    &Errors, &Desc))) {
    std::string Why = Errors.empty() ? "unknown error" : Errors.front().message;
    return fail(ExitStatus::BadModule, Code.Name + ": not a valid WebAssembly module: " + Why);
  }
  if (Error E = checkImports(Code, Desc))
    return E;
  if (Error E = checkExports(Code, Desc))
    return E;
  if (Error E = applyLimits(Code, Desc))
    return E;

  // Instantiation would run the start function unbounded; run it ourselves.
  if (!Desc.starts.empty())
    I->StartIndex = Desc.starts.front().func_index;
  Desc.starts.clear();

  for (const ImportDesc &Import : Desc.imports) {
    I->Bound.push_back(H.bind(S, *Host::find(Import.type.module, Import.type.name)));
    I->Imports.push_back(I->Bound.back().ref());
  }
  I->Mod = Module::New(S, std::move(Desc));
  I->Name = Code.Name;
  I->Bytes.assign(Code.Module.begin(), Code.Module.end());
  if (Error E = I->instantiate())
    return E;
  return I;
}

// A module linked with its stack first has nothing below the stack; one
// linked with its data first has the stack right above its data.
static int64_t stackBottom(Memory *M, uint32_t Top) {
  if (!M)
    return 0;
  uint64_t End = std::min<uint64_t>(Top, M->ByteSize());
  const uint8_t *Data = M->UnsafeData();
  while (End > 0 && Data[End - 1] == 0)
    --End;
  return int64_t(alignTo(End, 16));
}

Error Interpreter::instantiate() {
  Trap::Ptr Trapped;
  rebind(Inst, Instance::Instantiate(S, Mod.ref(), Imports, &Trapped));
  if (!Inst)
    return fail(ExitStatus::Unrunnable, Name + " cannot be instantiated: " +
                                            (Trapped ? Trapped->message() : "unknown error"));

  Memory *Exported = nullptr;
  const ModuleDesc &Linked = Mod->desc();
  for (size_t Idx = 0; Idx < Linked.exports.size(); ++Idx) {
    const ExportType &Export = Linked.exports[Idx].type;
    Ref Target = Inst->exports()[Idx];
    if (Export.type->kind == ExternKind::Memory && Export.name == "memory") {
      Exported = S.UnsafeGet<Memory>(Target).get();
      H.setMemory(Exported);
    } else if (Export.type->kind == ExternKind::Func && Export.name == "apply") {
      // A () -> () function cannot be a host import: all of those take or
      // return something.
      if (!S.Is<DefinedFunc>(Target))
        return fail(ExitStatus::Unrunnable, Name + ": `apply` is not defined in the module");
      rebind(Apply, S.UnsafeGet<DefinedFunc>(Target));
    }
  }

  if (StartIndex) {
    Ref Target = Inst->funcs()[*StartIndex];
    // Validation gives it type () -> (), which no host function has.
    if (!S.Is<DefinedFunc>(Target))
      return fail(ExitStatus::Unrunnable,
                  Name + ": the start function is not defined in the module");
    rebind(Start, S.UnsafeGet<DefinedFunc>(Target));
  }

  // wasm-ld makes the stack pointer the first global and starts it at the
  // top of the stack.
  StackPointer.reset();
  if (!Inst->globals().empty()) {
    Global::Ptr G = S.UnsafeGet<Global>(Inst->globals().front());
    if (G->type().mut == Mutability::Var && G->type().type == wabt::Type::I32) {
      uint32_t Top = G->Get().Get<u32>();
      StackLow = stackBottom(Exported, Top);
      StackSize = uint32_t(Top - StackLow);
      rebind(StackPointer, std::move(G));
    }
  }
  // The instance a call replaces, and all it held, go.
  S.Collect();
  return Error::success();
}

Error Interpreter::start() { return Start ? run(*Start, "the start function") : Error::success(); }

Error Interpreter::callApply() {
  H.beginCall();
  if (Calls++ > 0) {
    if (Error E = instantiate())
      return E;
    if (Error E = start())
      return E;
  }
  return run(*Apply, "apply");
}

Error Interpreter::exhausted(StringRef What) const {
  return fail(ExitStatus::Exhausted,
              What + " exceeded the limit of " + Twine(H.maxInstructions()) + " instructions");
}

Error Interpreter::stackOverflow(Thread &T) {
  return failWithTrace(ExitStatus::Trap,
                       "stack overflow: the call needs more than " + Twine(StackSize) +
                           " bytes of stack; build with -stack-size=N",
                       T);
}

// The interpreter keeps no map from its own code back to the module's, but
// it translates a function instruction by instruction and keeps the opcodes
// of those that can trap or call: the frame's instruction is the Nth of its
// opcode in both, and symbolize finds it in the module.  (Past a branch,
// the frame points at the last instruction before it.)
Backtrace Interpreter::backtrace(Thread &T) {
  const std::vector<Frame> &Frames = T.*member(CallFrames());
  Backtrace Trace;
  std::vector<RawFrame> Raw;
  for (auto It = Frames.rbegin(); It != Frames.rend(); ++It) {
    if (!It->mod || !It->inst)
      continue; // a host function's frame
    if (Raw.size() == MaxBacktraceFrames) {
      ++Trace.Omitted;
      continue;
    }
    RawFrame F;
    const RefVec &Funcs = It->inst->funcs();
    F.FunctionIndex = uint32_t(find(Funcs, It->func) - Funcs.begin());
    const Istream &Code = It->mod->desc().istream;
    Istream::Offset At = S.UnsafeGet<DefinedFunc>(It->func)->desc().code_offset;
    std::map<uint32_t, uint32_t> Seen;
    while (At < It->offset && At < Code.end())
      if (Optional<uint32_t> Op = moduleOpcode(Code.Read(&At).op))
        F.NthOpcode = std::make_pair(Seen[*Op]++, *Op);
    Raw.push_back(F);
  }
  Trace.Frames = symbolize(Bytes, Raw);
  return Trace;
}

Error Interpreter::failWithTrace(ExitStatus Status, const Twine &Message, Thread &T) {
  return make_error<Failure>(Status, Message.str(), backtrace(T));
}

Error Interpreter::run(const DefinedFunc &F, StringRef What) {
  Thread T(S);
  Trap::Ptr Trapped;
  RunResult Result = (T.*member(PushCall()))(F, &Trapped);
  while (Result == RunResult::Ok) {
    if (!H.step())
      return exhausted(What);
    // F stays alive through Apply or the instance: no need to root it here.
    Result = (T.*member(StepInternal()))(&Trapped);
    // Below its bottom, the stack runs into data or wraps around to the top
    // of the address space, which is out of bounds.
    if (StackPointer && int32_t(StackPointer->Get().Get<u32>()) < StackLow)
      return stackOverflow(T);
    if (Result == RunResult::Ok && (T.*member(ValueStack())).size() > MaxValueStack)
      return failWithTrace(ExitStatus::Trap, "trap in " + What + ": value stack exhausted", T);
  }
  switch (Result) {
  case RunResult::Ok:
  case RunResult::Return:
    return Error::success();
  case RunResult::Trap:
    if (Optional<HostFault> Fault = H.takeFault()) {
      if (Fault->Status == ExitStatus::Exhausted)
        return exhausted(What);
      return failWithTrace(Fault->Status, Fault->Message, T);
    }
    return failWithTrace(ExitStatus::Trap,
                         "trap in " + What + ": " + (Trapped ? Trapped->message() : "unknown trap"),
                         T);
  case RunResult::Exception:
    return failWithTrace(ExitStatus::Trap, "trap in " + What + ": uncaught exception", T);
  }
  llvm_unreachable("unknown run result");
}

} // namespace zo::engine
