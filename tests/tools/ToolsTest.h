//===- ToolsTest.h - Running the staged tools on small files --------------===//

#ifndef ZO_TESTS_TOOLS_TOOLSTEST_H
#define ZO_TESTS_TOOLS_TOOLSTEST_H

#include "Process.h"
#include "WasmBytes.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace zotest {

namespace fs = std::filesystem;
using wasm::applyModule;

inline const char EmptyInterface[] =
    R"({"version": 1, "message": "", "actions": [], "structs": [], "tables": []})";

// One run of a staged tool in a fresh directory that holds `files`.
struct ToolRun {
  std::string tool;
  Args args;
  std::map<std::string, std::string> files;
  Args env;
};

inline RunResult runIn(const fs::path &dir, const ToolRun &run) {
  for (const auto &[name, bytes] : run.files)
    writeFile(dir / name, bytes);
  return runProcess(std::string(ZO_STAGE_BIN) + "/" + run.tool, run.args, dir, run.env);
}

} // namespace zotest

#endif
