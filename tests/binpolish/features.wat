;; A module that uses sign extension, a saturating conversion and an
;; exported mutable global: polishing must keep accepting what the module
;; already uses, and no more.
(module
  (memory (export "memory") 1)
  (data (i32.const 16) "\f0\ff\ff\7f\00\00\80\4f\85\00\00\00\00\00\00\00")
  (global $calls (export "calls") (mut i32) (i32.const 0))
  (func $count
    (global.set $calls (i32.add (global.get $calls) (i32.const 1))))
  (func (export "byte") (result i32)
    (call $count)
    (i32.extend8_s (i32.load (i32.const 16))))
  (func (export "half") (result i64)
    (call $count)
    (i64.extend16_s (i64.load (i32.const 16))))
  (func (export "word") (result i64)
    (call $count)
    (i64.extend32_s (i64.load (i32.const 20))))
  (func (export "saturate") (result i32)
    (call $count)
    (i32.trunc_sat_f32_s (f32.load (i32.const 20))))
  (func (export "total") (result i32)
    (global.get $calls)))
