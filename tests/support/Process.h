//===- Process.h - Run a program and collect what it printed --------------===//

#ifndef ZO_TESTS_SUPPORT_PROCESS_H
#define ZO_TESTS_SUPPORT_PROCESS_H

#include <filesystem>
#include <string>
#include <vector>

namespace zotest {

using Args = std::vector<std::string>;

struct RunResult {
  int status = -1; // the exit status; -1 when the program did not exit
  std::string out;
  std::string err;
};

// Runs `exe` with `args` (argv[0] is `exe`) in `cwd`, with this process's
// environment plus `extraEnv` ("NAME=value", replacing a variable of that
// name), standard input empty and both output streams captured.
RunResult runProcess(const std::filesystem::path &exe, const Args &args,
                     const std::filesystem::path &cwd, const Args &extraEnv = {});

std::string readFile(const std::filesystem::path &path);
void writeFile(const std::filesystem::path &path, const std::string &text);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
  explicit TempDir(const std::string &prefix);
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::filesystem::path &path() const { return dir; }

private:
  std::filesystem::path dir;
};

} // namespace zotest

#endif
