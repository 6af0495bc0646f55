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

// A module whose one function, of type () -> (), is exported as `apply`.
inline std::string applyModule() {
  using namespace wasm;
  return Header + section(1, std::string("\x01\x60\x00\x00", 4)) +
         section(3, std::string("\x01\x00", 2)) +
         section(7, leb(1) + str("apply") + '\0' + leb(0)) +
         section(10, std::string("\x01\x02\x00\x0b", 4));
}

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
