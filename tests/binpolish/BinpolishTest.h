//===- BinpolishTest.h - Running binpolish and judging its output ---------===//

#ifndef ZO_TESTS_BINPOLISH_BINPOLISHTEST_H
#define ZO_TESTS_BINPOLISH_BINPOLISHTEST_H

#include "Process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace binpolishtest {

namespace fs = std::filesystem;

inline fs::path fixture(const std::string &name) { return fs::path(BINPOLISH_FIXTURES) / name; }

inline zotest::RunResult polish(const fs::path &module) {
  return zotest::runProcess(BINPOLISH_PATH, {module.string()}, module.parent_path());
}

/// What binpolish says first about a module it does not polish.
inline std::string messagePrefix(const fs::path &module) {
  return "binpolish: " + module.string() + ": ";
}

/// Runs one of wabt's tools, which must succeed, and returns its output.
inline std::string wabtTool(const char *tool, const zotest::Args &args) {
  zotest::RunResult r = zotest::runProcess(tool, args, fs::temp_directory_path());
  EXPECT_EQ(r.status, 0) << tool << ": " << r.err;
  return r.out;
}

inline std::string sectionHeaders(const fs::path &module) {
  return wabtTool(BINPOLISH_WASM_OBJDUMP, {"-h", module.string()});
}

inline std::set<std::string> entries(const fs::path &dir) {
  std::set<std::string> names;
  for (const fs::directory_entry &e : fs::directory_iterator(dir))
    names.insert(e.path().filename().string());
  return names;
}

} // namespace binpolishtest

#endif
