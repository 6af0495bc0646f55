//===- ExportTrace.cpp - What a module's exports do, in wabt's interpreter ===//

#include "ExportTrace.h"

#include "wabt/binary-reader.h"
#include "wabt/interp/binary-reader-interp.h"
#include "wabt/interp/interp.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>

using namespace wabt::interp;

namespace binpolishtest {

namespace {

// wabt calls a function only through Func::Call, which runs it to its end.
// To bound a call, the harness sets up the frame itself and runs the
// thread a slice at a time, as ctrrun's engine does; the members it needs
// are private, and an explicit instantiation is the one place where C++
// lets us name them.
template <typename Tag, typename Tag::Member M> struct Access {
  friend typename Tag::Member member(Tag) { return M; }
};
struct PushValues {
  using Member = void (Thread::*)(const ValueTypes &, const Values &);
  friend Member member(PushValues);
};
struct PushCall {
  using Member = RunResult (Thread::*)(const DefinedFunc &, Trap::Ptr *);
  friend Member member(PushCall);
};
struct PopValues {
  using Member = void (Thread::*)(const ValueTypes &, Values *);
  friend Member member(PopValues);
};
template struct Access<PushValues, &Thread::PushValues>;
template struct Access<PushCall, &Thread::PushCall>;
template struct Access<PopValues, &Thread::PopValues>;

constexpr int Slice = 10000;

std::string hex(uint64_t bits, int digits) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%0*llx", digits, (unsigned long long)bits);
  return text;
}

// Floats by their bits, but every NaN alike: which NaN an operation
// returns is left open by WebAssembly, and the optimizer may fold one.
std::string show(ValueType type, const Value &v) {
  if (type == ValueType::I32)
    return "i32:" + std::to_string(int32_t(v.Get<u32>()));
  if (type == ValueType::I64)
    return "i64:" + std::to_string(int64_t(v.Get<u64>()));
  if (type == ValueType::F32) {
    f32 f = v.Get<f32>();
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof(bits));
    return std::isnan(f) ? "f32:nan" : "f32:" + hex(bits, 8);
  }
  if (type == ValueType::F64) {
    f64 f = v.Get<f64>();
    uint64_t bits;
    std::memcpy(&bits, &f, sizeof(bits));
    return std::isnan(f) ? "f64:nan" : "f64:" + hex(bits, 16);
  }
  if (type == ValueType::V128) {
    ::v128 x = v.Get<::v128>();
    return "v128:" + hex(x.u64(1), 16) + hex(x.u64(0), 16).substr(2);
  }
  // Which function or object a reference names is the module's own
  // numbering, which polishing may change; only null is comparable.
  return GetName(type) + ":" + (v.Get<Ref>() == Ref::Null ? "null" : "ref");
}

std::string showAll(const ValueTypes &types, const Values &values) {
  std::string text;
  for (size_t i = 0; i < types.size(); ++i)
    text += (i ? ", " : "") + show(types[i], values[i]);
  return text;
}

// Ordinary values and the edges where integer and float operations behave
// differently; no NaN, whose bits nothing promises to keep.
Value argument(ValueType type, std::mt19937_64 &rng) {
  static const uint64_t Integers[] = {0,
                                      1,
                                      2,
                                      7,
                                      31,
                                      32,
                                      63,
                                      64,
                                      255,
                                      65535,
                                      0x7fffffff,
                                      0x80000000,
                                      0xffffffff,
                                      0x7fffffffffffffff,
                                      0x8000000000000000,
                                      0xffffffffffffffff};
  static const double Floats[] = {0.0,    -0.0,   1.0,      -1.5,     0.5,
                                  3e9,    -3e9,   1e-40,    65536.25, 2147483648.0,
                                  9.3e18, -1e300, INFINITY, -INFINITY};
  uint64_t pick = rng();
  uint64_t integer = pick % 2 ? Integers[pick / 2 % std::size(Integers)] : rng() % 1000;
  double floating = pick % 2 ? Floats[pick / 2 % std::size(Floats)] : double(rng() % 1000) / 8;
  if (type == ValueType::I32)
    return Value::Make(u32(integer));
  if (type == ValueType::I64)
    return Value::Make(u64(integer));
  if (type == ValueType::F32)
    return Value::Make(f32(floating));
  if (type == ValueType::F64)
    return Value::Make(f64(floating));
  if (type == ValueType::V128)
    return Value::Make(::v128(u32(integer), u32(rng() % 1000), u32(integer >> 32), 0));
  return Value::Make(Ref::Null);
}

uint64_t fnv1a(const uint8_t *data, uint64_t size) {
  uint64_t hash = 0xcbf29ce484222325;
  for (uint64_t i = 0; i < size; ++i)
    hash = (hash ^ data[i]) * 0x100000001b3;
  return hash;
}

class Tracer {
public:
  explicit Tracer(const TraceOptions &options)
      : options(options), store(options.features), rng(options.argumentSeed) {}

  ExportTrace run(const std::string &module);

private:
  HostFunc::Ptr importFunction(const ImportDesc &import);
  ExportCall call(const std::string &name, const DefinedFunc &func, Values args);
  std::string finalState(const ModuleDesc &desc, const Instance &instance);

  const TraceOptions &options;
  Store store;
  std::mt19937_64 rng;
  std::vector<std::string> *importCalls = nullptr; // of the call running
};

HostFunc::Ptr Tracer::importFunction(const ImportDesc &import) {
  const auto &type = *wabt::cast<FuncType>(import.type.type.get());
  std::string name = import.type.module + "." + import.type.name;
  return HostFunc::New(store, type,
                       [this, name, type](Thread &, const Values &params, Values &results,
                                          Trap::Ptr *) -> wabt::Result {
                         if (importCalls)
                           importCalls->push_back(name + "(" + showAll(type.params, params) + ")");
                         results.assign(type.results.size(), Value());
                         return wabt::Result::Ok;
                       });
}

ExportCall Tracer::call(const std::string &name, const DefinedFunc &func, Values args) {
  ExportCall record;
  record.name = name;
  const FuncType &type = func.type();
  record.args = showAll(type.params, args);
  importCalls = &record.importCalls;

  Thread thread(store);
  Trap::Ptr trap;
  (thread.*member(PushValues()))(type.params, args);
  RunResult result = (thread.*member(PushCall()))(func, &trap);
  for (uint64_t ran = 0; result == RunResult::Ok && ran < options.maxInstructions; ran += Slice)
    result = thread.Run(Slice, &trap);
  importCalls = nullptr;

  switch (result) {
  case RunResult::Ok:
    record.outcome = ExportCall::Exhausted;
    record.detail = "ran out of instructions";
    break;
  case RunResult::Return: {
    Values results;
    (thread.*member(PopValues()))(type.results, &results);
    record.detail = showAll(type.results, results);
    break;
  }
  case RunResult::Trap:
    record.detail = trap ? trap->message() : "trap";
    record.outcome =
        record.detail == "call stack exhausted" ? ExportCall::Exhausted : ExportCall::Trapped;
    break;
  case RunResult::Exception:
    record.outcome = ExportCall::Trapped;
    record.detail = "uncaught exception";
    break;
  }
  return record;
}

std::string Tracer::finalState(const ModuleDesc &desc, const Instance &instance) {
  std::string state;
  for (size_t i = 0; i < desc.exports.size(); ++i) {
    const ExportType &exported = desc.exports[i].type;
    Ref ref = instance.exports()[i];
    if (exported.type->kind == ExternKind::Memory) {
      Memory::Ptr memory = store.UnsafeGet<Memory>(ref);
      state += "memory " + exported.name + ": " + std::to_string(memory->ByteSize()) +
               " bytes, hash " + hex(fnv1a(memory->UnsafeData(), memory->ByteSize()), 16) + "\n";
    } else if (exported.type->kind == ExternKind::Global) {
      Global::Ptr global = store.UnsafeGet<Global>(ref);
      state += "global " + exported.name + ": " + show(global->type().type, global->Get()) + "\n";
    }
  }
  return state;
}

ExportTrace Tracer::run(const std::string &module) {
  ExportTrace trace;
  wabt::Errors errors;
  ModuleDesc desc;
  wabt::ReadBinaryOptions readOptions(options.features, /*log_stream=*/nullptr,
                                      /*read_debug_names=*/false, /*stop_on_first_error=*/true,
                                      /*fail_on_custom_section_error=*/false);
  if (wabt::Failed(
          ReadBinaryInterp("module", module.data(), module.size(), readOptions, &errors, &desc))) {
    trace.loadError = errors.empty() ? "unknown error" : errors.front().message;
    return trace;
  }

  RefVec imports;
  std::vector<HostFunc::Ptr> bound;
  for (const ImportDesc &import : desc.imports) {
    if (import.type.type->kind != ExternKind::Func) {
      trace.loadError =
          "imports " + import.type.module + "." + import.type.name + ", which is not a function";
      return trace;
    }
    bound.push_back(importFunction(import));
    imports.push_back(bound.back().ref());
  }
  // Instantiation would run the start function without a bound: it runs
  // as the first call instead.
  std::optional<Index> start;
  if (!desc.starts.empty())
    start = desc.starts.front().func_index;
  desc.starts.clear();

  Module::Ptr mod = Module::New(store, desc);
  Trap::Ptr trap;
  Instance::Ptr instance = Instance::Instantiate(store, mod.ref(), imports, &trap);
  if (!instance) {
    trace.loadError = "instantiation trapped: " + (trap ? trap->message() : std::string("?"));
    return trace;
  }
  trace.instantiated = true;

  // Calls the function \p ref names, unless it is an import exported
  // again; true when the call ran out of instructions or stack.
  auto exhausts = [&](const std::string &name, Ref ref) {
    if (!store.Is<DefinedFunc>(ref))
      return false;
    DefinedFunc::Ptr func = store.UnsafeGet<DefinedFunc>(ref);
    Values args;
    for (ValueType type : func->type().params)
      args.push_back(argument(type, rng));
    trace.calls.push_back(call(name, *func, std::move(args)));
    return trace.calls.back().outcome == ExportCall::Exhausted;
  };

  if (start && exhausts("(start)", instance->funcs()[*start]))
    return trace;
  Ref reset = Ref::Null;
  for (size_t i = 0; i < desc.exports.size(); ++i)
    if (desc.exports[i].type.name == options.resetExport &&
        desc.exports[i].type.type->kind == ExternKind::Func)
      reset = instance->exports()[i];
  for (size_t i = 0; i < desc.exports.size(); ++i) {
    if (desc.exports[i].type.type->kind != ExternKind::Func)
      continue;
    if (reset != Ref::Null && exhausts(options.resetExport, reset))
      return trace;
    if (exhausts(desc.exports[i].type.name, instance->exports()[i]))
      return trace;
  }
  trace.finalState = finalState(desc, *instance);
  return trace;
}

} // namespace

ExportTrace traceExports(const std::string &module, const TraceOptions &options) {
  return Tracer(options).run(module);
}

} // namespace binpolishtest
