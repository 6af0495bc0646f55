//===- Installation.h - A temporary zo++ installation for tests -----------===//
//
// Each test gets its own installation tree: bin/ holds a copy of the real
// zo++ and, under the installed tools' names, a recording stand-in that logs
// its arguments, creates the files the driver expects and exits with the
// status the test chooses.  The driver runs in work/, beside bin/.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_TESTS_DRIVER_INSTALLATION_H
#define ZO_TESTS_DRIVER_INSTALLATION_H

#include "Process.h"

#include <filesystem>
#include <string>
#include <vector>

namespace zotest {

namespace fs = std::filesystem;

struct ToolCall {
  std::string tool;
  Args args;
};

class Installation {
public:
  // `installDir` names the directory that holds bin/, etc/ and wasm-sysroot/.
  explicit Installation(const std::string &installDir = "inst");

  // The executable directory as the driver resolves it.
  std::string dir() const { return bin.string(); }

  // Plug-ins are empty files: the driver only tests that they exist.  A new
  // installation has ifacewriter.so.
  void addPlugin(const std::string &name);
  void removePlugin(const std::string &name);
  void removeTool(const std::string &tool);
  void setStatus(const std::string &tool, int status);
  // The tool succeeds without creating its output files.
  void createsNoFiles(const std::string &tool);
  // The tool deletes the file named by its first argument.
  void removesInput(const std::string &tool);

  RunResult zo(const Args &args, const Args &extraEnv = {}) const;
  // zo++ with `options` followed by the one input a.cpp.
  RunResult zoOn(Args options) const;
  RunResult run(const fs::path &exe, const Args &args, const Args &extraEnv = {}) const;

  std::vector<ToolCall> calls() const;
  // The arguments of the one run of `tool`; an empty vector (and a test
  // failure) when it ran not exactly once.
  Args argsOf(const std::string &tool) const;
  int runsOf(const std::string &tool) const;

  bool inWork(const std::string &relative) const { return fs::exists(work / relative); }
  void touch(const fs::path &path) const;

private:
  TempDir tmp;

public:
  fs::path root;
  fs::path prefix;
  fs::path bin;
  fs::path work;
  fs::path rec;
};

// The tools the driver may run; each gets a recording stand-in.
extern const char *const InstalledTools[6];

} // namespace zotest

#endif
