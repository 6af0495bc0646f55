// The plug-in loaded into the compiler as the driver loads it. The legacy
// pass manager runs the pipeline extension at every optimisation level; apply
// is instrumented once, as the front end emitted it, and later optimisation
// keeps the calls around its body.

// RUN: %clang --target=wasm32 -flegacy-pass-manager -O0 -S -emit-llvm %s -o - | FileCheck %s
// RUN: %clang --target=wasm32 -flegacy-pass-manager -O2 -S -emit-llvm %s -o - | FileCheck %s

int counter;

// Mangled as _ZN6detail5applyEi, so not the entry.
namespace detail {
int apply(int x) { return x + 1; }
} // namespace detail

extern "C" int apply(int x) {
  counter = detail::apply(counter + x);
  if (counter > 100)
    return 0;
  return counter * 2;
}

// CHECK-LABEL: define {{.*}}i32 @_ZN6detail5applyEi(
// CHECK-NOT:     call
// CHECK:         ret i32
// CHECK-LABEL: define {{.*}}i32 @apply(
// CHECK-NEXT:    {{(tail )?}}call void @__wasm_call_ctors()
// CHECK-NOT:     @__wasm_call_ctors
// CHECK-NOT:     @__cxa_finalize
// CHECK:         store i32 {{.*}}@counter
// CHECK-NOT:     @__wasm_call_ctors
// CHECK-NOT:     @__cxa_finalize
// CHECK:         {{(tail )?}}call void @__cxa_finalize(i32 0)
// CHECK-NEXT:    ret i32
// CHECK-NOT:     @__cxa_finalize
// CHECK:       declare void @__wasm_call_ctors()
