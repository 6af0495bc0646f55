//===- Installation.cpp - A temporary zo++ installation for tests ---------===//

#include "Installation.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zotest {

const char *const InstalledTools[6] = {"clang-8", "binpolish", "symlister",
                                       "wamrc",   "ctrpack",   "vetter"};

Installation::Installation(const std::string &installDir) : tmp("zo-driver"), root(tmp.path()) {
  prefix = root / installDir;
  bin = prefix / "bin";
  rec = prefix / "rec";
  work = root / "work";
  for (const fs::path &p : {bin, rec / "calls", prefix / "etc", prefix / "wasm-sysroot", work})
    fs::create_directories(p);

  fs::copy_file(ZO_DRIVER_PATH, bin / "zo++");
  for (const char *tool : InstalledTools)
    fs::copy_file(ZO_RECORDER_PATH, bin / tool);
  for (const fs::path &exe : fs::directory_iterator(bin))
    fs::permissions(exe, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
  // A complete installation has the interface-description plug-in.
  addPlugin("ifacewriter");
}

void Installation::touch(const fs::path &path) const { writeFile(path, ""); }

void Installation::addPlugin(const std::string &name) { touch(bin / (name + ".so")); }

void Installation::removePlugin(const std::string &name) { fs::remove(bin / (name + ".so")); }

void Installation::removeTool(const std::string &tool) { fs::remove(bin / tool); }

void Installation::setStatus(const std::string &tool, int status) {
  writeFile(rec / (tool + ".status"), std::to_string(status));
}

void Installation::createsNoFiles(const std::string &tool) { touch(rec / (tool + ".nofiles")); }

void Installation::removesInput(const std::string &tool) { touch(rec / (tool + ".remove-input")); }

RunResult Installation::zo(const Args &args, const Args &extraEnv) const {
  return run(bin / "zo++", args, extraEnv);
}

RunResult Installation::zoOn(Args options) const {
  options.push_back("a.cpp");
  return zo(options);
}

RunResult Installation::run(const fs::path &exe, const Args &args, const Args &extraEnv) const {
  return runProcess(exe, args, work, extraEnv);
}

std::vector<ToolCall> Installation::calls() const {
  std::vector<fs::path> files;
  for (const fs::path &f : fs::directory_iterator(rec / "calls"))
    files.push_back(f);
  std::sort(files.begin(), files.end());

  std::vector<ToolCall> result;
  for (const fs::path &f : files) {
    ToolCall call;
    std::string name = f.filename().string();
    call.tool = name.substr(name.find('-') + 1);
    std::string text = readFile(f);
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find('\0', start);
      call.args.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    result.push_back(call);
  }
  return result;
}

int Installation::runsOf(const std::string &tool) const {
  int n = 0;
  for (const ToolCall &call : calls())
    n += call.tool == tool;
  return n;
}

Args Installation::argsOf(const std::string &tool) const {
  Args found;
  int n = 0;
  for (const ToolCall &call : calls())
    if (call.tool == tool && n++ == 0)
      found = call.args;
  EXPECT_EQ(n, 1) << tool << " ran " << n << " times";
  return n == 1 ? found : Args();
}

} // namespace zotest
