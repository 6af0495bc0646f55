//===- ContractTest.h - Build real contracts and run them -----------------===//
//
// The tests build contracts with the staged installation's zo++ (real
// clang-8, sysroot, plug-ins and tools) in a temporary directory and run
// them with its ctrrun.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_TESTS_E2E_CONTRACTTEST_H
#define ZO_TESTS_E2E_CONTRACTTEST_H

#include "Process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zotest {

namespace fs = std::filesystem;

class ContractTest : public ::testing::Test {
protected:
  static fs::path tool(const std::string &name) { return fs::path(ZO_STAGE_BIN) / name; }
  // A test contract by name, or any source by its absolute path.
  static fs::path contract(const fs::path &name) { return fs::path(ZO_E2E_CONTRACTS) / name; }

  RunResult zo(const Args &args) const { return runProcess(tool("zo++"), args, dir()); }
  RunResult ctrrun(const Args &args) const { return runProcess(tool("ctrrun"), args, dir()); }

  // The store `file` as ctrrun prints it, or "" when it cannot.
  std::string storage(const std::string &file) const {
    RunResult r = ctrrun({"--dump-storage=" + file});
    return r.status == 0 ? r.out : "";
  }

  // Builds `source` into `module` (a .wasm, which keeps the module) with
  // extra options; the build must succeed.
  fs::path build(const fs::path &source, const std::string &module, Args options = {}) {
    options.insert(options.end(), {"-o", module, contract(source).string()});
    RunResult r = zo(options);
    EXPECT_EQ(r.status, 0) << r.err;
    return dir() / module;
  }

  // The names of the module's imports, as "module.name".
  std::vector<std::string> importsOf(const fs::path &module) const {
    RunResult r = runProcess(ZO_WASM_OBJDUMP, {"-x", "-j", "Import", module.string()}, dir());
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> imports;
    size_t at = 0;
    while ((at = r.out.find("<- ", at)) != std::string::npos) {
      size_t end = r.out.find('\n', at);
      imports.push_back(r.out.substr(at + 3, end - at - 3));
      at = end;
    }
    return imports;
  }

  const fs::path &dir() const { return tmp.path(); }

private:
  TempDir tmp{"zo-e2e"};
};

} // namespace zotest

#endif
