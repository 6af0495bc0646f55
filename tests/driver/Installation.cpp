//===- Installation.cpp - A temporary zo++ installation for tests ---------===//

#include "Installation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace zotest {

const char *const InstalledTools[6] = {"clang-8", "binpolish", "symlister",
                                       "wamrc",   "ctrpack",   "vetter"};

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

static void writeFile(const fs::path &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

Installation::Installation(const std::string &installDir) {
  std::string pattern = (fs::temp_directory_path() / "zo-driver-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("mkdtemp failed");
  root = fs::canonical(pattern);
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

Installation::~Installation() {
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

void Installation::touch(const fs::path &path) const { writeFile(path, ""); }

void Installation::addPlugin(const std::string &name) { touch(bin / (name + ".so")); }

void Installation::removePlugin(const std::string &name) { fs::remove(bin / (name + ".so")); }

void Installation::removeTool(const std::string &tool) { fs::remove(bin / tool); }

void Installation::setStatus(const std::string &tool, int status) {
  writeFile(rec / (tool + ".status"), std::to_string(status));
}

void Installation::createsNoFiles(const std::string &tool) { touch(rec / (tool + ".nofiles")); }

void Installation::removesInput(const std::string &tool) {
  touch(rec / (tool + ".remove-input"));
}

RunResult Installation::zo(const Args &args, const Args &extraEnv) const {
  return run(bin / "zo++", args, extraEnv);
}

RunResult Installation::run(const fs::path &exe, const Args &args, const Args &extraEnv) const {
  fs::path outFile = root / "stdout", errFile = root / "stderr";
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
    int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || chdir(work.c_str()) != 0)
      _exit(126);
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
  return result;
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
