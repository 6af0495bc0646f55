//===- Process.cpp - Run a program and collect what it printed ------------===//

#include "Process.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace zotest {

namespace fs = std::filesystem;

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

TempDir::TempDir(const std::string &prefix) {
  std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("mkdtemp failed");
  dir = fs::canonical(pattern);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

RunResult runProcess(const fs::path &exe, const Args &args, const fs::path &cwd,
                     const Args &extraEnv) {
  static int serial = 0;
  fs::path outFile = fs::temp_directory_path() /
                     ("zo-run-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
  fs::path errFile = outFile.string() + ".err";

  std::vector<std::string> env;
  for (char **e = environ; *e; ++e)
    env.push_back(*e);
  for (const std::string &extra : extraEnv) {
    std::string name = extra.substr(0, extra.find('=') + 1);
    env.erase(std::remove_if(env.begin(), env.end(),
                             [&](const std::string &e) { return e.rfind(name, 0) == 0; }),
              env.end());
    env.push_back(extra);
  }
  std::vector<char *> argv{const_cast<char *>(exe.c_str())}, envp;
  for (const std::string &a : args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string &e : env)
    envp.push_back(const_cast<char *>(e.c_str()));
  envp.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0)
      _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(exe.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  RunResult result;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  result.out = readFile(outFile);
  result.err = readFile(errFile);
  std::error_code ignored;
  fs::remove(outFile, ignored);
  fs::remove(errFile, ignored);
  return result;
}

} // namespace zotest
