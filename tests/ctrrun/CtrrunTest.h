//===- CtrrunTest.h - Run modules written in the text format --------------===//
//
// Each test works in its own temporary directory: it writes contracts in the
// WebAssembly text format, turns them into modules with wat2wasm, packs
// some into containers with ctrpack and runs the real ctrrun on them there.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_TESTS_CTRRUN_CTRRUNTEST_H
#define ZO_TESTS_CTRRUN_CTRRUNTEST_H

#include "Process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

namespace zotest {

namespace fs = std::filesystem;

// The whole host interface, imported under short names.
inline const char HostImports[] = R"(
  (import "env" "corvane_input_size" (func $input_size (result i32)))
  (import "env" "corvane_input_read" (func $input_read (param i32 i32) (result i32)))
  (import "env" "corvane_output_write" (func $output_write (param i32 i32)))
  (import "env" "corvane_storage_get" (func $storage_get (param i32 i32 i32 i32) (result i32)))
  (import "env" "corvane_storage_set" (func $storage_set (param i32 i32 i32 i32)))
  (import "env" "corvane_storage_erase" (func $storage_erase (param i32 i32)))
  (import "env" "corvane_log" (func $log (param i32 i32)))
  (import "env" "corvane_emit_event" (func $emit_event (param i32 i32 i32 i32)))
  (import "env" "corvane_abort" (func $abort (param i32 i32)))
  (import "env" "corvane_caller" (func $caller (param i32 i32) (result i32)))
  (import "env" "corvane_has_auth" (func $has_auth (param i32 i32) (result i32)))
  (import "env" "corvane_self" (func $self (param i32 i32) (result i32)))
  (import "env" "corvane_block_height" (func $block_height (result i64)))
  (import "env" "corvane_block_time" (func $block_time (result i64)))
  (import "env" "corvane_sha256" (func $sha256 (param i32 i32 i32)))
  (import "env" "corvane_blake2b_256" (func $blake2b (param i32 i32 i32)))
  (import "env" "corvane_verify_ed25519" (func $verify_ed25519 (param i32 i32 i32 i32) (result i32)))
  (import "env" "memcpy" (func $memcpy (param i32 i32 i32) (result i32)))
  (import "env" "memmove" (func $memmove (param i32 i32 i32) (result i32)))
  (import "env" "memset" (func $memset (param i32 i32 i32) (result i32)))
  (import "env" "memcmp" (func $memcmp (param i32 i32 i32) (result i32)))
  (import "env" "strlen" (func $strlen (param i32) (result i32)))
  (import "env" "strcmp" (func $strcmp (param i32 i32) (result i32)))
  (import "env" "strncmp" (func $strncmp (param i32 i32 i32) (result i32)))
)";

// A contract with the host interface and one page of exported memory.
// $read_input copies the input to address 0 and returns its size.
inline std::string contract(const std::string &body) {
  return std::string("(module\n") + HostImports + R"(
  (memory (export "memory") 1)
  (func $read_input (result i32) (call $input_read (i32.const 0) (call $input_size)))
)" + body +
         ")\n";
}

// A body for contract(): the call's output is its input.
inline const char Echo[] = R"(
  (func (export "apply") (call $output_write (i32.const 0) (call $read_input)))
)";

class CtrrunTest : public ::testing::Test {
protected:
  // Writes `wat` to NAME.wat and assembles it into NAME.wasm; returns the
  // module's file name.
  std::string wasm(const std::string &name, const std::string &wat) const {
    writeFile(dir() / (name + ".wat"), wat);
    RunResult r = runProcess(CTRRUN_WAT2WASM, {name + ".wat", "-o", name + ".wasm"}, dir());
    EXPECT_EQ(r.status, 0) << r.err;
    return name + ".wasm";
  }

  // Assembles `wat` and packs it with the description `abi` into NAME.ctrx
  // with the staged ctrpack; returns the container's file name.
  std::string ctrx(const std::string &name, const std::string &wat, const std::string &abi,
                   const Args &flags = {}) const {
    std::string module = wasm(name, wat);
    writeFile(dir() / (name + ".abi"), abi);
    Args args = {"-o", name + ".ctrx", module, name + ".abi"};
    args.insert(args.end(), flags.begin(), flags.end());
    RunResult r = runProcess(CTRRUN_CTRPACK, args, dir());
    EXPECT_EQ(r.status, 0) << r.err;
    return name + ".ctrx";
  }

  RunResult ctrrun(const Args &args) const { return runProcess(CTRRUN_PATH, args, dir()); }

  // The store `file` as ctrrun prints it, or "" when it cannot.
  std::string storage(const std::string &file) const {
    RunResult r = ctrrun({"--dump-storage=" + file});
    return r.status == 0 ? r.out : "";
  }

  // The standard error of a successful run without the closing count.
  static std::string diagnostics(const RunResult &r) {
    EXPECT_EQ(r.status, 0) << r.err;
    std::smatch m;
    bool found = std::regex_search(r.err, m, CountLine);
    EXPECT_TRUE(found && m.suffix().length() == 0) << r.err;
    return found ? m.prefix().str() : r.err;
  }

  // The instruction count the run reported, or -1.
  static long long instructions(const RunResult &r) {
    std::smatch m;
    return std::regex_search(r.err, m, CountLine) ? std::stoll(m[1]) : -1;
  }

  const fs::path &dir() const { return tmp.path(); }

private:
  inline static const std::regex CountLine{"instructions: ([0-9]+)\n"};
  TempDir tmp{"ctrrun-test"};
};

} // namespace zotest

#endif
