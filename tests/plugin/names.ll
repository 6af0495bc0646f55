; Only a function whose IR name is exactly "apply" is the entry. A module
; without one comes out of the pass exactly as it went in, with no
; declaration added, and the pass reports no change for any function.

; RUN: %opt -S %s -o %t.ref
; RUN: %opt -entryhooks -S %s -o %t.out
; RUN: diff %t.ref %t.out
; RUN: %opt -entryhooks -debug-pass=Executions -disable-output %s 2>&1 \
; RUN:   | FileCheck %s --implicit-check-not="Made Modification 'Instrument"
; CHECK: Executing Pass 'Instrument the apply function' on Function 'Apply'
; CHECK: Executing Pass 'Instrument the apply function' on Function 'apply_'
; CHECK: Executing Pass 'Instrument the apply function' on Function '_apply'
; CHECK: Executing Pass 'Instrument the apply function' on Function '_Z5applyv'
; CHECK: Executing Pass 'Instrument the apply function' on Function 'appl'

define void @Apply() {
  ret void
}

define i32 @apply_(i32 %x) {
  ret i32 %x
}

define internal void @_apply() {
  ret void
}

; C++ `void apply()` without extern "C".
define void @_Z5applyv() {
  ret void
}

define void @appl() {
  ret void
}
